#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

#include "export/output.h"

namespace spurfix::ui {

// How far a piece of background work has come, and whether the user pressed "Abbrechen".
// The work reports from its own thread; the window reads it.
class WorkProgress : public exporting::Progress {
  public:
    void report(uint64_t done, uint64_t total) override {
        total_.store(total, std::memory_order_relaxed);
        done_.store(done, std::memory_order_relaxed);
    }
    [[nodiscard]] bool cancelled() const override {
        return cancelled_.load(std::memory_order_relaxed);
    }
    // A copy also counts its files; its `done` and `total` are bytes then.
    void reportFiles(uint64_t done, uint64_t total) override {
        filesTotal_.store(total, std::memory_order_relaxed);
        filesDone_.store(done, std::memory_order_relaxed);
    }
    [[nodiscard]] uint64_t filesDone() const { return filesDone_.load(std::memory_order_relaxed); }
    [[nodiscard]] uint64_t filesTotal() const {
        return filesTotal_.load(std::memory_order_relaxed);
    }
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    [[nodiscard]] uint64_t done() const { return done_.load(std::memory_order_relaxed); }
    [[nodiscard]] uint64_t total() const { return total_.load(std::memory_order_relaxed); }

  private:
    std::atomic<uint64_t> done_{0};
    std::atomic<uint64_t> total_{0};
    std::atomic<uint64_t> filesDone_{0};
    std::atomic<uint64_t> filesTotal_{0};
    std::atomic<bool> cancelled_{false};
};

using BackgroundWork = std::function<void(WorkProgress&)>;

// "Tags: 12.345 von 100.000": what is done, in German digit groups.
QString ProgressText(const QString& what, uint64_t done, uint64_t total);
// "Datei 12 von 300, noch etwa 2 min": the files of a copy and the time it still needs,
// judged from the bytes done in `elapsedMs`; the time only once there is enough to judge.
QString FilesText(uint64_t filesDone, uint64_t filesTotal, uint64_t bytesDone, uint64_t bytesTotal,
                  int64_t elapsedMs);

}  // namespace spurfix::ui
