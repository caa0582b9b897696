#include "platform/volume_label.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/mountinfo_field.h"

namespace spurfix::platform {

namespace {

// Decodes udev's escapes (\x20) in the names of /dev/disk/by-label.
std::string DecodeHex(std::string_view name) {
    std::string decoded;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) != 0 &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3])) != 0) {
            decoded.push_back(
                static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16)));
            i += 3;
        } else {
            decoded.push_back(name[i]);
        }
    }
    return decoded;
}

struct Mount {
    unsigned major = 0;
    unsigned minor = 0;
    std::string source;
};

// The last mount at `mountPoint`: the one that is seen there.
bool FindMount(std::string_view mountinfo, const std::string& mountPoint, Mount& found) {
    bool any = false;
    std::istringstream lines{std::string(mountinfo)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts{std::istream_iterator<std::string>(fields), {}};
        size_t separator = 6;
        while (separator < parts.size() && parts[separator] != "-") {
            ++separator;
        }
        if (parts.size() < 6 || separator + 2 >= parts.size() ||
            DecodeMountinfoField(parts[4]) != mountPoint) {
            continue;
        }
        Mount mount;
        if (std::sscanf(parts[2].c_str(), "%u:%u", &mount.major, &mount.minor) != 2) {
            continue;
        }
        mount.source = DecodeMountinfoField(parts[separator + 2]);
        found = mount;
        any = true;
    }
    return any;
}

std::string LabelByDevice(const std::string& byLabelFolder, const Mount& mount) {
    DIR* folder = opendir(byLabelFolder.c_str());
    if (folder == nullptr) {
        return {};
    }
    std::string label;
    while (const dirent* entry = readdir(folder)) {
        struct stat target {};
        const std::string path = byLabelFolder + "/" + entry->d_name;
        if (entry->d_name[0] != '.' && stat(path.c_str(), &target) == 0 &&
            S_ISBLK(target.st_mode) + S_ISCHR(target.st_mode) != 0 &&
            major(target.st_rdev) == mount.major && minor(target.st_rdev) == mount.minor) {
            label = DecodeHex(entry->d_name);
            break;
        }
    }
    closedir(folder);
    return label;
}

}  // namespace

std::string Iso9660VolumeName(const std::string& imageOrDevice) {
    const int fd = open(imageOrDevice.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return {};
    }
    // The primary volume descriptor: sector 16 of 2048 bytes, type 1, "CD001", and the
    // volume identifier in bytes 40 to 71, padded with blanks.
    std::array<char, 2048> sector{};
    const ssize_t got = pread(fd, sector.data(), sector.size(), 16 * 2048);
    close(fd);
    if (got != static_cast<ssize_t>(sector.size()) || sector[0] != 1 ||
        std::string_view(sector.data() + 1, 5) != "CD001") {
        return {};
    }
    std::string name(sector.data() + 40, 32);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) {
        name.pop_back();
    }
    return name;
}

std::string VolumeLabelFrom(std::string_view mountinfo, const std::string& mountPoint,
                            const std::string& byLabelFolder) {
    Mount mount;
    if (!FindMount(mountinfo, mountPoint, mount)) {
        return {};
    }
    if (std::string label = LabelByDevice(byLabelFolder, mount); !label.empty()) {
        return label;
    }
    if (!mount.source.empty() && mount.source.front() == '/') {
        return Iso9660VolumeName(mount.source);
    }
    return {};
}

std::string VolumeLabel(const std::string& mountPoint) {
    std::ifstream file("/proc/self/mountinfo");
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return VolumeLabelFrom(text, mountPoint, "/dev/disk/by-label");
}

}  // namespace spurfix::platform
