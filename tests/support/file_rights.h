#pragma once

namespace spurfix::test {

// While it lives, the calling thread, and every thread and process it starts, has no
// root's rights over files (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER): the
// kernel checks modes and owners as for any user. For a window test whose work runs on
// threads of its own, where a forked child could not draw.
class FileRightsDropped {
  public:
    FileRightsDropped();
    ~FileRightsDropped();
    FileRightsDropped(const FileRightsDropped&) = delete;
    FileRightsDropped& operator=(const FileRightsDropped&) = delete;
    // False where the rights could not be dropped (they were not held).
    [[nodiscard]] bool dropped() const { return dropped_; }

  private:
    bool dropped_ = false;
    unsigned effective_[2] = {0, 0};
};

}  // namespace spurfix::test
