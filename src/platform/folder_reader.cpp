#include "platform/folder_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstring>

namespace spurfix::platform {

namespace {
// Large enough that a typical album folder comes in one system call.
constexpr size_t kReadBlockSize = 64 * 1024;

bool LeadsToFolder(int folderFd, const char* name) {
    struct stat target {};
    return fstatat(folderFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
}
}  // namespace

void FolderEntries::clear() {
    names_.clear();
    entries_.clear();
}

bool FolderEntries::read(int folderFd) {
    clear();
    complete_ = false;
    alignas(dirent64) static thread_local char block[kReadBlockSize];
    bool first = true;
    for (;;) {
        const ssize_t got = getdents64(folderFd, block, sizeof block);
        if (got <= 0) {
            complete_ = got == 0;
            return !(got < 0 && first);
        }
        first = false;
        for (ssize_t pos = 0; pos < got;) {
            const auto* d = reinterpret_cast<const dirent64*>(block + pos);
            pos += d->d_reclen;
            const size_t length = std::strlen(d->d_name);
            if (names_.size() + length > UINT32_MAX) {
                return true;  // offsets are 32 bits: a listing of 4 GiB of names ends here
            }
            bool isFolder = d->d_type == DT_DIR;
            if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
                isFolder = LeadsToFolder(folderFd, d->d_name);
            }
            entries_.push_back(
                {static_cast<uint32_t>(names_.size()), static_cast<uint16_t>(length), isFolder});
            names_.insert(names_.end(), d->d_name, d->d_name + length);
        }
    }
}

}  // namespace spurfix::platform
