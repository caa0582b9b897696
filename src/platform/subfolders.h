#pragma once

#include <string>
#include <vector>

namespace spurfix::platform {

// The names of the sub-folders of `folder` (links to folders included, "." and ".."
// left out), in the kernel's order. Throws std::system_error when the folder cannot
// be listed.
std::vector<std::string> ListSubfolders(const std::string& folder);

}  // namespace spurfix::platform
