// How ReplaceFile keeps its contract (see safe_file.h):
//
// - A new file is written unnamed (O_TMPFILE) in the target's folder and gets its name
//   only when it is complete; where unnamed files are missing it gets a temporary name
//   ".spurfix-XXXXXXXX", locked while it is written, so that the next export into the
//   folder can tell a leftover of a kill from a file being written and remove it.
// - An existing file is replaced the same way when the new file can keep everything
//   that belongs to the old one (owner, group, mode, ACL, extended attributes, its only
//   name). Otherwise, and when no new file fits beside it, it is overwritten in place:
//   first a complete backup of the old content is written, flushed and named beside it,
//   then the file is overwritten, and the backup goes once the new content is flushed.
//   A failure the writer sees restores the old content from the backup at once.
// - A lack of space never sends a copy-on-write file system (btrfs, XFS with reflinks,
//   ZFS, bcachefs) into the in-place path: overwriting needs new space there, and no
//   reservation secures it. Only file systems known to overwrite in the old blocks are
//   overwritten after a lack of space.
// - The writing runs in a child process that blocks every signal it can: killing the
//   program does not stop it halfway. It reports its bytes and how far it got through
//   memory shared with the program, which polls it, reports progress and can end it.
//   After fork the child calls only async-signal-safe functions and allocates nothing:
//   every name, buffer and figure (free space, limits) is made before.
#include "platform/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "platform/file_systems.h"

