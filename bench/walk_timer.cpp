// One engine walk, timed: the "engine walk" row of the benchmark alone, in a process of
// its own, so that bench/compare_walk.sh can alternate builds of different commits over
// the same library. It prints "wall-seconds cpu-seconds files folders".
//
// Usage: spurfix_walk_timer TREE
//        spurfix_walk_timer --make ROOT ARTISTS   (the benchmark's library, made once)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/directory_walk.h"
#include "library_tree.h"

namespace {

class NullObserver : public spurfix::WalkObserver {
  public:
    void folderEntered(std::string_view) override {}
    void showCounts(int32_t, int32_t) override {}
    bool stopRequested() override { return false; }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--make") {
        const size_t entries = spurfix::bench::EnsureLibrary(argv[2], {std::atoi(argv[3]), 10, 11});
        std::printf("%zu\n", entries);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s TREE | --make ROOT ARTISTS\n", argv[0]);
        return 2;
    }
    NullObserver observer;
    spurfix::ScanList scanList;
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const spurfix::WalkCounts counts =
        spurfix::ReadSource(std::string(argv[1]) + "/", scanList, observer);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f %.6f %d %d\n", wall, CpuSeconds() - cpuBefore, counts.files, counts.folders);
    return 0;
}
