#include "support/slow_medium.h"

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace spurfix::test {

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

size_t ThreadCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

MountedMedium::MountedMedium(const std::string& mountPoint, int seconds, const std::string& marker,
                             bool ownNamespace, bool onlyClosed)
    : mountPoint_(mountPoint) {
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
        return;
    }
    if (ownNamespace && (unshare(CLONE_NEWNS) != 0 ||
                         mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)) {
        return;
    }
    if (!ownNamespace && std::getenv("SPURFIX_PRIVATE_MOUNTS") == nullptr) {
        return;
    }
    struct stat before {};
    stat(mountPoint.c_str(), &before);
    const std::string secondsText = std::to_string(seconds);
    daemon_ = fork();
    if (daemon_ == 0) {
        setenv("SLOW_FUSE_SECONDS", secondsText.c_str(), 1);
        setenv("SLOW_FUSE_MARKER", marker.c_str(), 1);
        if (onlyClosed) {
            setenv("SLOW_FUSE_ONLY_CLOSED", "1", 1);
        }
        execl(SPURFIX_SLOW_FUSE, SPURFIX_SLOW_FUSE, "-f", "-o", "max_threads=8", mountPoint.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    mounted_ =
        daemon_ > 0 && WaitFor([&] {
            struct stat now {};
            return stat((mountPoint + "/offen").c_str(), &now) == 0 && now.st_dev != before.st_dev;
        });
}

MountedMedium::~MountedMedium() {
    end();
}

void MountedMedium::end() {
    if (daemon_ > 0) {
        kill(daemon_, SIGKILL);
        waitpid(daemon_, nullptr, 0);
        daemon_ = -1;
        umount2(mountPoint_.c_str(), MNT_DETACH);
    }
}

}  // namespace spurfix::test