namespace spurfix::platform {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows
constexpr size_t kTempNameCount = 16;
constexpr size_t kBackupNameCount = 10;
constexpr size_t kBufferSize = 64 * 1024;
constexpr size_t kNewFileXattrListSize = 64 * 1024;
constexpr int kPollMs = 50;
constexpr std::string_view kTempPrefix = ".spurfix-";
constexpr size_t kTempLetters = 8;
constexpr std::string_view kBackupSuffix = ".spurfix-sicherung";

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int ReadLink(const std::string& path, std::string& target) {
    target.assign(256, '\0');
    for (;;) {
        const ssize_t got = readlink(path.c_str(), target.data(), target.size());
        if (got < 0) {
            return errno;
        }
        if (static_cast<size_t>(got) < target.size()) {
            target.resize(static_cast<size_t>(got));
            return 0;
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

int ResolveTarget(const std::string& fileName, Target& target) {
    target.path = fileName;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        if (lstat(target.path.c_str(), &target.info) != 0) {
            return errno == ENOENT ? 0 : errno;
        }
        if (!S_ISLNK(target.info.st_mode)) {
            target.exists = true;
            return 0;
        }
        std::string linked;
        if (const int error = ReadLink(target.path, linked); error != 0) {
            return error;
        }
        if (linked.empty() || linked.front() != '/') {
            linked.insert(0, DirectoryOf(target.path));
        }
        target.path = std::move(linked);
    }
    return ELOOP;
}

struct ExtendedAttribute {
    std::string name;
    std::string value;
};

// The file's extended attributes at their real sizes. False where they cannot all be
// read (a list longer than the kernel hands out, E2BIG): then a new file could not get
// them, and only overwriting the file itself keeps them.
bool ReadExtendedAttributes(int fd, std::vector<ExtendedAttribute>& attributes) {
    std::vector<char> names;
    ssize_t listed = 0;
    for (;;) {
        listed = flistxattr(fd, nullptr, 0);
        if (listed < 0) {
            return errno == ENOTSUP || errno == EOPNOTSUPP;
        }
        names.resize(static_cast<size_t>(listed) + 1);
        listed = flistxattr(fd, names.data(), names.size());
        if (listed >= 0) {
            break;
        }
        if (errno != ERANGE) {  // ERANGE: the list grew in between
            return errno == ENOTSUP || errno == EOPNOTSUPP;
        }
    }
    for (ssize_t pos = 0; pos < listed;) {
        ExtendedAttribute attribute{names.data() + pos, {}};
        pos += static_cast<ssize_t>(attribute.name.size()) + 1;
        for (;;) {
            const ssize_t size = fgetxattr(fd, attribute.name.c_str(), nullptr, 0);
            if (size < 0) {
                if (errno == ENODATA) {
                    break;  // gone in between
                }
                return false;
            }
            attribute.value.resize(static_cast<size_t>(size));
            const ssize_t got = fgetxattr(fd, attribute.name.c_str(), attribute.value.data(),
                                          attribute.value.size());
            if (got >= 0) {
                attribute.value.resize(static_cast<size_t>(got));
                attributes.push_back(std::move(attribute));
                break;
            }
            if (errno != ERANGE) {
                return false;
            }
        }
    }
    return true;
}

// Whether the file system overwrites a file's existing blocks without new space.
bool OverwritesInPlace(int fd) {
    switch (FileSystemMagic(fd)) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case TMPFS_MAGIC:
        case RAMFS_MAGIC:
        case MSDOS_SUPER_MAGIC:
        case 0x2011BAB0:  // exfat
            return true;
        default:
            return false;
    }
}

// What the child reports to the program.
struct SharedState {
    std::atomic<uint64_t> written{0};
    // 0 nothing changed; 1 a complete backup exists and the target may be changed;
    // 2 the target holds the complete new content.
    std::atomic<int> phase{0};
    std::atomic<bool> backupNamed{false};  // the backup has its name
    std::atomic<bool> noteWritten{false};
};

// Everything the writing needs, made before it starts: from here on nothing allocates,
// so that the writing can run in a child process of a threaded program.
struct Plan {
    enum class Way {
        Device,   // a device or fifo: written as it is
        Create,   // no file of that name yet
        Replace,  // an existing regular file
    };
    Way way = Way::Create;
    int folderFd = -1;
    std::string name;        // of the target in its folder
    std::string targetPath;  // the target once links are followed, absolute
    int targetFd = -1;       // the device, or the existing file opened for reading and writing
    struct stat old {};
    bool onlyInPlace = false;  // other names, or attributes too many to copy
    bool overwritesInPlace = false;
    uint64_t freeBytes = 0;
    bool freeBytesKnown = false;
    std::vector<ExtendedAttribute> attributes;
    std::array<std::string, kTempNameCount> tempNames;
    std::string backupName;  // a name beside the target that is free
    // The note of the backup in the user's state folder, written only when the in-place
    // path is taken: the folders to make, the note's path and its text.
    std::vector<std::string> noteFolders;
    std::string notePath;
    std::string noteText;
    bool unnamedFiles = true;  // O_TMPFILE can be given a name through /proc
    uint64_t totalBytes = 0;
    std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kBufferSize);
    std::unique_ptr<char[]> attributeNames = std::make_unique<char[]>(kNewFileXattrListSize);
    SharedState* shared = nullptr;

    Plan() = default;
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;
    ~Plan() {
        for (int fd : {folderFd, targetFd}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
};

// Buffered writes to a descriptor; the first failure is kept and ends it. The bytes
// handed to the kernel are counted in the shared state.
class FdSink final : public ByteSink {
  public:
    FdSink(int fd, char* buffer, std::atomic<uint64_t>* counter)
        : fd_(fd), buffer_(buffer), counter_(counter) {}

    int put(std::string_view bytes) override {
        if (error_ != 0) {
            return error_;
        }
        if (used_ + bytes.size() > kBufferSize) {
            flush();
            if (bytes.size() > kBufferSize) {
                writeOut(bytes.data(), bytes.size());
                return error_;
            }
        }
        std::memcpy(buffer_ + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
        return error_;
    }

    int flush() {
        writeOut(buffer_, used_);
        used_ = 0;
        return error_;
    }

  private:
    void writeOut(const char* data, size_t size) {
        while (size > 0 && error_ == 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written < 0) {
                if (errno != EINTR) {
                    error_ = errno;
                }
                continue;
            }
            if (written == 0) {
                error_ = EIO;  // a file system that takes nothing would loop forever
                continue;
            }
            data += written;
            size -= static_cast<size_t>(written);
            if (counter_ != nullptr) {
                counter_->fetch_add(static_cast<uint64_t>(written), std::memory_order_relaxed);
            }
        }
    }

    int fd_;
    char* buffer_;
    std::atomic<uint64_t>* counter_;
    size_t used_ = 0;
    int error_ = 0;
};

int WriteContent(const Plan& plan, int fd, const FileContent& content, bool counted) {
    FdSink sink(fd, plan.buffer.get(), counted ? &plan.shared->written : nullptr);
    if (const int error = content.writeTo(sink); error != 0) {
        return error;
    }
    return sink.flush();
}

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

bool IsLackOfSpace(int error) {
    return error == ENOSPC || error == EDQUOT;
}

// Whether a failure to make the new file beside the target may be answered by
// overwriting the target itself.
bool CallsForInPlace(const Plan& plan, int error) {
    if (IsLackOfSpace(error)) {
        return plan.overwritesInPlace;
    }
    return error == EACCES || error == EPERM || error == EMLINK;
}

// Marks a named temporary file as being written, so that a cleaner leaves it alone.
void LockWhileWriting(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    fcntl(fd, F_OFD_SETLK, &lock);
}

// A new file in the target's folder, unnamed where the file system allows; `named`
// tells which temporary name it got otherwise. -1 with errno on failure.
int OpenNewFile(const Plan& plan, int& named) {
    named = -1;
    if (plan.unnamedFiles) {
        const int fd = openat(plan.folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0 || !IsUnsupported(errno)) {
            return fd;
        }
    }
    for (size_t i = 0; i < plan.tempNames.size(); ++i) {
        const int fd = openat(plan.folderFd, plan.tempNames[i].c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            named = static_cast<int>(i);
            LockWhileWriting(fd);
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

void DiscardNewFile(const Plan& plan, int fd, int named) {
    close(fd);
    if (named >= 0) {
        unlinkat(plan.folderFd, plan.tempNames[static_cast<size_t>(named)].c_str(), 0);
    }
}

// Gives the new file the owner, group, mode, ACL and extended attributes of the old
// one; false when it cannot have them all.
bool TakeOverWhatBelongs(const Plan& plan, int fd) {
    if (fchown(fd, plan.old.st_uid, plan.old.st_gid) != 0) {
        // Only root may give a file away: the check below finds it out.
    }
    if (fchmod(fd, plan.old.st_mode & 07777) != 0) {
        return false;
    }
    // Attributes the new file got from its folder (a default ACL) but the old one lacks.
    const ssize_t listed = flistxattr(fd, plan.attributeNames.get(), kNewFileXattrListSize);
    if (listed < 0 && errno != ENOTSUP) {
        return false;
    }
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

// Gives the complete file `fd` the name `finalName`: an unnamed file through /proc, a
// temporary one by renaming. With `replace`, an existing file of that name is replaced
// in one step; without, an existing name fails with EEXIST.
int NameFile(const Plan& plan, int fd, int named, const char* finalName, bool replace) {
    char procPath[32];
    ProcFdPath(fd, procPath);
    if (named < 0 && !replace) {
        return linkat(AT_FDCWD, procPath, plan.folderFd, finalName, AT_SYMLINK_FOLLOW) == 0 ? 0
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
    const char* temporary = plan.tempNames[static_cast<size_t>(named)].c_str();
    const int moved =
        replace ? renameat(plan.folderFd, temporary, plan.folderFd, finalName)
                : renameat2(plan.folderFd, temporary, plan.folderFd, finalName, RENAME_NOREPLACE);
    if (moved != 0) {
        const int error = errno;
        unlinkat(plan.folderFd, temporary, 0);
        return error;
    }
    return 0;
}

int SyncFolder(const Plan& plan) {
    return fsync(plan.folderFd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
}

// Copies the old content from `from` (at its start) into the target, which ends up
// exactly `size` bytes long.
int CopyBack(const Plan& plan, int from, uint64_t size) {
    if (lseek(from, 0, SEEK_SET) != 0 || lseek(plan.targetFd, 0, SEEK_SET) != 0) {
        return errno;
    }
    for (;;) {
        const ssize_t got = read(from, plan.buffer.get(), kBufferSize);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            break;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t written =
                write(plan.targetFd, plan.buffer.get() + done, static_cast<size_t>(got - done));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return written < 0 ? errno : EIO;
            }
            done += written;
        }
    }
    if (ftruncate(plan.targetFd, static_cast<off_t>(size)) != 0) {
        return errno;
    }
    return SyncData(plan.targetFd);
}

// Restores the target from its backup and removes the backup; 0 when the target holds
// its old content again.
int RestoreFromBackup(const Plan& plan) {
    const char* backupName = plan.backupName.c_str();
    const int backup = openat(plan.folderFd, backupName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (backup < 0) {
        return errno;
    }
    const int error = CopyBack(plan, backup, static_cast<uint64_t>(plan.old.st_size));
    close(backup);
    if (error == 0) {
        unlinkat(plan.folderFd, backupName, 0);
    }
    return error;
}

// A complete, flushed copy of the old content beside the target under the backup name;
// 0 or the error.
int WriteBackup(const Plan& plan) {
    if (plan.backupName.empty()) {
        return EEXIST;
    }
    int named = -1;
    const int fd = OpenNewFile(plan, named);
    if (fd < 0) {
        return errno;
    }
    // Nobody may read the backup who may not read the file.
    int error = fchmod(fd, (plan.old.st_mode & 0666) | 0600) == 0 ? 0 : errno;
    if (error == 0 && lseek(plan.targetFd, 0, SEEK_SET) != 0) {
        error = errno;
    }
    for (ssize_t got = 1; error == 0 && got > 0;) {
        got = read(plan.targetFd, plan.buffer.get(), kBufferSize);
        if (got < 0) {
            // EBADF: a file its user may write but not read has no backup.
            error = errno == EINTR ? 0 : errno == EBADF ? EACCES : errno;
            got = 1;
            continue;
        }
        for (ssize_t done = 0; error == 0 && done < got;) {
            const ssize_t written =
                write(fd, plan.buffer.get() + done, static_cast<size_t>(got - done));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                error = written < 0 ? errno : EIO;
                break;
            }
            done += written;
        }
    }
    struct stat copied {};
    if (error == 0 && (fstat(fd, &copied) != 0 || copied.st_size != plan.old.st_size)) {
        error = EAGAIN;  // the file changed under our hands
    }
    if (error == 0) {
        error = SyncData(fd);
    }
    if (error == 0) {
        error = NameFile(plan, fd, named, plan.backupName.c_str(), false);
        named = -1;  // named, or its temporary name removed
    }
    if (error == 0) {
        plan.shared->backupNamed.store(true);
        error = SyncFolder(plan);
        if (error != 0) {
            unlinkat(plan.folderFd, plan.backupName.c_str(), 0);
        }
    }
    DiscardNewFile(plan, fd, named);
    return error;
}

// Notes the backup in the user's state folder before it is made, so that the next start
// finds it after a kill. Where the state folder cannot be written the backup's name
// still says what it is.
void WriteNote(const Plan& plan) {
    if (plan.notePath.empty() || plan.shared->noteWritten.load()) {
        return;
    }
    for (const std::string& folder : plan.noteFolders) {
        mkdir(folder.c_str(), 0700);
    }
    const int fd = open(plan.notePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    plan.shared->noteWritten.store(true);
    const bool written = write(fd, plan.noteText.data(), plan.noteText.size()) ==
                             static_cast<ssize_t>(plan.noteText.size()) &&
                         fsync(fd) == 0;
    close(fd);
    if (!written) {
        unlink(plan.notePath.c_str());
    }
}

// Overwrites the existing file after a backup of its old content is complete. Its full
// size is reserved first where the file system can reserve, so that a lack of space
// rarely needs the backup; a failure restores the old content from the backup.
int WriteInPlace(const Plan& plan, const FileContent& content) {
    if (plan.targetFd < 0) {
        return EACCES;
    }
    const auto total = static_cast<off_t>(plan.totalBytes);
    const auto growth = static_cast<uint64_t>(std::max<off_t>(0, total - plan.old.st_size));
    // A copy-on-write file system needs the whole list anew; others only the growth.
    const uint64_t needed =
        (plan.overwritesInPlace ? growth : plan.totalBytes) + plan.old.st_size + kBufferSize;
    if (plan.freeBytesKnown && plan.freeBytes < needed) {
        return ENOSPC;
    }
    WriteNote(plan);
    if (const int error = WriteBackup(plan); error != 0) {
        return error;
    }
    plan.shared->phase.store(1);
    int error = 0;
    if (plan.overwritesInPlace && total > 0 &&
        fallocate(plan.targetFd, FALLOC_FL_KEEP_SIZE, 0, total) != 0 && !IsUnsupported(errno)) {
        error = errno;
        plan.shared->phase.store(0);
        unlinkat(plan.folderFd, plan.backupName.c_str(), 0);
        return error;
    }
    if (lseek(plan.targetFd, 0, SEEK_SET) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = WriteContent(plan, plan.targetFd, content, true);
    }
    if (error == 0 && ftruncate(plan.targetFd, total) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = SyncData(plan.targetFd);
    }
    if (error != 0) {
        if (RestoreFromBackup(plan) == 0) {
            plan.shared->phase.store(0);
        }
        return error;
    }
    plan.shared->phase.store(2);
    unlinkat(plan.folderFd, plan.backupName.c_str(), 0);
    return 0;
}

// The whole writing; the error number, or 0. Allocates nothing.
int CarryOut(const Plan& plan, const FileContent& content) {
    if (plan.way == Plan::Way::Device) {
        if (const int error = WriteContent(plan, plan.targetFd, content, true)) {
            return error;
        }
        return SyncData(plan.targetFd);
    }
    if (plan.onlyInPlace) {
        return WriteInPlace(plan, content);
    }
    const bool replace = plan.way == Plan::Way::Replace;
    int named = -1;
    const int fd = OpenNewFile(plan, named);
    if (fd < 0) {
        const int error = errno;
        return replace && CallsForInPlace(plan, error) ? WriteInPlace(plan, content) : error;
    }
    if (replace && !TakeOverWhatBelongs(plan, fd)) {
        DiscardNewFile(plan, fd, named);
        return WriteInPlace(plan, content);
    }
    int error = WriteContent(plan, fd, content, true);
    if (error == 0) {
        error = SyncData(fd);
    }
    if (error != 0) {
        DiscardNewFile(plan, fd, named);
        plan.shared->written.store(0);
        // The old file may still take the content where a whole second copy did not fit.
        return replace && CallsForInPlace(plan, error) ? WriteInPlace(plan, content) : error;
    }
    error = NameFile(plan, fd, named, plan.name.c_str(), replace);
    close(fd);
    if (error == 0) {
        plan.shared->phase.store(2);
    }
    return error;
}

std::string RandomLetters(std::random_device& random, size_t count) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string letters;
    for (size_t i = 0; i < count; ++i) {
        letters.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    }
    return letters;
}

bool IsTempName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + kTempLetters ||
        name.substr(0, kTempPrefix.size()) != kTempPrefix) {
        return false;
    }
    return std::all_of(
        name.begin() + static_cast<ptrdiff_t>(kTempPrefix.size()), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        });
}

// Removes the temporary files that an export killed halfway left in the folder; a file
// that another export still writes is locked and stays.
void RemoveLeftTempFiles(int folderFd) {
    const int listFd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) {
        return;
    }
    DIR* folder = fdopendir(listFd);
    if (folder == nullptr) {
        close(listFd);
        return;
    }
    while (const dirent* entry = readdir(folder)) {
        if (!IsTempName(entry->d_name)) {
            continue;
        }
        const int fd = openat(folderFd, entry->d_name,
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
            fcntl(fd, F_OFD_SETLK, &lock) == 0) {
            unlinkat(folderFd, entry->d_name, 0);
        }
        close(fd);
    }
    closedir(folder);
}

int PlanTarget(Plan& plan, const std::string& fileName) {
    Target target;
    if (const int error = ResolveTarget(fileName, target); error != 0) {
        return error;
    }
    const std::string folder = DirectoryOf(target.path);
    plan.name = target.path.substr(folder.size());
    plan.targetPath = target.path;
    if (plan.targetPath.front() != '/') {
        std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
        plan.targetPath = std::string(cwd ? cwd.get() : "") + "/" + plan.targetPath;
    }
    if (target.exists && !S_ISREG(target.info.st_mode)) {
        if (S_ISDIR(target.info.st_mode)) {
            return EISDIR;
        }
        // Non-blocking, so that a fifo without a reader fails instead of hanging.
        plan.way = Plan::Way::Device;
        plan.targetFd =
            open(target.path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (plan.targetFd < 0) {
            return errno;
        }
        fcntl(plan.targetFd, F_SETFL, fcntl(plan.targetFd, F_GETFL) & ~O_NONBLOCK);
        return 0;
    }
    plan.folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (plan.folderFd < 0) {
        return errno;
    }
    if (!target.exists) {
        plan.way = Plan::Way::Create;
        return 0;
    }
    plan.way = Plan::Way::Replace;
    // Whoever may not write the file may not replace it either; reading it is needed for
    // its backup.
    plan.targetFd = openat(plan.folderFd, plan.name.c_str(),
                           O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (plan.targetFd < 0 && errno == EACCES) {  // a file its user may only write
        plan.targetFd = openat(plan.folderFd, plan.name.c_str(),
                               O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    }
    if (plan.targetFd < 0 || fstat(plan.targetFd, &plan.old) != 0) {
        return errno;
    }
    if (!S_ISREG(plan.old.st_mode) || plan.old.st_ino != target.info.st_ino ||
        plan.old.st_dev != target.info.st_dev) {
        return EAGAIN;  // the file changed under our hands
    }
    plan.onlyInPlace = plan.old.st_nlink > 1;
    if (!ReadExtendedAttributes(plan.targetFd, plan.attributes)) {
        plan.onlyInPlace = true;  // a new file could not get them all
    }
    plan.overwritesInPlace = OverwritesInPlace(plan.targetFd);
    struct statvfs space {};
    if (fstatvfs(plan.targetFd, &space) == 0) {
        plan.freeBytes = static_cast<uint64_t>(space.f_bavail) * space.f_frsize;
        plan.freeBytesKnown = true;
    }
    // The backup's name says what it is; one left by an earlier kill is not touched.
    for (size_t i = 1; i <= kBackupNameCount && plan.backupName.empty(); ++i) {
        std::string name = plan.name + std::string(kBackupSuffix);
        if (i > 1) {
            name += "-" + std::to_string(i);
        }
        struct stat info {};
        if (fstatat(plan.folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 &&
            errno == ENOENT) {
            plan.backupName = std::move(name);
        }
    }
    return 0;
}

// Prepares the note of the backup (see WriteNote).
void PlanNote(Plan& plan) {
    const std::string folder = BackupRecordFolder();
    if (folder.empty() || plan.backupName.empty()) {
        return;
    }
    for (size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        plan.noteFolders.push_back(folder.substr(0, slash));
    }
    plan.noteFolders.push_back(folder);
    std::random_device random;
    plan.notePath = folder + "/" + RandomLetters(random, 12);
    // The target and its backup, each ended by a zero byte.
    plan.noteText = plan.targetPath + '\0' + DirectoryOf(plan.targetPath) + plan.backupName + '\0';
}

// Waits for the child: polls about every 50 ms, reports progress and ends the child on a
// cancel. The child's result, or kWriteCancelled when it was ended.
int WaitForChild(pid_t child, int channel, const Plan& plan, const WriteControl* control) {
    bool cancelled = false;
    int result = EIO;  // the child died without a word
    for (;;) {
        pollfd wait{channel, POLLIN, 0};
        const int ready = poll(&wait, 1, control != nullptr ? kPollMs : -1);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready > 0) {
            int got = 0;
            ssize_t read_bytes = 0;
            do {
                read_bytes = read(channel, &got, sizeof got);
            } while (read_bytes < 0 && errno == EINTR);
            if (read_bytes == static_cast<ssize_t>(sizeof got)) {
                result = got;
            }
            break;
        }
        if (control != nullptr) {
            if (control->progress) {
                control->progress(plan.shared->written.load(std::memory_order_relaxed),
                                  plan.totalBytes);
            }
            if (control->cancelRequested && control->cancelRequested()) {
                kill(child, SIGKILL);
                cancelled = true;
                break;
            }
        }
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!cancelled && result != EIO) {
        return result;
    }
    // The child is gone without a result: what it left decides.
    const int phase = plan.shared->phase.load();
    if (phase == 1) {
        if (const int error = RestoreFromBackup(plan); error != 0) {
            return error;  // the backup stays, and its note
        }
    }
    if (plan.folderFd >= 0) {
        for (const std::string& name : plan.tempNames) {
            unlinkat(plan.folderFd, name.c_str(), 0);
        }
        if (plan.shared->backupNamed.load() && phase != 1) {
            unlinkat(plan.folderFd, plan.backupName.c_str(), 0);
        }
    }
    if (phase == 2) {
        return 0;  // the new content was complete before the end
    }
    return cancelled ? kWriteCancelled : result;
}

// Runs the writing in a child process that blocks every signal it can, so that killing
// the program does not stop it halfway; the program waits for it. Where no child can be
// made, the writing runs here.
int CarryOutOutlivingAKill(const Plan& plan, const FileContent& content,
                           const WriteControl* control) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        return CarryOut(plan, content);
    }
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        if (plan.way == Plan::Way::Device) {
            // A torn write to a device or fifo cannot hurt a file: without its program
            // the writer ends, instead of waiting for a reader forever.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) {
                _exit(0);
            }
        }
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
    const int error = WaitForChild(child, channel[0], plan, control);
    close(channel[0]);
    return error;
}

struct SharedMapping {
    SharedState* state = nullptr;
    SharedMapping() {
        void* memory = mmap(nullptr, sizeof(SharedState), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory != MAP_FAILED) {
            state = new (memory) SharedState();
        }
    }
    ~SharedMapping() {
        if (state != nullptr) {
            state->~SharedState();
            munmap(state, sizeof(SharedState));
        }
    }
    SharedMapping(const SharedMapping&) = delete;
    SharedMapping& operator=(const SharedMapping&) = delete;
};

// A file's content read from an open descriptor, for restoring a backup.
class DescriptorContent final : public FileContent {
  public:
    DescriptorContent(int fd, uint64_t size) : fd_(fd), size_(size) {}
    [[nodiscard]] uint64_t size() const override { return size_; }
    int writeTo(ByteSink& sink) const override {
        uint64_t done = 0;
        while (done < size_) {
            const ssize_t got = pread(fd_, buffer_.get(), kBufferSize, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return got < 0 ? errno : EIO;
            }
            if (const int error = sink.put({buffer_.get(), static_cast<size_t>(got)})) {
                return error;
            }
            done += static_cast<uint64_t>(got);
        }
        return 0;
    }

  private:
    int fd_;
    uint64_t size_;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kBufferSize);
};

}  // namespace

int ReplaceFile(const std::string& fileName, const FileContent& content,
                const WriteControl* control) {
    if (fileName.empty()) {
        return ENOENT;
    }
    Plan plan;
    if (const int error = PlanTarget(plan, fileName); error != 0) {
        return error;
    }
    plan.totalBytes = content.size();
    rlimit fileSize{};
    if (plan.way != Plan::Way::Device && getrlimit(RLIMIT_FSIZE, &fileSize) == 0 &&
        fileSize.rlim_cur != RLIM_INFINITY && plan.totalBytes > fileSize.rlim_cur) {
        return EFBIG;
    }
    std::random_device random;
    for (std::string& name : plan.tempNames) {
        name = std::string(kTempPrefix) + RandomLetters(random, kTempLetters);
    }
    plan.unnamedFiles = access("/proc/self/fd", X_OK) == 0;
    if (plan.folderFd >= 0) {
        RemoveLeftTempFiles(plan.folderFd);
    }
    SharedMapping shared;
    if (shared.state == nullptr) {
        return errno;
    }
    plan.shared = shared.state;
    if (plan.way == Plan::Way::Replace) {
        PlanNote(plan);
    }
    const int error = CarryOutOutlivingAKill(plan, content, control);
    struct stat info {};
    const bool backupLeft =
        plan.way == Plan::Way::Replace && !plan.backupName.empty() &&
        fstatat(plan.folderFd, plan.backupName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (plan.shared->noteWritten.load() && !backupLeft) {
        unlink(plan.notePath.c_str());
    }
    return error;
}

std::string FolderOfFile(const std::string& fileName, int& error) {
    Target target;
    error = ResolveTarget(fileName, target);
    if (error != 0) {
        return {};
    }
    std::string folder = DirectoryOf(target.path);
    if (folder.empty() || folder.front() != '/') {
        std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
        folder = std::string(cwd ? cwd.get() : "") + "/" + folder;
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string BackupRecordFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/spurfix/sicherungen";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/state/spurfix/sicherungen";
    }
    return {};
}

std::vector<LeftBackup> FindLeftBackups() {
    std::vector<LeftBackup> found;
    const std::string folder = BackupRecordFolder();
    DIR* notes = folder.empty() ? nullptr : opendir(folder.c_str());
    if (notes == nullptr) {
        return found;
    }
    while (const dirent* entry = readdir(notes)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string record = folder + "/" + entry->d_name;
        const int fd = open(record.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            continue;
        }
        std::string text;
        char block[4096];
        for (ssize_t got; (got = read(fd, block, sizeof block)) > 0;) {
            text.append(block, static_cast<size_t>(got));
        }
        close(fd);
        std::vector<std::string> names;
        for (size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos;
             start = end + 1) {
            names.push_back(text.substr(start, end - start));
        }
        bool any = false;
        for (size_t i = 1; i < names.size(); ++i) {
            struct stat info {};
            if (lstat(names[i].c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
                found.push_back({names[0], names[i], record});
                any = true;
                break;
            }
        }
        if (!any) {
            unlink(record.c_str());  // the export ended well, or the backup was restored
        }
    }
    closedir(notes);
    return found;
}

int RestoreBackup(const LeftBackup& backup) {
    const int fd = open(backup.backup.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        return error;
    }
    const DescriptorContent content(fd, static_cast<uint64_t>(info.st_size));
    const int error = ReplaceFile(backup.target, content);
    close(fd);
    if (error == 0) {
        unlink(backup.backup.c_str());
        unlink(backup.record.c_str());
    }
    return error;
}

void ForgetBackup(const LeftBackup& backup) {
    unlink(backup.record.c_str());
}

}  // namespace spurfix::platform
