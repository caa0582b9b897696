#pragma once

#include <string>
#include <string_view>

namespace spurfix::platform {

// The type of the file system that holds `path`, as the mount table names it ("ext4",
// "iso9660", "fuse.fuseiso"); empty when it cannot be told. FUSE mounts name their
// driver, which the file system's magic number does not.
[[nodiscard]] std::string FileSystemTypeOf(const std::string& path);

// The same from the text of /proc/self/mountinfo for the device "major:minor" that
// stat() reports for the path.
[[nodiscard]] std::string FileSystemTypeIn(std::string_view mountinfo, std::string_view device);

}  // namespace spurfix::platform
