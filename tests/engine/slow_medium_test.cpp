// The walk on media that answer slowly or not at all, through a FUSE file system of the
// tests' own (support/slow_fuse.cpp), mounted in a private mount namespace.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "engine/directory_walk.h"
#include "support/child_process.h"
#include "support/slow_medium.h"
#include "support/temp_tree.h"

namespace spurfix {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class FlagObserver : public WalkObserver {
  public:
    std::atomic<bool> stop = false;
    std::atomic<bool> slowFolderEntered = false;
    std::string slowFolder;
    std::vector<std::string> unreadable;

    void folderEntered(std::string_view path) override {
        if (path == slowFolder) {
            slowFolderEntered = true;
        }
    }
    void showCounts(int32_t /*files*/, int32_t /*folders*/) override {}
    bool stopRequested() override { return stop; }
    void folderUnreadable(std::string_view path) override { unreadable.emplace_back(path); }
};

// A stop while a listing takes 30 s ends the reading at once; the reader stuck in the
// kernel finishes on its own once the medium goes, and nothing leaks.
TEST(SlowMedium, AStopEndsTheReadingWhileAListingHangs) {
    test::TempTree tree;
    tree.folder("medium");
    const std::string outcome = test::RunInChild([&]() -> std::string {
        alarm(120);
        test::MountedMedium medium(tree.path("medium"), 30, tree.path("marker"), true);
        if (!medium.mounted()) {
            return "skip";
        }
        FlagObserver observer;
        observer.slowFolder = tree.path("medium/langsam/");
        ScanList scanList;
        std::atomic<bool> returned = false;
        std::thread walk([&] {
            ReadSource(tree.path("medium/"), scanList, observer);
            returned = true;
        });
        if (!test::WaitFor([&] {
                return observer.slowFolderEntered && access(tree.path("marker").c_str(), F_OK) == 0;
            })) {
            medium.end();
            walk.join();
            return "the slow listing never began";
        }
        const auto stopAt = Clock::now();
        observer.stop = true;
        const bool answered = test::WaitFor([&] { return returned.load(); }, 20s);
        const auto latency =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopAt);
        const bool stillListing = access(tree.path("marker").c_str(), F_OK) == 0;
        medium.end();
        walk.join();
        if (!answered) {
            return "no answer to the stop";
        }
        // The reader that waited for the medium ends once it is gone.
        if (!test::WaitFor([] { return test::ThreadCount() == 1; })) {
            return "a reader never ended";
        }
#if defined(__SANITIZE_ADDRESS__)
        if (__lsan_do_recoverable_leak_check() != 0) {
            return "leak";
        }
#endif
        return std::string(stillListing ? "stopped" : "?") + " in " +
               std::to_string(latency.count()) + " ms";
    });
    if (outcome == "skip") {
        GTEST_SKIP() << "no FUSE or no private mount namespace here";
    }
    // "stopped": the walk had ended while the listing still hung (it sleeps for 30 s).
    ASSERT_TRUE(outcome.starts_with("stopped in ")) << outcome;
    RecordProperty("stop_latency_ms", std::stoi(outcome.substr(11)));
    std::cout << "stop answered while a listing hangs: " << outcome << "\n";
}

// Folders that exist but cannot be read (no rights, an I/O error) keep their lines,
// have no songs, and are counted and reported; the others are read as ever.
TEST(SlowMedium, UnreadableFoldersAreCountedAndReported) {
    test::TempTree tree;
    tree.folder("medium");
    const std::string outcome = test::RunInChild([&]() -> std::string {
        alarm(120);
        test::MountedMedium medium(tree.path("medium"), 0, tree.path("marker"), true);
        if (!medium.mounted()) {
            return "skip";
        }
        FlagObserver observer;
        ScanList scanList;
        const WalkCounts counts = ReadSource(tree.path("medium/"), scanList, observer);
        std::vector<std::string> lines;
        for (size_t i = 0; i < scanList.size(); ++i) {
            lines.emplace_back(std::string(scanList[i]).substr(tree.path("medium/").size()));
        }
        std::sort(lines.begin(), lines.end());
        std::sort(observer.unreadable.begin(), observer.unreadable.end());
        std::string result;
        for (const std::string& line : lines) {
            result += line + ";";
        }
        result += " unreadable " + std::to_string(counts.unreadableFolders) + ":";
        for (const std::string& path : observer.unreadable) {
            result += " " + path.substr(tree.path("medium/").size());
        }
        result +=
            " files " + std::to_string(counts.files) + " folders " + std::to_string(counts.folders);
        return result;
    });
    if (outcome == "skip") {
        GTEST_SKIP() << "no FUSE or no private mount namespace here";
    }
    EXPECT_EQ(outcome,
              "a.mp3;gesperrt/;kaputt/;langsam/;langsam/spaet.mp3;offen/;offen/lied.mp3; "
              "unreadable 2: gesperrt/ kaputt/ files 3 folders 4");
}

}  // namespace
}  // namespace spurfix
