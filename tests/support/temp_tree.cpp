#include "support/temp_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

bool RunsAsRoot() { return geteuid() == 0; }

}  // namespace spurfix::test
