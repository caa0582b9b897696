// The list file: the lines of the preview, each ended by CR LF, written through the
// platform's safe replacement of a file, which keeps the user's old list whole.
#include "engine/list_file.h"

#include <cerrno>

namespace spurfix {

namespace {

// The lines of a list, each ended by CR LF. The scratch space for composing a line is
// made here, since writeTo runs in the writer's child process and may not allocate.
class ListContent final : public platform::FileContent {
  public:
    explicit ListContent(const PreviewList& preview) : preview_(preview) {}

    [[nodiscard]] uint64_t size() const override {
        uint64_t total = 0;
        for (size_t i = 0; i < preview_.size(); ++i) {
            total += preview_.textLength(i) + 2;
        }
        return total;
    }

    int writeTo(platform::ByteSink& sink) const override {
        for (size_t i = 0; i < preview_.size(); ++i) {
            if (const int error = sink.put(preview_.text(i, scratch_))) {
                return error;
            }
            if (const int error = sink.put("\r\n")) {
                return error;
            }
        }
        return 0;
    }

  private:
    const PreviewList& preview_;
    mutable std::string scratch_ = std::string(PreviewList::kLongestComposed, '\0');
};

void Write(const std::string& fileName, const platform::FileContent& content,
           const WriteControl* control) {
    const int error = platform::ReplaceFile(fileName, content, control);
    if (error == platform::kWriteCancelled) {
        throw WriteCancelled();
    }
    if (error != 0) {
        throw EInOutError::FromErrno(error);
    }
}

}  // namespace

void WriteListFile(const std::string& fileName, const PreviewList& preview) {
    Write(fileName, ListContent(preview), nullptr);
}

void WriteListFile(const std::string& fileName, const PreviewList& preview,
                   const WriteControl& control) {
    Write(fileName, ListContent(preview), &control);
}

void WriteFileBytes(const std::string& fileName, std::string_view bytes) {
    Write(fileName, platform::BytesContent(bytes), nullptr);
}

void WriteFileBytes(const std::string& fileName, std::string_view bytes,
                    const WriteControl& control) {
    Write(fileName, platform::BytesContent(bytes), &control);
}

std::string FolderOfListFile(const std::string& fileName) {
    int error = 0;
    std::string folder = platform::FolderOfFile(fileName, error);
    if (error != 0) {
        throw EInOutError::FromErrno(error);
    }
    return folder;
}

}  // namespace spurfix
