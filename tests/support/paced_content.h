#pragma once

#include <string>
#include <string_view>

#include "platform/safe_file.h"

namespace spurfix::test {

// Content that the test lets through chunk by chunk, so that a kill or a cancel lands
// at a moment the test chooses instead of a moment a timer guesses. Before chunk k the
// writer sends the byte k on `report` and waits for one byte on `pace`; after the last
// chunk it sends kAllWritten. Runs in the writer's child process: only read and write.
class PacedContent final : public platform::FileContent {
  public:
    static constexpr unsigned char kAllWritten = 255;

    PacedContent(std::string_view bytes, size_t chunks, int pace, int report)
        : bytes_(bytes), chunks_(chunks), pace_(pace), report_(report) {}
    [[nodiscard]] uint64_t size() const override { return bytes_.size(); }
    int writeTo(platform::ByteSink& sink) const override;

  private:
    std::string_view bytes_;
    size_t chunks_;
    int pace_;
    int report_;
};

// The pipes between a test and a writer of PacedContent.
struct PacePipes {
    PacePipes();
    ~PacePipes();
    PacePipes(const PacePipes&) = delete;
    PacePipes& operator=(const PacePipes&) = delete;

    // The next report of the writer, or -1 when every writer end is closed.
    int nextReport() const;
    // Lets the writer write its next chunk.
    void release() const;
    // In the test after the fork: closes the writer's ends, so that a writer that is
    // gone ends nextReport.
    void closeWriterEnds();

    int pace[2] = {-1, -1};
    int report[2] = {-1, -1};
};

// Overwrites the hard-linked `target` (so only in place) with `bytes` in a program of its
// own and kills that program's whole process group halfway, as a logout does: the target
// is left torn and the backup of its old content beside it. False when that did not
// happen. The backup's note goes to $XDG_STATE_HOME as the caller set it.
bool KillHalfwayInPlace(const std::string& target, const std::string& bytes);

// Bytes of `lines` list lines, each ended by CR LF.
std::string ListBytes(size_t lines, std::string_view text = "001 - ein Lied mit einem Namen");

// The whole content of a file, or "" when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace spurfix::test
