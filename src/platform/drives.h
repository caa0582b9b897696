#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace spurfix::platform {

// The drive type codes a user knows from drive letters, extended by RAM disks.
enum class DriveType {
    Unknown = 0,
    Unreadable = 1,
    Removable = 2,
    FixedDisk = 3,
    Network = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct Drive {
    std::string mountPoint;  // without a trailing "/", except "/" itself
    DriveType type = DriveType::Unknown;
};

using CanOpenFolder = std::function<bool(const std::string& path)>;

// The mount points a user would call a drive, in the order of `mountinfo` (the text of
// /proc/self/mountinfo). `sysfsRoot` stands for /sys; `canOpen` tells whether a mount
// point can be opened.
std::vector<Drive> ParseDrives(std::string_view mountinfo, const std::string& sysfsRoot,
                               const CanOpenFolder& canOpen);

// The drives of this machine.
std::vector<Drive> ListDrives();

}  // namespace spurfix::platform
