// Every way an export can fail or be interrupted must leave the user's old list whole,
// and a replaced file keeps what belongs to it. The faults are real: small tmpfs
// mounts in a private mount namespace, another user in a child process, kills.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sched.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <thread>
#include <tuple>

#include "engine/list_file.h"
#include "export_outcome.h"
#include "platform/safe_file.h"
#include "support/child_process.h"
#include "support/paced_content.h"
#include "support/temp_tree.h"

namespace spurfix {
namespace {

using test::RunInChild;
using test::TempTree;

constexpr uid_t kNobody = 65534;
constexpr gid_t kUsers = 100;

PreviewList ListOfBytes(size_t lines, std::string_view text = "001 - ein Lied mit einem Namen") {
    PreviewList preview;
    for (size_t i = 0; i < lines; ++i) {
        preview.append(text, EntryKind::File);
    }
    return preview;
}

std::string FileText(const PreviewList& preview) {
    std::string text;
    for (size_t i = 0; i < preview.size(); ++i) {
        text.append(preview.text(i)).append("\r\n");
    }
    return text;
}

void Write(const std::string& path, std::string_view content, mode_t mode = 0644) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    fchmod(fd, mode);  // whatever the umask says
    close(fd);
}

// Fills the file system of `folder` with one file.
void Fill(const std::string& folder) {
    const int fd = open((folder + "/fuellung").c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'f');
    while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
}

// A child in a mount namespace of its own with a tmpfs at `mountPoint`; "skip" where
// none can be made.
bool MountTmpfs(const std::string& mountPoint, const std::string& options) {
    return unshare(CLONE_NEWNS) == 0 &&
           mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("spurfix", mountPoint.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// The user nobody, member of the group users, in a child.
bool BecomeMemberOfUsers() {
    const gid_t groups[] = {kUsers};
    return geteuid() == 0 && setgroups(1, groups) == 0 &&
           setresgid(kNobody, kNobody, kNobody) == 0 && setresuid(kNobody, kNobody, kNobody) == 0;
}

// The export faults on a small tmpfs: the old list is kept whole, or the complete new
// list is written; nothing else is left in the folder.
TEST(ExportFaults, SmallFileSystems) {
    struct Row {
        const char* what;
        const char* mountOptions;
        bool fill;
        bool asNobodyInALockedFolder;
        size_t lines;
        std::string expected;  // the outcome; "written" means the new list is there
    };
    const std::string oldList = "[Alt]\r\n001 - frueher\r\n";
    const Row rows[] = {
        {"no space, no inode", "size=64k,nr_inodes=3", true, false, 200,
         "101 Zu wenig Speicherplatz"},
        {"no inode, space left", "size=1m,nr_inodes=3", false, false, 200, "written"},
        // Overwriting in place needs a backup of the old list first: where neither a
        // second copy nor a backup fits, nothing changes.
        {"no space for a second copy or a backup", "size=64k", true, false, 0,
         "101 Zu wenig Speicherplatz"},
        {"locked folder, space left", "size=1m", false, true, 200, "5 Dateizugriff verweigert"},
        {"locked folder, no space", "size=64k", true, true, 200, "101 Zu wenig Speicherplatz"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempTree tree;
        tree.folder("mnt");
        chmod(tree.root().c_str(), 0755);
        const std::string mountPoint = tree.path("mnt");
        const std::string options = std::string(row.mountOptions) + ",mode=0755";
        const std::string outcome = RunInChild([&]() -> std::string {
            if (!MountTmpfs(mountPoint, options)) {
                return "skip";
            }
            const std::string target = mountPoint + "/liste.txt";
            Write(target, oldList, 0666);
            if (row.fill) {
                Fill(mountPoint);
            }
            // A list that fits where the old one was, or a few KB more.
            const PreviewList preview =
                row.lines == 0 ? ListOfBytes(1, "[Neu]") : ListOfBytes(row.lines);
            if (row.asNobodyInALockedFolder && !test::BecomeNobody()) {
                return "skip";
            }
            std::string result = test::ExportOutcome(target, preview);
            const std::string content = test::ReadFile(target);
            result += content == oldList ? " | old"
                      : content == FileText(preview)
                          ? " | new"
                          : " | damaged: " + std::to_string(content.size());
            const std::vector<std::string> names = test::KernelOrder(mountPoint);
            result += " | " + std::to_string(names.size()) + " files";
            return result;
        });
        if (outcome == "skip") {
            GTEST_SKIP() << "no private mount namespace or other user here";
        }
        const size_t files = row.fill ? 2 : 1;
        const std::string content = row.expected == "written" ? "new" : "old";
        EXPECT_EQ(outcome,
                  row.expected + " | " + content + " | " + std::to_string(files) + " files");
    }
}

// The bytes of a POSIX ACL as the kernel stores it in system.posix_acl_access.
std::string AclBytes(std::initializer_list<std::tuple<uint16_t, uint16_t, uint32_t>> entries) {
    std::string bytes;
    auto put = [&bytes](uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    };
    put(2, 4);  // version
    for (const auto& [tag, permissions, id] : entries) {
        put(tag, 2);
        put(permissions, 2);
        put(id, 4);
    }
    return bytes;
}

std::string Xattr(const std::string& path, const char* name) {
    char value[4096];
    const ssize_t got = getxattr(path.c_str(), name, value, sizeof value);
    return got < 0 ? std::string("none") : std::string(value, static_cast<size_t>(got));
}

// What belongs to a replaced file stays with it: its other names and its link.
TEST(ExportFaults, ReplacingKeepsWhatBelongsToTheFile) {
    TempTree tree;
    TempTree state;  // overwriting in place notes its backup there for a moment
    const test::ScopedEnvironment stateHome("XDG_STATE_HOME", state.root());
    const PreviewList preview = ListOfBytes(3);
    const std::string list = FileText(preview);

    // Hard links: every name shows the new list.
    Write(tree.path("liste.txt"), "alt");
    ASSERT_EQ(link(tree.path("liste.txt").c_str(), tree.path("zweiter-name.txt").c_str()), 0);
    EXPECT_EQ(test::ExportOutcome(tree.path("liste.txt"), preview), "written");
    EXPECT_EQ(test::ReadFile(tree.path("zweiter-name.txt")), list);

    // A link to a missing file creates that file and stays a link.
    tree.link("neu.txt", "verweis.txt");
    EXPECT_EQ(test::ExportOutcome(tree.path("verweis.txt"), preview), "written");
    struct stat info {};
    ASSERT_EQ(lstat(tree.path("verweis.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(test::ReadFile(tree.path("neu.txt")), list);

    // A link that leads in a circle is refused and changes nothing.
    tree.link("kreis-b", "kreis-a");
    tree.link("kreis-a", "kreis-b");
    EXPECT_EQ(test::ExportOutcome(tree.path("kreis-a"), preview),
              "1921 Die Verknüpfung führt im Kreis und nennt keine Datei");
    ASSERT_EQ(lstat(tree.path("kreis-a").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    EXPECT_EQ(test::KernelOrder(tree.root()).size(), 6U) << "no temporary file is left";
}

// A replaced file keeps its ACL and its extended attributes, and their mask in its mode.
// Run on a tmpfs of its own (which has both) in a private mount namespace; skipped, with
// the reason, where neither that nor the test folder's file system has them.
TEST(ExportFaults, ReplacingKeepsAclAndAttributes) {
    TempTree tree;
    tree.folder("mnt");
    const std::string mountPoint = tree.path("mnt");
    const PreviewList preview = ListOfBytes(3);
    const std::string acl = AclBytes({{0x01, 6, UINT32_MAX},
                                      {0x02, 6, kNobody},
                                      {0x04, 4, UINT32_MAX},
                                      {0x10, 6, UINT32_MAX},
                                      {0x20, 0, UINT32_MAX}});
    const std::string outcome = RunInChild([&]() -> std::string {
        const bool tmpfs = MountTmpfs(mountPoint, "size=1m,mode=0755");
        const std::string target = mountPoint + "/acl.txt";
        Write(target, "alt", 0640);
        if (setxattr(target.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
            return std::string("skip: no POSIX ACLs on ") +
                   (tmpfs ? "this tmpfs" : "this file system");
        }
        if (setxattr(target.c_str(), "user.herkunft", "cd", 2, 0) != 0) {
            return std::string("skip: no user attributes on ") +
                   (tmpfs ? "this tmpfs" : "this file system");
        }
        struct stat before {};
        stat(target.c_str(), &before);
        std::string result = test::ExportOutcome(target, preview);
        struct stat after {};
        stat(target.c_str(), &after);
        result += (after.st_mode & 07777) == (before.st_mode & 07777) ? " | mode kept"
                                                                      : " | mode changed";
        result += Xattr(target, "system.posix_acl_access") == acl ? " | acl kept" : " | acl lost";
        result += " | user." + Xattr(target, "user.herkunft");
        result += test::ReadFile(target) == FileText(preview) ? " | new" : " | not new";
        result += " | " + std::to_string(test::KernelOrder(mountPoint).size()) + " files";
        return result;
    });
    if (outcome.rfind("skip", 0) == 0) {
        GTEST_SKIP() << outcome;
    }
    EXPECT_EQ(outcome, "written | mode kept | acl kept | user.cd | new | 1 files");
}

TEST(ExportFaults, AnotherOwnersFileKeepsItsOwnerAndGroup) {
    TempTree tree;
    chmod(tree.root().c_str(), 0777);
    const std::string target = tree.path("gemeinsam.txt");
    Write(target, "alt", 0664);
    ASSERT_EQ(chown(target.c_str(), 0, kUsers), 0);
    const PreviewList preview = ListOfBytes(3);
    const std::string outcome = RunInChild([&]() -> std::string {
        if (!BecomeMemberOfUsers()) {
            return "skip";
        }
        return test::ExportOutcome(target, preview);
    });
    if (outcome == "skip") {
        GTEST_SKIP() << "cannot become another user here";
    }
    EXPECT_EQ(outcome, "written");
    EXPECT_EQ(test::ReadFile(target), FileText(preview));
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0U);
    EXPECT_EQ(info.st_gid, kUsers);
    EXPECT_EQ(info.st_mode & 07777, 0664U);
    EXPECT_EQ(test::KernelOrder(tree.root()).size(), 1U);
}

// What a kill left: 'o' the old list, 'n' the new one, 'b' the old list and a complete
// backup of it, 't' a torn target and a backup that the next start restores to the old
// list, 'X' anything else. A backup found is restored as the next start does.
char KillOutcome(const std::string& target, const std::string& oldList, const std::string& list) {
    const std::string content = test::ReadFile(target);
    const std::vector<platform::LeftBackup> left = platform::FindLeftBackups();
    char outcome = 'X';
    if (left.empty()) {
        outcome = content == oldList ? 'o' : content == list ? 'n' : 'X';
    } else if (left.size() == 1 && test::ReadFile(left[0].backup) == oldList &&
               left[0].target == target) {
        outcome = content == oldList ? 'b' : 't';
        if (platform::RestoreBackup(left[0]) != 0 || test::ReadFile(target) != oldList) {
            outcome = 'X';
        }
    }
    return outcome;
}

// The whole process group of the program (the program and its writer, as a logout, the
// OOM killer or a cgroup kill ends them) is killed at chosen moments of an export: before
// each chunk of the list, right after the last, and after the export is done. Afterwards
// the target holds the complete old list or the complete new one, or, only while it was
// overwritten in place, a complete backup beside it that the next start restores; nothing
// else is left. Once as the owner of the folder (a new file replaces the old), once with
// a hard-linked target, which only overwriting in place can serve.
TEST(ExportFaults, AKillAtAnyMomentLeavesOldOrNew) {
    constexpr size_t kChunks = 6;
    const std::string list = test::ListBytes(400000);
    const std::string oldList = "[Alt]\r\n001 - frueher\r\n";
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "replaced");
        TempTree tree;
        TempTree state;
        const std::string target = tree.path("liste.txt");
        const size_t names = inPlace ? 2 : 1;
        const std::string report = RunInChild([&]() -> std::string {
            setenv("XDG_STATE_HOME", state.root().c_str(), 1);
            // Orphaned grandchildren come to this process, so it can wait for them all.
            prctl(PR_SET_CHILD_SUBREAPER, 1);
            std::string seen;
            // The moments: before chunk k (0 .. kChunks-1), after the last chunk, done.
            for (size_t moment = 0; moment <= kChunks + 1; ++moment) {
                Write(target, oldList, 0666);
                unlink(tree.path("zweiter-name.txt").c_str());
                if (inPlace) {
                    link(target.c_str(), tree.path("zweiter-name.txt").c_str());
                }
                test::PacePipes pipes;
                const pid_t program = fork();
                if (program == 0) {
                    setpgid(0, 0);
                    const test::PacedContent content(list, kChunks, pipes.pace[0], pipes.report[1]);
                    _exit(platform::ReplaceFile(target, content) == 0 ? 0 : 1);
                }
                setpgid(program, program);
                pipes.closeWriterEnds();
                for (int got; (got = pipes.nextReport()) >= 0;) {
                    if (static_cast<size_t>(got) == moment ||
                        (got == test::PacedContent::kAllWritten && moment == kChunks)) {
                        break;
                    }
                    if (got != test::PacedContent::kAllWritten) {
                        pipes.release();
                    }
                }
                if (moment == kChunks + 1) {
                    waitpid(program, nullptr, 0);  // the export is done
                }
                kill(-program, SIGKILL);
                while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
                }
                seen += KillOutcome(target, oldList, list);
                if (inPlace &&
                    test::ReadFile(tree.path("zweiter-name.txt")) != test::ReadFile(target)) {
                    seen += '2';  // the other name no longer shows the same file
                }
                if (test::KernelOrder(tree.root()).size() != names) {
                    seen += '+';
                }
            }
            return seen;
        });
        std::cout << "kills " << (inPlace ? "in place" : "replaced") << ": " << report << "\n";
        EXPECT_EQ(report.find_first_not_of(inPlace ? "onbt" : "on"), std::string::npos)
            << report << " (o old, n new, b old and a backup, t torn and a backup that "
            << "restores it, X damaged, + a stray file, 2 a hard link broken)";
        EXPECT_NE(report.find('n'), std::string::npos) << "no kill found the new list";
        if (inPlace) {
            // Only overwriting in place tears the target and makes a backup: both were seen.
            EXPECT_NE(report.find('t'), std::string::npos) << "the in-place path did not run";
            EXPECT_NE(report.find('b'), std::string::npos) << report;
        } else {
            EXPECT_NE(report.find('o'), std::string::npos) << "no kill found the old list";
        }
    }
}

// The code and message of an export of `bytes`, or "written".
std::string BytesOutcome(const std::string& target, std::string_view bytes) {
    try {
        WriteFileBytes(target, bytes);
        return "written";
    } catch (const EInOutError& error) {
        return std::to_string(error.code()) + " " + error.what();
    }
}

// In a child: a private mount namespace with a small btrfs (an image file on a loop
// device) at `mountPoint`; "" or why it cannot be made.
std::string MountSmallBtrfs(const std::string& image, const std::string& mountPoint) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return "no private mount namespace here";
    }
    const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool sized = fd >= 0 && ftruncate(fd, 160 << 20) == 0;
    if (fd >= 0) {
        close(fd);
    }
    if (!sized || std::system(("mkfs.btrfs -q -f '" + image + "' >/dev/null 2>&1").c_str()) != 0) {
        return "mkfs.btrfs cannot make a file system here";
    }
    if (std::system(
            ("mount -o loop '" + image + "' '" + mountPoint + "' >/dev/null 2>&1").c_str()) != 0) {
        return "no loop device or no btrfs in this kernel";
    }
    return {};
}

// Fills the file system of `folder` with files of 1 MB, then frees `freeMb` of them again.
void FillAndFree(const std::string& folder, int freeMb) {
    const std::string block(1 << 20, 'f');
    int count = 0;
    for (;; ++count) {
        const std::string name = folder + "/fuellung" + std::to_string(count);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT, 0644);
        const bool full =
            fd < 0 || write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()) ||
            fsync(fd) != 0;
        if (fd >= 0) {
            close(fd);
        }
        if (full) {
            break;
        }
    }
    for (int i = 0; i < freeMb && i < count; ++i) {
        unlink((folder + "/fuellung" + std::to_string(i)).c_str());
    }
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    syncfs(fd);
    close(fd);
}

// A nearly full copy-on-write file system (btrfs): the new list does not fit beside the
// old one, and overwriting the old one in place would need new space too. The export
// says "Zu wenig Speicherplatz" and the old list stays as it was, also where the target
// is hard-linked and could only be overwritten in place.
TEST(ExportFaults, NearlyFullCopyOnWriteFileSystem) {
    const std::string oldList = test::ListBytes(250000, "[Alt] 001 - ein frueheres Lied");
    const std::string list = test::ListBytes(300000);
    for (const bool hardLinked : {false, true}) {
        SCOPED_TRACE(hardLinked ? "hard-linked" : "one name");
        TempTree tree;
        TempTree state;
        tree.folder("mnt");
        const std::string mountPoint = tree.path("mnt");
        const std::string outcome = RunInChild([&]() -> std::string {
            setenv("XDG_STATE_HOME", state.root().c_str(), 1);
            if (const std::string why = MountSmallBtrfs(tree.path("btrfs.img"), mountPoint);
                !why.empty()) {
                return "skip: " + why;
            }
            const std::string target = mountPoint + "/liste.txt";
            Write(target, oldList);
            if (hardLinked) {
                link(target.c_str(), (mountPoint + "/zweiter-name.txt").c_str());
            }
            FillAndFree(mountPoint, 3);
            std::string result = BytesOutcome(target, list);
            const std::string content = test::ReadFile(target);
            result += content == oldList ? " | old"
                      : content == list  ? " | new"
                                         : " | damaged: " + std::to_string(content.size());
            return result;
        });
        if (outcome.rfind("skip", 0) == 0) {
            GTEST_SKIP() << outcome;
        }
        EXPECT_EQ(outcome, "101 Zu wenig Speicherplatz | old");
    }
}

// More extended attributes than the kernel hands out in one list (over 64 KiB of names,
// which btrfs holds): the file is not replaced by one that would lose them; it is
// overwritten in place and keeps every one.
TEST(ExportFaults, AttributesBeyondTheKernelsListLimitAreKept) {
    TempTree tree;
    TempTree state;
    tree.folder("mnt");
    const std::string mountPoint = tree.path("mnt");
    const std::string list = test::ListBytes(1000);
    const std::string outcome = RunInChild([&]() -> std::string {
        setenv("XDG_STATE_HOME", state.root().c_str(), 1);
        if (const std::string why = MountSmallBtrfs(tree.path("btrfs.img"), mountPoint);
            !why.empty()) {
            return "skip: " + why;
        }
        const std::string target = mountPoint + "/liste.txt";
        Write(target, "alt");
        constexpr int kAttributes = 300;
        for (int i = 0; i < kAttributes; ++i) {
            const std::string name = "user." + std::to_string(i) + std::string(230, 'a');
            if (setxattr(target.c_str(), name.c_str(), "w", 1, 0) != 0) {
                return "skip: this btrfs refuses so many attributes";
            }
        }
        if (listxattr(target.c_str(), nullptr, 0) <= 65536) {
            return "skip: the list of names stays within 64 KiB here";
        }
        std::string result = BytesOutcome(target, list);
        int kept = 0;
        for (int i = 0; i < kAttributes; ++i) {
            const std::string name = "user." + std::to_string(i) + std::string(230, 'a');
            char value[4];
            kept += getxattr(target.c_str(), name.c_str(), value, sizeof value) == 1 ? 1 : 0;
        }
        result += " | " + std::to_string(kept) + " kept";
        result += test::ReadFile(target) == list ? " | new" : " | not new";
        result += " | " + std::to_string(test::KernelOrder(mountPoint).size()) + " files";
        return result;
    });
    if (outcome.rfind("skip", 0) == 0) {
        GTEST_SKIP() << outcome;
    }
    EXPECT_EQ(outcome, "written | 300 kept | new | 1 files");
}

// A lowered file-size limit (ulimit -f): a list that would exceed it is refused before
// anything is written, with its own message, also where the file is overwritten in place;
// an old file whose backup would exceed it is not overwritten.
TEST(ExportFaults, ALoweredFileSizeLimit) {
    struct Row {
        const char* what;
        size_t oldBytes;  // 0: no old file
        bool hardLinked;
        size_t newLines;
        const char* expected;
    };
    constexpr rlim_t kLimit = 64 * 1024;
    const char* tooLarge = "223 Die Datei überschreitet die erlaubte Dateigröße";
    const Row rows[] = {
        {"new file over the limit", 0, false, 4000, tooLarge},
        {"replacing, new list over the limit", 100, false, 4000, tooLarge},
        {"in place, new list over the limit", 100, true, 4000, tooLarge},
        {"in place, old list over the limit", 200000, true, 10, tooLarge},
        {"in place, both within the limit", 100, true, 1000, "written"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempTree tree;
        TempTree state;
        const std::string target = tree.path("liste.txt");
        const std::string oldList =
            test::ListBytes(row.oldBytes / 32 + 1, "[Alt] 001 - fr\xC3\xBCher Lied");
        const std::string list = test::ListBytes(row.newLines);
        const std::string outcome = RunInChild([&]() -> std::string {
            setenv("XDG_STATE_HOME", state.root().c_str(), 1);
            if (row.oldBytes > 0) {
                Write(target, oldList);
                if (row.hardLinked) {
                    link(target.c_str(), tree.path("zweiter-name.txt").c_str());
                }
            }
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{kLimit, kLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                return "cannot lower the limit";
            }
            std::string result = BytesOutcome(target, list);
            const std::string content = test::ReadFile(target);
            result += row.oldBytes == 0 && content.empty() ? " | none"
                      : content == oldList                 ? " | old"
                      : content == list                    ? " | new"
                                                           : " | damaged";
            result += " | " + std::to_string(test::KernelOrder(tree.root()).size()) + " files";
            return result;
        });
        const std::string content = std::string(row.expected) == "written" ? "new"
                                    : row.oldBytes == 0                    ? "none"
                                                                           : "old";
        const size_t files = row.oldBytes == 0 && content == "none" ? 0 : row.hardLinked ? 2 : 1;
        EXPECT_EQ(outcome, std::string(row.expected) + " | " + content + " | " +
                               std::to_string(files) + " files");
    }
}

// Temporary files that a killed export left (where a file system has no unnamed files)
// are removed by the next export into their folder; one that another export still
// writes is locked and stays, and so does every other name.
TEST(ExportFaults, LeftTemporaryFilesAreRemovedByTheNextExport) {
    TempTree tree;
    tree.file("liste.txt", "alt");
    tree.file(".spurfix-Ab3dE6gH", "halb");
    tree.file(".spurfix-Zz9yY8xX", "wird geschrieben");
    tree.file(".spurfix-kurz", "fremd");
    tree.file(".spurfix-Ab3dE6gH.txt", "fremd");
    const int busy = open(tree.path(".spurfix-Zz9yY8xX").c_str(), O_RDWR);
    ASSERT_GE(busy, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(busy, F_OFD_SETLK, &lock), 0);
    EXPECT_EQ(BytesOutcome(tree.path("liste.txt"), "neu\r\n"), "written");
    close(busy);
    std::vector<std::string> names = test::KernelOrder(tree.root());
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {".spurfix-Ab3dE6gH.txt", ".spurfix-Zz9yY8xX",
                                               ".spurfix-kurz", "liste.txt"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(tree.read("liste.txt"), "neu\r\n");
}

// A real kill on a file system without unnamed files (bindfs, a FUSE file system) leaves
// a temporary file; the next export into that folder removes it.
TEST(ExportFaults, AKillWithoutUnnamedFilesLeavesNothingForLong) {
    TempTree tree;
    tree.folder("echt");
    tree.folder("mnt");
    const std::string mountPoint = tree.path("mnt");
    const std::string list = test::ListBytes(100000);
    const std::string outcome = RunInChild([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return "skip: no private mount namespace here";
        }
        if (std::system(("bindfs '" + tree.path("echt") + "' '" + mountPoint + "' >/dev/null 2>&1")
                            .c_str()) != 0) {
            return "skip: bindfs cannot mount here";
        }
        std::string result;
        const int probe = open(mountPoint.c_str(), O_TMPFILE | O_WRONLY, 0600);
        if (probe >= 0) {
            close(probe);
            result = "skip: this bindfs makes unnamed files";
        } else {
            const std::string target = mountPoint + "/liste.txt";
            Write(target, "alt\r\n");
            test::PacePipes pipes;
            pipes.release();
            const pid_t program = fork();
            if (program == 0) {
                setpgid(0, 0);
                const test::PacedContent content(list, 4, pipes.pace[0], pipes.report[1]);
                _exit(platform::ReplaceFile(target, content) == 0 ? 0 : 1);
            }
            setpgid(program, program);
            pipes.closeWriterEnds();
            while (pipes.nextReport() == 0) {  // wait for the report before the second chunk
            }
            kill(-program, SIGKILL);
            waitpid(program, nullptr, 0);
            result = test::ReadFile(target) == "alt\r\n" ? "old" : "damaged";
            result += " | " + std::to_string(test::KernelOrder(mountPoint).size()) + " files";
            result += " | " + BytesOutcome(target, "neu\r\n");
            result += " | " + std::to_string(test::KernelOrder(mountPoint).size()) + " files";
        }
        std::system(("fusermount -u '" + mountPoint + "' >/dev/null 2>&1 || umount '" + mountPoint +
                     "' >/dev/null 2>&1")
                        .c_str());
        return result;
    });
    if (outcome.rfind("skip", 0) == 0) {
        GTEST_SKIP() << outcome;
    }
    EXPECT_EQ(outcome, "old | 2 files | written | 1 files");
}

}  // namespace
}  // namespace spurfix
