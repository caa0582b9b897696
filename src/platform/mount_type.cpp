#include "platform/mount_type.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "platform/mountinfo_field.h"

namespace spurfix::platform {

namespace {

// The n-th field of a mountinfo line, counted from 0, fields separated by one space.
std::string_view Field(std::string_view line, size_t n) {
    size_t start = 0;
    for (; n > 0; --n) {
        start = line.find(' ', start);
        if (start == std::string_view::npos) {
            return {};
        }
        ++start;
    }
    return line.substr(start, line.find(' ', start) - start);
}

}  // namespace

std::string FileSystemTypeIn(std::string_view mountinfo, std::string_view device) {
    // Fields: id parent major:minor root mount-point options [optional...] - type source
    // super-options. Mounts of one device share its type.
    while (!mountinfo.empty()) {
        const size_t end = mountinfo.find('\n');
        const std::string_view line = mountinfo.substr(0, end);
        mountinfo.remove_prefix(end == std::string_view::npos ? mountinfo.size() : end + 1);
        const size_t separator = line.find(" - ");
        if (separator != std::string_view::npos && Field(line, 2) == device) {
            return DecodeMountinfoField(Field(line.substr(separator + 3), 0));
        }
    }
    return {};
}

std::string FileSystemTypeOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    std::ifstream file("/proc/self/mountinfo");
    std::ostringstream text;
    text << file.rdbuf();
    return FileSystemTypeIn(
        text.str(), std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev)));
}

}  // namespace spurfix::platform
