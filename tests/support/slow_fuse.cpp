// A small FUSE file system for the walk's tests, with the faults of real media:
//   /a.mp3
//   /offen/lied.mp3
//   /langsam/spaet.mp3  its listing takes SLOW_FUSE_SECONDS (a disc that spins up, a
//                       network that hangs); SLOW_FUSE_MARKER is created when it begins
//   /gesperrt/          cannot be opened (EACCES), as a folder without rights
//   /kaputt/            cannot be listed (EIO), as a scratched disc; left out where
//                       SLOW_FUSE_ONLY_CLOSED is set
// Where SLOW_FUSE_GATE names a path, opening a file waits while that path exists (at
// most a minute), so that a test holds a reading of the files for as long as it needs.
// Start: SLOW_FUSE_SECONDS=30 SLOW_FUSE_MARKER=/tmp/m slow_fuse -f MOUNTPOINT
#define FUSE_USE_VERSION 31
#include <fuse3/fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool IsFolder(const std::string& path) {
    return path == "/" || path == "/offen" || path == "/langsam" || path == "/gesperrt" ||
           path == "/kaputt";
}

bool IsFile(const std::string& path) {
    return path == "/a.mp3" || path == "/offen/lied.mp3" || path == "/langsam/spaet.mp3";
}

int GetAttributes(const char* path, struct stat* info, fuse_file_info* /*file*/) {
    std::memset(info, 0, sizeof *info);
    if (IsFolder(path)) {
        info->st_mode = S_IFDIR | 0755;
        info->st_nlink = 2;
        return 0;
    }
    if (IsFile(path)) {
        info->st_mode = S_IFREG | 0644;
        info->st_nlink = 1;
        return 0;
    }
    return -ENOENT;
}

int OpenFile(const char* path, fuse_file_info* /*file*/) {
    if (!IsFile(path)) {
        return -ENOENT;
    }
    if (const char* gate = std::getenv("SLOW_FUSE_GATE")) {
        for (int i = 0; i < 6000 && access(gate, F_OK) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return 0;
}

int OpenFolder(const char* path, fuse_file_info* /*file*/) {
    if (std::strcmp(path, "/gesperrt") == 0) {
        return -EACCES;
    }
    return IsFolder(path) ? 0 : -ENOENT;
}

int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t /*offset*/,
               fuse_file_info* /*file*/, fuse_readdir_flags /*flags*/) {
    const std::string folder = path;
    struct stat folderInfo {};
    folderInfo.st_mode = S_IFDIR;
    struct stat fileInfo {};
    fileInfo.st_mode = S_IFREG;
    if (folder == "/kaputt") {
        return -EIO;
    }
    if (folder == "/langsam") {
        if (const char* marker = std::getenv("SLOW_FUSE_MARKER")) {
            close(open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        }
        const char* seconds = std::getenv("SLOW_FUSE_SECONDS");
        std::this_thread::sleep_for(std::chrono::seconds(seconds ? std::atoi(seconds) : 0));
    }
    fill(buffer, ".", &folderInfo, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", &folderInfo, 0, static_cast<fuse_fill_dir_flags>(0));
    auto add = [&](const char* name, const struct stat& info) {
        fill(buffer, name, &info, 0, static_cast<fuse_fill_dir_flags>(0));
    };
    if (folder == "/") {
        add("a.mp3", fileInfo);
        for (const char* name : {"offen", "langsam", "gesperrt"}) {
            add(name, folderInfo);
        }
        if (std::getenv("SLOW_FUSE_ONLY_CLOSED") == nullptr) {
            add("kaputt", folderInfo);
        }
    } else if (folder == "/offen") {
        add("lied.mp3", fileInfo);
    } else if (folder == "/langsam") {
        add("spaet.mp3", fileInfo);
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    fuse_operations operations{};
    operations.getattr = GetAttributes;
    operations.open = OpenFile;
    operations.opendir = OpenFolder;
    operations.readdir = ReadFolder;
    return fuse_main(argc, argv, &operations, nullptr);
}
