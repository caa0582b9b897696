#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace spurfix::test {

// A temporary folder that removes itself, with helpers that make files and folders
// whose names are arbitrary bytes.
class TempTree {
  public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The folder's path, ending in "/".
    [[nodiscard]] const std::string& root() const { return root_; }
    [[nodiscard]] std::string path(std::string_view relative) const {
        return root_ + std::string(relative);
    }

    void folder(std::string_view relative) const;
    void file(std::string_view relative, std::string_view content = {}) const;
    void link(std::string_view target, std::string_view relative) const;
    [[nodiscard]] std::string read(std::string_view relative) const;

  private:
    std::string root_;
};

// The entries of a folder in the order the kernel delivers them, "." and ".." left out.
std::vector<std::string> KernelOrder(const std::string& folder);

// Whether the process runs with root's rights over files.
bool RunsAsRoot();

}  // namespace spurfix::test

namespace spurfix::test {

// The lines below `folder` as an independent walker sees them: depth first in the
// kernel's order, following links to folders but entering each folder (by device and
// inode) only once; each line a path relative to `folder`, a folder's ending in "/".
// Works below any path length.
std::vector<std::string> ReferenceLines(const std::string& folder);
// Of those, the files.
std::vector<std::string> ReferenceFiles(const std::string& folder);

// Makes a chain of `depth` folders named `name` below `relative`, with a file `leaf`
// in the deepest; paths may grow past the kernel's path limit.
void MakeChain(const std::string& base, const std::string& name, int depth,
               const std::string& leaf);

}  // namespace spurfix::test
