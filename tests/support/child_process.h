#pragma once

#include <functional>
#include <string>

namespace spurfix::test {

// Runs `body` in a forked child and returns what it returned, or "crashed" / "exit N".
// Lets a test change process-wide things (privileges, limits, mounts) safely.
std::string RunInChild(const std::function<std::string()>& body);

// In a child: drops root's rights over files by becoming the user nobody. Returns
// false when that is not possible (not root).
bool BecomeNobody();

}  // namespace spurfix::test
