#include "support/temp_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

namespace spurfix::test {

TempTree::TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "spurfix-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern + "/";
}

TempTree::~TempTree() {
    // Folders made unreadable by a test must be readable again to be removed.
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(
             root_, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            chmod(it->path().c_str(), 0755);
        }
    }
    chmod(root_.c_str(), 0755);
    std::filesystem::remove_all(root_, ignored);
}

void TempTree::folder(std::string_view relative) const {
    std::filesystem::create_directories(path(relative));
}

void TempTree::file(std::string_view relative, std::string_view content) const {
    std::ofstream out(path(relative), std::ios::binary);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path(relative));
    }
}

void TempTree::link(std::string_view target, std::string_view relative) const {
    if (symlink(std::string(target).c_str(), path(relative).c_str()) != 0) {
        throw std::runtime_error("symlink failed");
    }
}

std::string TempTree::read(std::string_view relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> KernelOrder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    return names;
}

bool RunsAsRoot() {
    return geteuid() == 0;
}

}  // namespace spurfix::test

namespace spurfix::test {

namespace {
void CollectLines(int folderFd, const std::string& prefix,
                  std::set<std::pair<dev_t, ino_t>>& entered, std::vector<std::string>& lines) {
    DIR* dir = fdopendir(folderFd);
    if (dir == nullptr) {
        close(folderFd);
        return;
    }
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        const bool isFolder =
            fstatat(dirfd(dir), name.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode);
        entries.emplace_back(name, isFolder);
    }
    for (const auto& [name, isFolder] : entries) {
        if (!isFolder) {
            lines.push_back(prefix + name);
            continue;
        }
        lines.push_back(prefix + name + "/");
        const int child = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info {};
        if (child < 0 || fstat(child, &info) != 0 ||
            !entered.insert({info.st_dev, info.st_ino}).second) {
            if (child >= 0) {
                close(child);
            }
            continue;
        }
        CollectLines(child, prefix + name + "/", entered, lines);
    }
    closedir(dir);
}
}  // namespace

std::vector<std::string> ReferenceLines(const std::string& folder) {
    std::vector<std::string> lines;
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        return lines;
    }
    std::set<std::pair<dev_t, ino_t>> entered = {{info.st_dev, info.st_ino}};
    CollectLines(fd, "", entered, lines);
    return lines;
}

std::vector<std::string> ReferenceFiles(const std::string& folder) {
    std::vector<std::string> files = ReferenceLines(folder);
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const std::string& line) { return line.back() == '/'; }),
                files.end());
    return files;
}

void MakeChain(const std::string& base, const std::string& name, int depth,
               const std::string& leaf) {
    int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        mkdirat(fd, name.c_str(), 0755);
        const int child = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = child;
    }
    if (fd < 0) {
        throw std::runtime_error("cannot make the chain below " + base);
    }
    close(openat(fd, leaf.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    close(fd);
}

}  // namespace spurfix::test
