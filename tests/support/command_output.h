#pragma once

#include <string>

namespace spurfix::test {

// What a shell command prints on its standard output.
std::string CommandOutput(const std::string& command);

}  // namespace spurfix::test
