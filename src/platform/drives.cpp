#include "platform/drives.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/file_systems.h"
#include "platform/mountinfo_field.h"

namespace spurfix::platform {

namespace {

struct MountEntry {
    std::string majorMinor;
    std::string mountPoint;
    std::string type;
    std::string source;
    std::string superOptions;
};

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

// Fields: id parent major:minor root mount-point options [optional...] - type source super.
bool ParseLine(std::string_view line, MountEntry& entry) {
    const std::vector<std::string_view> fields = SplitFields(line);
    const auto separator = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 6 || separator == fields.end() || separator - fields.begin() < 6 ||
        fields.end() - separator < 3) {
        return false;
    }
    entry.majorMinor = std::string(fields[2]);
    entry.mountPoint = DecodeMountinfoField(fields[4]);
    entry.type = DecodeMountinfoField(separator[1]);
    entry.source = DecodeMountinfoField(separator[2]);
    entry.superOptions = separator + 3 < fields.end() ? std::string(separator[3]) : std::string();
    while (entry.mountPoint.size() > 1 && entry.mountPoint.back() == '/') {
        entry.mountPoint.pop_back();
    }
    return !entry.mountPoint.empty() && entry.mountPoint.front() == '/';
}

bool IsOneOf(const std::string& value, std::initializer_list<std::string_view> options) {
    return std::find(options.begin(), options.end(), value) != options.end();
}

bool IsNetworkType(const std::string& type) {
    return IsOneOf(
        type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "9p", "afs", "ceph",
               "glusterfs", "fuse.glusterfs", "davfs", "fuse.davfs2", "ncpfs", "coda", "lustre"});
}

bool IsRamType(const std::string& type) {
    return type == "tmpfs" || type == "ramfs";
}

