#include "platform/subfolders.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/folder_reader.h"

namespace spurfix::platform {

std::vector<std::string> ListSubfolders(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), folder);
    }
    FolderEntries entries;
    const bool readable = entries.read(fd);
    const int readError = errno;
    close(fd);
    if (!readable) {
        throw std::system_error(readError, std::generic_category(), folder);
    }
    std::vector<std::string> names;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string_view name = entries.name(i);
        if (entries.isFolder(i) && name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    return names;
}

}  // namespace spurfix::platform
