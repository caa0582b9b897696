#pragma once

#include <string>
#include <string_view>

namespace spurfix::platform {

// A field of /proc/self/mountinfo as its bytes: the kernel writes a space, a tab, a line
// break and a backslash in a mount point or source as an octal escape (\040).
std::string DecodeMountinfoField(std::string_view field);

}  // namespace spurfix::platform
