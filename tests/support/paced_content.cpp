#include "support/paced_content.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace spurfix::test {

int PacedContent::writeTo(platform::ByteSink& sink) const {
    const size_t chunk = (bytes_.size() + chunks_ - 1) / chunks_;
    for (size_t k = 0; k < chunks_; ++k) {
        const auto number = static_cast<unsigned char>(k);
        (void)!write(report_, &number, 1);
        char go = 0;
        ssize_t got = 0;
        do {
            got = read(pace_, &go, 1);
        } while (got < 0 && errno == EINTR);
        if (got != 1) {
            return EIO;  // the test is gone
        }
        const size_t from = k * chunk;
        if (from < bytes_.size()) {
            if (const int error = sink.put(bytes_.substr(from, chunk))) {
                return error;
            }
        }
    }
    const unsigned char done = kAllWritten;
    (void)!write(report_, &done, 1);
    return 0;
}

PacePipes::PacePipes() {
    if (pipe(pace) != 0 || pipe(report) != 0) {
        pace[0] = pace[1] = report[0] = report[1] = -1;
    }
}

PacePipes::~PacePipes() {
    for (int fd : {pace[0], pace[1], report[0], report[1]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

int PacePipes::nextReport() const {
    unsigned char number = 0;
    ssize_t got = 0;
    do {
        got = read(report[0], &number, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1 ? number : -1;
}

void PacePipes::closeWriterEnds() {
    for (int* fd : {&pace[0], &report[1]}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void PacePipes::release() const {
    const char go = 1;
    (void)!write(pace[1], &go, 1);
}

bool KillHalfwayInPlace(const std::string& target, const std::string& bytes) {
    constexpr size_t kChunks = 4;
    PacePipes pipes;
    pipes.release();
    pipes.release();
    const pid_t program = fork();
    if (program == 0) {
        setpgid(0, 0);
        const PacedContent content(bytes, kChunks, pipes.pace[0], pipes.report[1]);
        _exit(platform::ReplaceFile(target, content) == 0 ? 0 : 1);
    }
    if (program < 0) {
        return false;
    }
    setpgid(program, program);
    pipes.closeWriterEnds();
    int got = 0;
    while ((got = pipes.nextReport()) >= 0 && got < 2) {
    }
    kill(-program, SIGKILL);
    waitpid(program, nullptr, 0);
    const std::string content = ReadFile(target);
    return got == 2 && content != bytes && !platform::FindLeftBackups().empty();
}

std::string ListBytes(size_t lines, std::string_view text) {
    std::string bytes;
    bytes.reserve(lines * (text.size() + 2));
    for (size_t i = 0; i < lines; ++i) {
        bytes.append(text).append("\r\n");
    }
    return bytes;
}

std::string ReadFile(const std::string& path) {
    std::string content;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char block[65536];
    for (ssize_t got; fd >= 0 && (got = read(fd, block, sizeof block)) > 0;) {
        content.append(block, static_cast<size_t>(got));
    }
    if (fd >= 0) {
        close(fd);
    }
    return content;
}

}  // namespace spurfix::test
