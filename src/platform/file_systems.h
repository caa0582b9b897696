#pragma once

#include <cstdint>
#include <string_view>

namespace spurfix::platform {

// Whether a file system only shows the kernel's state (proc, sysfs, cgroup, debugfs and
// the like): it holds no files of the user's, and some of its trees never end. By the
// magic number that statfs reports.
[[nodiscard]] bool IsPseudoFileSystem(int64_t magic);

// The same by the type name that /proc/self/mountinfo gives.
[[nodiscard]] bool IsPseudoFileSystemType(std::string_view type);

// The magic number of the file system that holds the open file `fd`, or 0.
[[nodiscard]] int64_t FileSystemMagic(int fd);

}  // namespace spurfix::platform
