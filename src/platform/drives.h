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
    Archive = 7,  // an archive's files mounted as a folder
};

struct Drive {
    std::string mountPoint;  // without a trailing "/", except "/" itself
    DriveType type = DriveType::Unknown;
};

using CanOpenFolder = std::function<bool(const std::string& path)>;

// Whose drives: the user's own FUSE mounts and the mounts below their home count.
struct DriveUser {
    unsigned uid = 0;
    std::string home;  // without a trailing "/"; "" for none
};

// The mount points a user would call a drive, as a file manager shows them, in the
// order of `mountinfo` (the text of /proc/self/mountinfo): "/", disks, discs, shares,
// and below /media, /mnt, /run/media and the user's home also RAM disks and FUSE mounts;
// the user's own FUSE mounts anywhere (an ISO image, an archive, a phone), and RAM disks
// below /tmp. Pseudo file systems and the desktop's own FUSE services stay out.
// `sysfsRoot` stands for /sys; `canOpen` tells whether a mount point can be opened.
std::vector<Drive> ParseDrives(std::string_view mountinfo, const std::string& sysfsRoot,
                               const CanOpenFolder& canOpen, const DriveUser& user = {});

// The drives of this machine.
std::vector<Drive> ListDrives();

// Tells when the mount table changes: mounting a disc, a stick or a share. The kernel
// signals a change of /proc/self/mountinfo through poll() as POLLPRI on `fd()`; once
// poll() has reported it, the change counts as seen.
class MountTableWatch {
  public:
    MountTableWatch();
    ~MountTableWatch();
    MountTableWatch(const MountTableWatch&) = delete;
    MountTableWatch& operator=(const MountTableWatch&) = delete;

    // -1 when the mount table cannot be watched here.
    [[nodiscard]] int fd() const { return fd_; }
    // Whether the table changed since the last call, without waiting.
    [[nodiscard]] bool changed() const;

  private:
    int fd_;
};

}  // namespace spurfix::platform
