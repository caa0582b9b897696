// Progress and cancel of an export, for a window that runs it on a worker thread: the
// progress follows the bytes the writer has written, a cancel ends the writer and leaves
// the old file whole, and nothing waits forever on a fifo whose reader never reads.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "engine/list_file.h"
#include "platform/safe_file.h"
#include "support/child_process.h"
#include "support/paced_content.h"
#include "support/temp_tree.h"

namespace spurfix {
namespace {

using Clock = std::chrono::steady_clock;
using test::TempTree;

constexpr size_t kChunks = 8;

void WriteOld(const std::string& path, const std::string& content) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
}

// The progress reports the bytes written while the writer writes: each chunk is let
// through only once the progress has shown the one before, so the export ends only if
// the progress follows it.
TEST(ExportControl, ProgressFollowsTheWriting) {
    TempTree tree;
    const std::string target = tree.path("liste.txt");
    WriteOld(target, "alt\r\n");
    const std::string list = test::ListBytes(200000);
    const uint64_t chunk = (list.size() + kChunks - 1) / kChunks;
    test::PacePipes pipes;
    const test::PacedContent content(list, kChunks, pipes.pace[0], pipes.report[1]);
    std::vector<uint64_t> seen;
    size_t released = 0;
    bool totalRight = true;
    platform::WriteControl control;
    control.progress = [&](uint64_t written, uint64_t total) {
        totalRight = totalRight && total == list.size();
        seen.push_back(written);
        if (released < kChunks && written >= released * chunk) {
            pipes.release();
            ++released;
        }
    };
    EXPECT_EQ(platform::ReplaceFile(target, content, &control), 0);
    EXPECT_EQ(test::ReadFile(target), list);
    EXPECT_TRUE(totalRight);
    EXPECT_EQ(released, kChunks);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    ASSERT_FALSE(seen.empty());
    EXPECT_LE(seen.back(), list.size());
    EXPECT_EQ(test::KernelOrder(tree.root()).size(), 1U);
}

// A cancel while a chunk is awaited: the export ends as cancelled, the old list is whole
// (restored from its backup where the file was overwritten in place), and neither a
// backup, nor its note, nor a temporary file is left. The time from the cancel to the
// end is printed.
TEST(ExportControl, ACancelLeavesTheOldFileWhole) {
    struct Row {
        const char* what;
        bool hardLinked;      // only overwriting in place keeps a hard link
        size_t chunksBefore;  // chunks written before the cancel
    };
    const Row rows[] = {
        {"replaced, nothing written", false, 0},
        {"replaced, half written", false, kChunks / 2},
        {"in place, nothing written", true, 0},
        {"in place, half written", true, kChunks / 2},
    };
    const std::string oldList = test::ListBytes(20000, "[Alt] 001 - frueher");
    const std::string list = test::ListBytes(200000);
    const uint64_t chunk = (list.size() + kChunks - 1) / kChunks;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempTree tree;
        TempTree state;
        const test::ScopedEnvironment stateHome("XDG_STATE_HOME", state.root());
        const std::string target = tree.path("liste.txt");
        WriteOld(target, oldList);
        if (row.hardLinked) {
            ASSERT_EQ(link(target.c_str(), tree.path("zweiter-name.txt").c_str()), 0);
        }
        test::PacePipes pipes;
        for (size_t i = 0; i < row.chunksBefore; ++i) {
            pipes.release();
        }
        const test::PacedContent content(list, kChunks, pipes.pace[0], pipes.report[1]);
        Clock::time_point cancelledAt{};
        platform::WriteControl control;
        uint64_t lastSeen = 0;
        control.progress = [&](uint64_t written, uint64_t) { lastSeen = written; };
        control.cancelRequested = [&] {
            if (lastSeen >= std::min<uint64_t>(row.chunksBefore * chunk, list.size()) &&
                cancelledAt == Clock::time_point{}) {
                cancelledAt = Clock::now();
            }
            return cancelledAt != Clock::time_point{};
        };
        EXPECT_EQ(platform::ReplaceFile(target, content, &control), platform::kWriteCancelled);
        const auto latency =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - cancelledAt);
        std::cout << row.what << ": cancel took " << latency.count() / 1000.0 << " ms\n";
        EXPECT_EQ(test::ReadFile(target), oldList);
        EXPECT_EQ(test::KernelOrder(tree.root()).size(), row.hardLinked ? 2U : 1U);
        if (row.hardLinked) {
            EXPECT_EQ(test::ReadFile(tree.path("zweiter-name.txt")), oldList);
        }
        EXPECT_TRUE(platform::FindLeftBackups().empty());
        EXPECT_TRUE(test::KernelOrder(platform::BackupRecordFolder()).empty()) << "a note is left";
    }
}

// A fifo whose reader never reads: the wait shows progress and a cancel ends it, through
// the engine's export, which reports the cancel as its own outcome.
TEST(ExportControl, AFifoWhoseReaderNeverReadsCanBeCancelled) {
    TempTree tree;
    const std::string fifo = tree.path("rohr");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::string bytes(4 << 20, 'x');
    int progressCalls = 0;
    uint64_t lastWritten = 0;
    uint64_t lastTotal = 0;
    Clock::time_point cancelledAt{};
    WriteControl control;
    control.progress = [&](uint64_t written, uint64_t total) {
        ++progressCalls;
        lastWritten = written;
        lastTotal = total;
    };
    control.cancelRequested = [&] {
        if (progressCalls >= 3 && cancelledAt == Clock::time_point{}) {
            cancelledAt = Clock::now();
        }
        return cancelledAt != Clock::time_point{};
    };
    bool cancelled = false;
    try {
        WriteFileBytes(fifo, bytes, control);
    } catch (const WriteCancelled&) {
        cancelled = true;
    }
    const auto latency =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - cancelledAt);
    std::cout << "fifo: cancel took " << latency.count() / 1000.0 << " ms\n";
    close(reader);
    EXPECT_TRUE(cancelled);
    EXPECT_GE(progressCalls, 3);
    EXPECT_EQ(lastTotal, bytes.size());
    EXPECT_LT(lastWritten, bytes.size()) << "the reader never read, so not all was written";
}

// The program that exported to a fifo whose reader never reads is killed: its writer
// ends too instead of staying blocked in its write. A writer into a regular file outlives
// the kill on purpose (it finishes the file), so this holds for devices and fifos.
TEST(ExportControl, AWriterToAFifoEndsWithItsProgram) {
    TempTree tree;
    const std::string fifo = tree.path("rohr");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string outcome = test::RunInChild([&]() -> std::string {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        const std::string bytes(4 << 20, 'x');
        test::PacePipes pipes;
        pipes.release();
        const pid_t program = fork();
        if (program == 0) {
            const test::PacedContent content(bytes, 1, pipes.pace[0], pipes.report[1]);
            _exit(platform::ReplaceFile(fifo, content) == 0 ? 0 : 1);
        }
        pipes.closeWriterEnds();
        if (pipes.nextReport() != 0) {
            return "the writer did not start";
        }
        kill(program, SIGKILL);
        // Wait for every child to end, with a generous limit.
        const Clock::time_point limit = Clock::now() + std::chrono::seconds(30);
        for (;;) {
            const pid_t ended = waitpid(-1, nullptr, WNOHANG);
            if (ended < 0 && errno == ECHILD) {
                break;
            }
            if (Clock::now() > limit) {
                kill(0, SIGKILL);
                return "the writer still waits";
            }
            if (ended == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        close(reader);
        return "ended";
    });
    EXPECT_EQ(outcome, "ended");
}

}  // namespace
}  // namespace spurfix
