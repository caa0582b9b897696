#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace spurfix::test {

// Waits for a condition, up to a generous limit; false when it never came.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::seconds limit = std::chrono::seconds(30));

// The threads the process runs.
size_t ThreadCount();

// The tests' FUSE file system (slow_fuse.cpp) mounted at `mountPoint`, its slow listing
// taking `seconds`; `onlyClosed` leaves out the broken folder. With `ownNamespace`, a
// private mount namespace is made first (in a child process of a test); without, the
// process must run in one already. When it goes, the file system is stopped, which
// aborts whatever still waits for it, and unmounted.
class MountedMedium {
  public:
    MountedMedium(const std::string& mountPoint, int seconds, const std::string& marker,
                  bool ownNamespace, bool onlyClosed = false);
    ~MountedMedium();
    MountedMedium(const MountedMedium&) = delete;
    MountedMedium& operator=(const MountedMedium&) = delete;

    [[nodiscard]] bool mounted() const { return mounted_; }
    void end();

  private:
    std::string mountPoint_;
    pid_t daemon_ = -1;
    bool mounted_ = false;
};

}  // namespace spurfix::test
