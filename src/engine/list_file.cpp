// The list file. A user's old list is never lost: whatever fails, and wherever the
// program is killed, the target holds its complete old content or the complete new
// list, and no stray file is left beside it.
//
// - A new file is written unnamed (O_TMPFILE) in the target's folder and gets its name
//   only when it is complete.
// - An existing file is replaced the same way when the new file can keep everything
//   that belongs to the old one (owner, group, mode, ACL, extended attributes, its only
//   name); otherwise, and when no new file can be made beside it, it is overwritten in
//   place after its full size has been reserved, so that no lack of space can cut it.
// - The writing runs in a child process that blocks every signal it can: killing the
//   program does not stop it halfway. The child touches only memory made before it.
#include "engine/list_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

namespace spurfix {

namespace {

[[noreturn]] void ThrowErrno(int error = errno) {
    throw EInOutError::FromErrno(error);
}

constexpr int kMaxLinkHops = 40;  // as the kernel allows
constexpr size_t kTempNameCount = 16;
constexpr size_t kBufferSize = 64 * 1024;
constexpr size_t kXattrListSize = 64 * 1024;

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ReadLink(const std::string& path) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t got = readlink(path.c_str(), target.data(), target.size());
        if (got < 0) {
            ThrowErrno();
        }
        if (static_cast<size_t>(got) < target.size()) {
            target.resize(static_cast<size_t>(got));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// The file a name leads to: links are followed as the kernel follows them, except that
// a link to a name that does not exist leads to that name, so that the file it names
// is created and the link stays a link.
struct Target {
    std::string path;
    bool exists = false;
    struct stat info {};
};

Target ResolveTarget(const std::string& fileName) {
    Target target;
    target.path = fileName;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        if (lstat(target.path.c_str(), &target.info) != 0) {
            if (errno != ENOENT) {
                ThrowErrno();
            }
            return target;
        }
        if (!S_ISLNK(target.info.st_mode)) {
            target.exists = true;
            return target;
        }
        std::string linked = ReadLink(target.path);
        if (linked.empty() || linked.front() != '/') {
            linked.insert(0, DirectoryOf(target.path));
        }
        target.path = std::move(linked);
    }
    ThrowErrno(ELOOP);
}

struct ExtendedAttribute {
    std::string name;
    std::string value;
};

std::vector<ExtendedAttribute> ReadExtendedAttributes(int fd) {
    std::vector<ExtendedAttribute> attributes;
    std::vector<char> names(kXattrListSize);
    const ssize_t listed = flistxattr(fd, names.data(), names.size());
    for (ssize_t pos = 0; pos < listed;) {
        ExtendedAttribute attribute{names.data() + pos, {}};
        pos += static_cast<ssize_t>(attribute.name.size()) + 1;
        const ssize_t size = fgetxattr(fd, attribute.name.c_str(), nullptr, 0);
        if (size < 0) {
            continue;
        }
        attribute.value.resize(static_cast<size_t>(size));
        const ssize_t got =
            fgetxattr(fd, attribute.name.c_str(), attribute.value.data(), attribute.value.size());
        if (got >= 0) {
            attribute.value.resize(static_cast<size_t>(got));
            attributes.push_back(std::move(attribute));
        }
    }
    return attributes;
}

// Everything the writing needs, made before it starts: from here on nothing allocates,
// so that the writing can run in a child process of a threaded program.
struct ExportPlan {
    enum class Way {
        Device,   // a device or fifo: written as it is
        Create,   // no file of that name yet
        Replace,  // an existing regular file
    };
    Way way = Way::Create;
    int folderFd = -1;
    std::string name;   // of the target in its folder
    int targetFd = -1;  // the device, or the existing file opened for writing in place
    struct stat old {};
    bool onlyInPlace = false;  // other names (hard links) must see the new list too
    std::vector<ExtendedAttribute> attributes;
    std::array<std::string, kTempNameCount> tempNames;
    bool unnamedFiles = true;  // O_TMPFILE can be given a name through /proc
    uint64_t totalBytes = 0;
    std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kBufferSize);
    std::unique_ptr<char[]> attributeNames = std::make_unique<char[]>(kXattrListSize);
    mutable std::string scratch = std::string(PreviewList::kLongestComposed, '\0');

