// Every way an export can fail or be interrupted must leave the user's old list whole,
// and a replaced file keeps what belongs to it. The faults are real: small tmpfs
// mounts in a private mount namespace, another user in a child process, kills.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sched.h>
#include <chrono>
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

std::string Read(const std::string& path) {
    std::string content;
    const int fd = open(path.c_str(), O_RDONLY);
    char block[65536];
    for (ssize_t got; fd >= 0 && (got = read(fd, block, sizeof block)) > 0;) {
        content.append(block, static_cast<size_t>(got));
    }
    if (fd >= 0) {
        close(fd);
    }
    return content;
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
            const std::string content = Read(target);
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

// What belongs to a replaced file stays with it: its other names, its link, its ACL
// and extended attributes, its owner and group.
TEST(ExportFaults, ReplacingKeepsWhatBelongsToTheFile) {
    TempTree tree;
    const PreviewList preview = ListOfBytes(3);
    const std::string list = FileText(preview);

    // Hard links: every name shows the new list.
    Write(tree.path("liste.txt"), "alt");
    ASSERT_EQ(link(tree.path("liste.txt").c_str(), tree.path("zweiter-name.txt").c_str()), 0);
    EXPECT_EQ(test::ExportOutcome(tree.path("liste.txt"), preview), "written");
    EXPECT_EQ(Read(tree.path("zweiter-name.txt")), list);

    // A link to a missing file creates that file and stays a link.
    tree.link("neu.txt", "verweis.txt");
    EXPECT_EQ(test::ExportOutcome(tree.path("verweis.txt"), preview), "written");
    struct stat info {};
    ASSERT_EQ(lstat(tree.path("verweis.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(Read(tree.path("neu.txt")), list);

    // A link that leads in a circle is refused and changes nothing.
    tree.link("kreis-b", "kreis-a");
    tree.link("kreis-a", "kreis-b");
    EXPECT_EQ(test::ExportOutcome(tree.path("kreis-a"), preview),
              "1921 Die Verknüpfung führt im Kreis und nennt keine Datei");
    ASSERT_EQ(lstat(tree.path("kreis-a").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    // An ACL and an extended attribute; the mode's group bits hold the ACL's mask.
    Write(tree.path("acl.txt"), "alt", 0640);
    const std::string acl = AclBytes({{0x01, 6, UINT32_MAX},
                                      {0x02, 6, kNobody},
                                      {0x04, 4, UINT32_MAX},
                                      {0x10, 6, UINT32_MAX},
                                      {0x20, 0, UINT32_MAX}});
    const bool aclSet = setxattr(tree.path("acl.txt").c_str(), "system.posix_acl_access",
                                 acl.data(), acl.size(), 0) == 0;
    const bool userSet = setxattr(tree.path("acl.txt").c_str(), "user.herkunft", "cd", 2, 0) == 0;
    ASSERT_EQ(stat(tree.path("acl.txt").c_str(), &info), 0);
    const mode_t modeBefore = info.st_mode & 07777;
    EXPECT_EQ(test::ExportOutcome(tree.path("acl.txt"), preview), "written");
    EXPECT_EQ(Read(tree.path("acl.txt")), list);
    ASSERT_EQ(stat(tree.path("acl.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, modeBefore);
    if (aclSet) {
        EXPECT_EQ(Xattr(tree.path("acl.txt"), "system.posix_acl_access"), acl);
    }
    if (userSet) {
        EXPECT_EQ(Xattr(tree.path("acl.txt"), "user.herkunft"), "cd");
    }
    EXPECT_EQ(test::KernelOrder(tree.root()).size(), 7U) << "no temporary file is left";
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
    EXPECT_EQ(Read(target), FileText(preview));
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

}  // namespace
}  // namespace spurfix
