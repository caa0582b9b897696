#pragma once

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace spurfix::test {

// Runs `body` in a forked child and returns what it returned, or "crashed" / "exit N".
// Lets a test change process-wide things (privileges, limits, mounts) safely.
std::string RunInChild(const std::function<std::string()>& body);

// In a child: drops root's rights over files by becoming the user nobody. Returns
// false when that is not possible (not root).
bool BecomeNobody();

// Sets an environment variable for a scope and gives it back its earlier value after.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* earlier = std::getenv(name)) {
            earlier_ = earlier;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (earlier_) {
            setenv(name_, earlier_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* name_;
    std::optional<std::string> earlier_;
};

}  // namespace spurfix::test