    ExportPlan() = default;
    ExportPlan(const ExportPlan&) = delete;
    ExportPlan& operator=(const ExportPlan&) = delete;
    ~ExportPlan() {
        for (int fd : {folderFd, targetFd}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
};

// What a file gets: the lines of a list, each ended by CR LF, or bytes as they are.
struct Content {
    const PreviewList* lines = nullptr;
    std::string_view bytes;
};

// Buffered writes of the list to a descriptor; the first failure is kept and ends it.
class ListWriter {
  public:
    // `scratch` must hold PreviewList::kLongestComposed bytes already.
    ListWriter(int fd, char* buffer, std::string& scratch)
        : fd_(fd), buffer_(buffer), scratch_(scratch) {}

    int writeContent(const Content& content) {
        if (content.lines == nullptr) {
            writeOut(content.bytes.data(), content.bytes.size());
            return error_;
        }
        const PreviewList& lines = *content.lines;
        for (size_t i = 0; i < lines.size() && error_ == 0; ++i) {
            write(lines.text(i, scratch_));
            write("\r\n");
        }
        flush();
        return error_;
    }

  private:
    void write(std::string_view bytes) {
        if (used_ + bytes.size() > kBufferSize) {
            flush();
            if (bytes.size() > kBufferSize) {
                writeOut(bytes.data(), bytes.size());
                return;
            }
        }
        std::memcpy(buffer_ + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }

    void flush() {
        writeOut(buffer_, used_);
        used_ = 0;
    }

    void writeOut(const char* data, size_t size) {
        while (size > 0 && error_ == 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written < 0) {
                if (errno != EINTR) {
                    error_ = errno;
                }
                continue;
            }
            data += written;
            size -= static_cast<size_t>(written);
        }
    }

    int fd_;
    char* buffer_;
    std::string& scratch_;
    size_t used_ = 0;
    int error_ = 0;
};

int SyncData(int fd) {
    // Devices and some file systems have nothing to sync.
    return fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
}

// "/proc/self/fd/N" without allocating.
void ProcFdPath(int fd, char (&path)[32]) {
    static constexpr char kPrefix[] = "/proc/self/fd/";
    std::memcpy(path, kPrefix, sizeof kPrefix);
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + fd % 10);
        fd /= 10;
    } while (fd > 0);
    size_t pos = sizeof kPrefix - 1;
    while (count > 0) {
        path[pos++] = digits[--count];
    }
    path[pos] = '\0';
}

bool IsUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

bool CallsForInPlace(int error) {
    return error == EACCES || error == EPERM || error == ENOSPC || error == EDQUOT ||
           error == EMLINK;
}

// A new file in the target's folder, unnamed where the file system allows; `named`
// tells which temporary name it got otherwise. -1 with errno on failure.
int OpenNewFile(const ExportPlan& plan, int& named) {
    named = -1;
    if (plan.unnamedFiles) {
        const int fd = openat(plan.folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0 || !IsUnsupported(errno)) {
            return fd;
        }
    }
    for (size_t i = 0; i < plan.tempNames.size(); ++i) {
        const int fd = openat(plan.folderFd, plan.tempNames[i].c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST) {
            named = fd >= 0 ? static_cast<int>(i) : -1;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

void DiscardNewFile(const ExportPlan& plan, int fd, int named) {
    close(fd);
    if (named >= 0) {
        unlinkat(plan.folderFd, plan.tempNames[static_cast<size_t>(named)].c_str(), 0);
    }
}

// Gives the new file the owner, group, mode, ACL and extended attributes of the old
// one; false when it cannot have them all.
bool TakeOverWhatBelongs(const ExportPlan& plan, int fd) {
    if (fchown(fd, plan.old.st_uid, plan.old.st_gid) != 0) {
        // Only root may give a file away: the check below finds it out.
    }
    if (fchmod(fd, plan.old.st_mode & 07777) != 0) {
        return false;
    }
    // Attributes the new file got from its folder (a default ACL) but the old one lacks.
    const ssize_t listed = flistxattr(fd, plan.attributeNames.get(), kXattrListSize);
    for (ssize_t pos = 0; pos < listed;) {
        const char* name = plan.attributeNames.get() + pos;
        pos += static_cast<ssize_t>(std::strlen(name)) + 1;
        bool kept = false;
        for (const ExtendedAttribute& attribute : plan.attributes) {
            kept = kept || attribute.name == name;
        }
        if (!kept && fremovexattr(fd, name) != 0) {
            return false;
        }
    }
    if (listed < 0 && errno != ENOTSUP) {
        return false;
    }
    for (const ExtendedAttribute& attribute : plan.attributes) {
        if (fsetxattr(fd, attribute.name.c_str(), attribute.value.data(), attribute.value.size(),
                      0) != 0) {
            return false;
        }
    }
    struct stat now {};
    return fstat(fd, &now) == 0 && now.st_uid == plan.old.st_uid && now.st_gid == plan.old.st_gid &&
           (now.st_mode & 07777) == (plan.old.st_mode & 07777);
}

// Gives the complete new file the target's name. An existing file is replaced in one
// step; an unnamed file first gets a temporary name for that step.
int NameNewFile(const ExportPlan& plan, int fd, int named) {
    if (named < 0) {
        char procPath[32];
        ProcFdPath(fd, procPath);
        if (plan.way == ExportPlan::Way::Create) {
            return linkat(AT_FDCWD, procPath, plan.folderFd, plan.name.c_str(),
                          AT_SYMLINK_FOLLOW) == 0
                       ? 0
                       : errno;
        }
        for (size_t i = 0; i < plan.tempNames.size() && named < 0; ++i) {
            if (linkat(AT_FDCWD, procPath, plan.folderFd, plan.tempNames[i].c_str(),
                       AT_SYMLINK_FOLLOW) == 0) {
                named = static_cast<int>(i);
            } else if (errno != EEXIST) {
                return errno;
            }
        }
        if (named < 0) {
            return EEXIST;
        }
    }
    const char* temporary = plan.tempNames[static_cast<size_t>(named)].c_str();
    if (renameat(plan.folderFd, temporary, plan.folderFd, plan.name.c_str()) != 0) {
        const int error = errno;
        unlinkat(plan.folderFd, temporary, 0);
        return error;
    }
    return 0;
}

// Overwrites the existing file. Its full size is reserved first, so that the writing
// cannot run out of space halfway; if that fails, the file is left as it was.
int WriteInPlace(const ExportPlan& plan, const Content& content) {
    const int fd = plan.targetFd;
    if (fd < 0) {
        return EACCES;
    }
    const auto total = static_cast<off_t>(plan.totalBytes);
    if (total > 0 && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, total) != 0) {
        if (!IsUnsupported(errno)) {
            return errno;
        }
        // Without reservation, only a list that fits into the free space is written.
        struct statvfs space {};
        const auto needed = static_cast<uint64_t>(std::max<off_t>(0, total - plan.old.st_size));
        if (fstatvfs(fd, &space) != 0 ||
            static_cast<uint64_t>(space.f_bavail) * space.f_frsize < needed + kBufferSize) {
            return ENOSPC;
        }
    }
    if (lseek(fd, 0, SEEK_SET) != 0) {
        return errno;
    }
    if (const int error = ListWriter(fd, plan.buffer.get(), plan.scratch).writeContent(content);
        error != 0) {
        return error;
    }
    if (ftruncate(fd, total) != 0) {
        return errno;
    }
    return SyncData(fd);
}

// The whole writing; the error number, or 0. Allocates nothing.
int CarryOut(const ExportPlan& plan, const Content& content) {
    if (plan.way == ExportPlan::Way::Device) {
        if (const int error =
                ListWriter(plan.targetFd, plan.buffer.get(), plan.scratch).writeContent(content)) {
            return error;
        }
        return SyncData(plan.targetFd);
    }
    if (plan.onlyInPlace) {
        return WriteInPlace(plan, content);
    }
    int named = -1;
    const int fd = OpenNewFile(plan, named);
    if (fd < 0) {
        const int error = errno;
        return plan.way == ExportPlan::Way::Replace && CallsForInPlace(error)
                   ? WriteInPlace(plan, content)
                   : error;
    }
    if (plan.way == ExportPlan::Way::Replace && !TakeOverWhatBelongs(plan, fd)) {
        DiscardNewFile(plan, fd, named);
        return WriteInPlace(plan, content);
    }
    int error = ListWriter(fd, plan.buffer.get(), plan.scratch).writeContent(content);
    if (error == 0) {
        error = SyncData(fd);
    }
    if (error != 0) {
        DiscardNewFile(plan, fd, named);
        // The old file may still take the list where a whole second copy did not fit.
        return plan.way == ExportPlan::Way::Replace && CallsForInPlace(error)
                   ? WriteInPlace(plan, content)
                   : error;
    }
    error = NameNewFile(plan, fd, named);
    close(fd);
    return error;
}

// Runs the writing in a child process that blocks every signal it can, so that killing
// the program does not stop it halfway; the program waits for it. Where no child can be
// made, the writing runs here.
int CarryOutOutlivingAKill(const ExportPlan& plan, const Content& content) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        return CarryOut(plan, content);
    }
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t child = fork();
    if (child == 0) {
        const int error = CarryOut(plan, content);
        (void)!write(channel[1], &error, sizeof error);
        _exit(0);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    close(channel[1]);
    if (child < 0) {
        close(channel[0]);
        return CarryOut(plan, content);
    }
    int error = EIO;  // the child died without a word
    ssize_t got = 0;
    do {
        got = read(channel[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(channel[0]);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return error;
}

std::array<std::string, kTempNameCount> TempNames() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::array<std::string, kTempNameCount> names;
    for (std::string& name : names) {
        name = ".spurfix-";
        for (int i = 0; i < 8; ++i) {
            name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
        }
    }
    return names;
}

uint64_t TotalBytes(const Content& content) {
    if (content.lines == nullptr) {
        return content.bytes.size();
    }
    uint64_t total = 0;
    for (size_t i = 0; i < content.lines->size(); ++i) {
        total += content.lines->textLength(i) + 2;
    }
    return total;
}

void PlanTarget(ExportPlan& plan, const std::string& fileName) {
    const Target target = ResolveTarget(fileName);
    const std::string folder = DirectoryOf(target.path);
    plan.name = target.path.substr(folder.size());
    if (target.exists && !S_ISREG(target.info.st_mode)) {
        if (S_ISDIR(target.info.st_mode)) {
            ThrowErrno(EISDIR);
        }
        // Non-blocking, so that a fifo without a reader fails instead of hanging.
        plan.way = ExportPlan::Way::Device;
        plan.targetFd =
            open(target.path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (plan.targetFd < 0) {
            ThrowErrno();
        }
        fcntl(plan.targetFd, F_SETFL, fcntl(plan.targetFd, F_GETFL) & ~O_NONBLOCK);
        return;
    }
    plan.folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (plan.folderFd < 0) {
        ThrowErrno();
    }
    if (!target.exists) {
        plan.way = ExportPlan::Way::Create;
        return;
    }
    plan.way = ExportPlan::Way::Replace;
    // Whoever may not write the file may not replace it either.
    plan.targetFd = openat(plan.folderFd, plan.name.c_str(),
                           O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (plan.targetFd < 0 || fstat(plan.targetFd, &plan.old) != 0) {
        ThrowErrno();
    }
    if (!S_ISREG(plan.old.st_mode) || plan.old.st_ino != target.info.st_ino ||
        plan.old.st_dev != target.info.st_dev) {
        ThrowErrno(EAGAIN);  // the file changed under our hands
    }
    plan.onlyInPlace = plan.old.st_nlink > 1;
    plan.attributes = ReadExtendedAttributes(plan.targetFd);
}

void WriteContent(const std::string& fileName, const Content& content) {
    if (fileName.empty()) {
        ThrowErrno(ENOENT);
    }
    ExportPlan plan;
    PlanTarget(plan, fileName);
    plan.tempNames = TempNames();
    plan.unnamedFiles = access("/proc/self/fd", X_OK) == 0;
    plan.totalBytes = TotalBytes(content);
    if (const int error = CarryOutOutlivingAKill(plan, content); error != 0) {
        ThrowErrno(error);
    }
}

}  // namespace

void WriteListFile(const std::string& fileName, const PreviewList& preview) {
    WriteContent(fileName, {&preview, {}});
}

void WriteFileBytes(const std::string& fileName, std::string_view bytes) {
    WriteContent(fileName, {nullptr, bytes});
}

std::string FolderOfListFile(const std::string& fileName) {
    std::string folder = DirectoryOf(ResolveTarget(fileName).path);
    if (folder.empty() || folder.front() != '/') {
        std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
        folder = std::string(cwd ? cwd.get() : "") + "/" + folder;
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace spurfix
