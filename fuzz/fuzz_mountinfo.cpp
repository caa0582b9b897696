// The mountinfo parser on any text: every drive a mount point, listed once.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "platform/drives.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto drives = spurfix::platform::ParseDrives(
        text, "/nonexistent-sysfs", [](const std::string& path) { return path.size() % 2 == 0; });
    std::set<std::string> seen;
    for (const auto& drive : drives) {
        if (drive.mountPoint.empty() || drive.mountPoint[0] != '/' ||
            !seen.insert(drive.mountPoint).second ||
            (drive.mountPoint.size() > 1 && drive.mountPoint.back() == '/')) {
            std::abort();
        }
    }
    return 0;
}