bool IsBelowMediaFolder(const std::string& mountPoint) {
    for (std::string_view folder : {"/media/", "/mnt/", "/run/media/"}) {
        if (mountPoint.compare(0, folder.size(), folder) == 0) {
            return true;
        }
    }
    return mountPoint == "/media" || mountPoint == "/mnt";
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// The sysfs folder of the mount's block device, or "" when it has none.
std::string BlockDeviceFolder(const MountEntry& entry, const std::string& sysfsRoot) {
    const std::string byNumber = sysfsRoot + "/dev/block/" + entry.majorMinor;
    if (Exists(byNumber)) {
        return byNumber;
    }
    if (entry.source.rfind("/dev/", 0) == 0) {
        const std::string byName =
            sysfsRoot + "/class/block/" + entry.source.substr(entry.source.rfind('/') + 1);
        if (Exists(byName)) {
            return byName;
        }
    }
    return {};
}

bool ReadsOne(const std::string& path) {
    std::ifstream file(path);
    char first = '0';
    return static_cast<bool>(file >> first) && first == '1';
}

bool IsRemovable(const std::string& deviceFolder) {
    // A partition says nothing itself: its disk, the folder above, knows.
    if (Exists(deviceFolder + "/partition")) {
        return ReadsOne(deviceFolder + "/../removable");
    }
    return ReadsOne(deviceFolder + "/removable");
}

bool IsFuse(const std::string& type) {
    return type == "fuse" || type == "fuseblk" || type.rfind("fuse.", 0) == 0;
}

bool EndsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsBelow(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 &&
           path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// A FUSE mount of the user's own: the kernel notes its owner as user_id in the options.
bool OwnedBy(const MountEntry& entry, unsigned uid) {
    const std::string owner = "user_id=" + std::to_string(uid);
    std::string_view options = entry.superOptions;
    while (!options.empty()) {
        const size_t comma = std::min(options.find(','), options.size());
        if (options.substr(0, comma) == owner) {
            return true;
        }
        options.remove_prefix(std::min(comma + 1, options.size()));
    }
    return false;
}

// What the desktop and the system mount for themselves: the document portal, GVfs, the
// session's folder, the container's view of /proc, snaps.
bool IsDesktopService(const MountEntry& entry) {
    return IsOneOf(entry.type, {"fuse.portal", "fuse.gvfsd-fuse", "fuse.gvfs-fuse-daemon",
                                "fuse.xdg-document-portal", "fuse.lxcfs", "fuse.snapfuse"}) ||
           entry.mountPoint.rfind("/run/user/", 0) == 0;
}

bool IsCdRom(const MountEntry& entry) {
    return entry.type == "iso9660" || entry.type == "udf" ||
           entry.source.rfind("/dev/sr", 0) == 0 ||
           (IsFuse(entry.type) && (entry.type == "fuse.fuseiso" || EndsWith(entry.source, ".iso") ||
                                   EndsWith(entry.source, ".ISO")));
}

bool IsArchive(const MountEntry& entry) {
    return IsOneOf(entry.type, {"fuse.archivemount", "fuse.fuse-zip", "fuse.ratarmount",
                                "fuse.mount-zip", "fuse.avfsd"});
}

// Phones (MTP) and the FUSE drivers of stick file systems.
bool IsRemovableFuse(const MountEntry& entry) {
    return IsOneOf(entry.type, {"fuse.jmtpfs", "fuse.simple-mtpfs", "fuse.go-mtpfs", "fuse.mtpfs",
                                "fuse.aft-mtp-mount", "fuse.fusefat", "fuse.exfat",
                                "fuse.exfat-fuse", "fuseblk"});
}

}  // namespace

std::vector<Drive> ParseDrives(std::string_view mountinfo, const std::string& sysfsRoot,
                               const CanOpenFolder& canOpen, const DriveUser& user) {
    std::vector<Drive> drives;
    std::istringstream lines{std::string(mountinfo)};
    std::string line;
    while (std::getline(lines, line)) {
        MountEntry entry;
        if (!ParseLine(line, entry)) {
            continue;
        }
        const std::string deviceFolder = BlockDeviceFolder(entry, sysfsRoot);
        const bool isNetwork = IsNetworkType(entry.type);
        const bool isRam = IsRamType(entry.type);
        const bool isBlock = !deviceFolder.empty() && entry.type != "squashfs" &&
                             (entry.type != "overlay" || entry.mountPoint == "/");
        const bool isFuse = IsFuse(entry.type);
        const bool inUserPlace =
            IsBelowMediaFolder(entry.mountPoint) || IsBelow(entry.mountPoint, user.home);
        const bool listed =
            !IsPseudoFileSystemType(entry.type) && !IsDesktopService(entry) &&
            (entry.mountPoint == "/" || isNetwork || isBlock || IsCdRom(entry) ||
             ((isRam || isFuse) && inUserPlace) || (isFuse && OwnedBy(entry, user.uid)) ||
             (isRam && IsBelow(entry.mountPoint, "/tmp")));

        const auto earlier = std::find_if(drives.begin(), drives.end(), [&](const Drive& d) {
            return d.mountPoint == entry.mountPoint;
        });
        if (!listed) {
            // A later mount hides the earlier one at the same place.
            if (earlier != drives.end()) {
                drives.erase(earlier);
            }
            continue;
        }

        Drive drive{entry.mountPoint, DriveType::Unknown};
        if (!canOpen(entry.mountPoint)) {
            drive.type = DriveType::Unreadable;
        } else if (IsCdRom(entry)) {
            drive.type = DriveType::CdRom;
        } else if (isNetwork) {
            drive.type = DriveType::Network;
        } else if (isRam) {
            drive.type = DriveType::RamDisk;
        } else if (IsArchive(entry)) {
            drive.type = DriveType::Archive;
        } else if (!deviceFolder.empty()) {
            drive.type = IsRemovable(deviceFolder) ? DriveType::Removable : DriveType::FixedDisk;
        } else if (IsRemovableFuse(entry)) {
            drive.type = DriveType::Removable;
        }
        if (earlier != drives.end()) {
            *earlier = drive;
        } else {
            drives.push_back(drive);
        }
    }
    return drives;
}

std::vector<Drive> ListDrives() {
    std::ifstream file("/proc/self/mountinfo");
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    DriveUser user{static_cast<unsigned>(getuid()), {}};
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        user.home = entry->pw_dir;
    } else if (const char* home = std::getenv("HOME"); home != nullptr) {
        user.home = home;
    }
    while (user.home.size() > 1 && user.home.back() == '/') {
        user.home.pop_back();
    }
    if (user.home == "/") {
        user.home.clear();  // everything would be below it
    }
    std::vector<Drive> drives = ParseDrives(
        text, "/sys",
        [](const std::string& path) {
            const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0) {
                return false;
            }
            close(fd);
            return true;
        },
        user);
    // Whatever its type name says, a file system the kernel calls a pseudo one is no drive.
    std::erase_if(drives, [](const Drive& drive) {
        struct statfs info {};
        return statfs(drive.mountPoint.c_str(), &info) == 0 &&
               IsPseudoFileSystem(static_cast<int64_t>(info.f_type));
    });
    return drives;
}

MountTableWatch::MountTableWatch() : fd_(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}

MountTableWatch::~MountTableWatch() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool MountTableWatch::changed() const {
    pollfd watch{fd_, POLLPRI, 0};
    return fd_ >= 0 && poll(&watch, 1, 0) == 1 && (watch.revents & (POLLPRI | POLLERR)) != 0;
}

}  // namespace spurfix::platform
