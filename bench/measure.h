// What every benchmark row is made of: the wall and CPU time of a piece of work, the
// median of several with their spread, and the machine's load beside them.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace spurfix::bench {

using Clock = std::chrono::steady_clock;

// CPU seconds of this process and of the children it waited for, every thread counted.
inline double CpuSeconds() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

struct WallAndCpu {
    double wall = 0;
    double cpu = 0;
};

inline WallAndCpu Measured(const std::function<void()>& work) {
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    work();
    return {std::chrono::duration<double>(Clock::now() - start).count(), CpuSeconds() - cpu};
}

struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
};

inline Spread SpreadOf(std::vector<double> values) {
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

inline std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    double one = 0;
    double five = 0;
    file >> one >> five;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f (1 min), %.2f (5 min)", one, five);
    return text;
}

}  // namespace spurfix::bench
