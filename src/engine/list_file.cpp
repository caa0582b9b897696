#include "engine/list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace spurfix {

EInOutError EInOutError::FromErrno(int errnoValue) {
    switch (errnoValue) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
            return {3, "Ungültiger Dateiname"};
        case EMFILE:
        case ENFILE:
            return {4, "Zu viele geöffnete Dateien"};
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return {5, "Dateizugriff verweigert"};
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return {101, "Zu wenig Speicherplatz"};
        default:
            return {errnoValue, "E/A-Fehler " + std::to_string(errnoValue)};
    }
}

namespace {

[[noreturn]] void ThrowErrno() {
    throw EInOutError::FromErrno(errno);
}

// Buffered writes to a descriptor it owns; every failure is thrown.
class ListWriter {
  public:
    explicit ListWriter(int fd) : fd_(fd), buffer_(std::make_unique<char[]>(kBufferSize)) {}
    ~ListWriter() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ListWriter(const ListWriter&) = delete;
    ListWriter& operator=(const ListWriter&) = delete;

    void write(std::string_view bytes) {
        if (used_ + bytes.size() > kBufferSize) {
            flush();
            if (bytes.size() > kBufferSize) {
                writeOut(bytes.data(), bytes.size());
                return;
            }
        }
        std::copy(bytes.begin(), bytes.end(), buffer_.get() + used_);
        used_ += bytes.size();
    }

    void writeList(const PreviewList& preview) {
        for (size_t i = 0; i < preview.size(); ++i) {
            write(preview.text(i));
            write("\r\n");
        }
        flush();
    }

    void syncData() {
        if (fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
            ThrowErrno();
        }
    }

    void close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) {
            ThrowErrno();
        }
    }

  private:
    static constexpr size_t kBufferSize = 64 * 1024;

    void flush() {
        writeOut(buffer_.get(), used_);
        used_ = 0;
    }

    void writeOut(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ThrowErrno();
            }
            data += written;
            size -= static_cast<size_t>(written);
        }
    }

    int fd_;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
};

// Create or truncate and write, for targets that cannot be replaced: devices, fifos,
// and files in folders where nothing can be created.
void WriteInPlace(const std::string& fileName, const PreviewList& preview) {
    // Non-blocking open, so that a fifo without a reader fails instead of hanging.
    const int fd = open(fileName.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        ThrowErrno();
    }
    ListWriter writer(fd);
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) {
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    writer.writeList(preview);
    writer.close();
}

std::string ResolvedTarget(const std::string& fileName) {
    struct stat link {};
    if (lstat(fileName.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> resolved(realpath(fileName.c_str(), nullptr),
                                                             &std::free);
        if (resolved) {
            return resolved.get();
        }
    }
    return fileName;
}

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

void WriteListFile(const std::string& fileName, const PreviewList& preview) {
    if (fileName.empty()) {
        throw EInOutError::FromErrno(ENOENT);
    }
    const std::string target = ResolvedTarget(fileName);
    struct stat existing {};
    const bool exists = stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        WriteInPlace(fileName, preview);
        return;
    }
    if (exists) {
        // Whoever may not write the file may not replace it either.
        const int probe = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (probe < 0) {
            ThrowErrno();
        }
        close(probe);
    }

    const size_t slash = target.rfind('/');
    std::string temporary =
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
        ".spurfix-XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        WriteInPlace(fileName, preview);
        return;
    }
    ListWriter writer(fd);
    try {
        if (exists) {
            fchmod(fd, existing.st_mode & 07777);
            if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
                // Only root may give a file away; others keep their own ownership.
            }
        } else {
            fchmod(fd, 0666 & ~CurrentUmask());
        }
        writer.writeList(preview);
        writer.syncData();
        writer.close();
        if (rename(temporary.c_str(), target.c_str()) != 0) {
            ThrowErrno();
        }
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
}

}  // namespace spurfix
