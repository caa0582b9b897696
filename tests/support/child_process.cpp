#include "support/child_process.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace spurfix::test {

std::string RunInChild(const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "pipe failed";
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string result;
        try {
            result = body();
        } catch (...) {
            result = "exception";
        }
        const ssize_t written = write(channel[1], result.data(), result.size());
        _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 3);
    }
    close(channel[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
        result.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) {
        return "crashed";
    }
    if (WEXITSTATUS(status) != 0) {
        return "exit " + std::to_string(WEXITSTATUS(status));
    }
    return result;
}

bool BecomeNobody() {
    constexpr uid_t kNobody = 65534;
    return geteuid() == 0 && setgroups(0, nullptr) == 0 &&
           setresgid(kNobody, kNobody, kNobody) == 0 && setresuid(kNobody, kNobody, kNobody) == 0;
}

}  // namespace spurfix::test
