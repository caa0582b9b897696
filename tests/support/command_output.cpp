#include "support/command_output.h"

#include <cstdio>
#include <memory>

namespace spurfix::test {

std::string CommandOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char block[4096];
    for (size_t got; pipe && (got = std::fread(block, 1, sizeof block, pipe.get())) > 0;) {
        output.append(block, got);
    }
    return output;
}

}  // namespace spurfix::test
