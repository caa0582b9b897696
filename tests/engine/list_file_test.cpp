#include "engine/list_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sched.h>

#include "export_outcome.h"
#include "support/child_process.h"
#include "support/temp_tree.h"

namespace spurfix {
namespace {

using test::RunInChild;
using test::TempTree;

PreviewList MakePreview(std::initializer_list<std::pair<std::string_view, EntryKind>> lines) {
    PreviewList preview;
    for (const auto& [text, kind] : lines) {
        preview.append(text, kind);
    }
    return preview;
}

PreviewList WorkedExample() {
    return MakePreview({{"[Live]", EntryKind::DirectoryLabel},
                        {"001 - Hit", EntryKind::File},
                        {"[Rock]", EntryKind::DirectoryLabel},
                        {"002 - Intro", EntryKind::File},
                        {"003 - Song", EntryKind::File}});
}

TEST(ListFile, WorkedExampleIsFiftyTwoBytes) {
    TempTree tree;
    WriteListFile(tree.path("list.txt"), WorkedExample());
    const std::string content = tree.read("list.txt");
    EXPECT_EQ(content.size(), 52U);
    EXPECT_EQ(content, "[Live]\r\n001 - Hit\r\n[Rock]\r\n002 - Intro\r\n003 - Song\r\n");
}

TEST(ListFile, BytesSpacesAndEmptyLinesAreWrittenAsTheyAre) {
    TempTree tree;
    const PreviewList preview = MakePreview({{"  Gr\xC3\xBC\xC3\x9F  ", EntryKind::File},
                                             {"\xFC\xFF\x01", EntryKind::File},
                                             {"", EntryKind::DirectoryLabel}});
    WriteListFile(tree.path("list.txt"), preview);
    EXPECT_EQ(tree.read("list.txt"), "  Gr\xC3\xBC\xC3\x9F  \r\n\xFC\xFF\x01\r\n\r\n");
}

TEST(ListFile, EmptyPreviewEmptiesAnExistingFile) {
    TempTree tree;
    tree.file("list.txt", "old content");
    WriteListFile(tree.path("list.txt"), PreviewList{});
    EXPECT_EQ(tree.read("list.txt"), "");
}

TEST(ListFile, RewritingALongerFileLeavesNothingOfIt) {
    TempTree tree;
    tree.file("list.txt", std::string(10000, 'x'));
    WriteListFile(tree.path("list.txt"), MakePreview({{"a", EntryKind::File}}));
    EXPECT_EQ(tree.read("list.txt"), "a\r\n");
}

TEST(ListFile, LargeListCrossesTheBufferIntact) {
    TempTree tree;
    PreviewList preview;
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        const std::string line = std::to_string(i) + std::string(static_cast<size_t>(i % 97), 'z');
        preview.append(line, EntryKind::File);
        expected += line + "\r\n";
    }
    preview.append(std::string(200000, 'L'), EntryKind::File);  // larger than the buffer
    expected += std::string(200000, 'L') + "\r\n";
    WriteListFile(tree.path("big.txt"), preview);
    EXPECT_EQ(tree.read("big.txt"), expected);
}

TEST(ListFile, ReplacingKeepsPermissionsAndFollowsALink) {
    TempTree tree;
    tree.file("real.txt", "old");
    chmod(tree.path("real.txt").c_str(), 0640);
    tree.link("real.txt", "link.txt");
    WriteListFile(tree.path("link.txt"), MakePreview({{"neu", EntryKind::File}}));
    struct stat info {};
    ASSERT_EQ(lstat(tree.path("link.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(tree.read("real.txt"), "neu\r\n");
    ASSERT_EQ(stat(tree.path("real.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640U);
    EXPECT_EQ(test::KernelOrder(tree.root()).size(), 2U) << "no temporary file is left behind";
}

TEST(ListFile, ErrorsCarryTheirCodeAndGermanMessage) {
    struct ErrorCase {
        int errnoValue;
        int code;
        std::string message;
    };
    const ErrorCase cases[] = {
        {ENOENT, 3, "Ungültiger Dateiname"},
        {ENOTDIR, 3, "Ungültiger Dateiname"},
        {ENAMETOOLONG, 3, "Ungültiger Dateiname"},
        {EINVAL, 3, "Ungültiger Dateiname"},
        {EMFILE, 4, "Zu viele geöffnete Dateien"},
        {ENFILE, 4, "Zu viele geöffnete Dateien"},
        {EACCES, 5, "Dateizugriff verweigert"},
        {EPERM, 5, "Dateizugriff verweigert"},
        {EROFS, 5, "Dateizugriff verweigert"},
        {EISDIR, 5, "Dateizugriff verweigert"},
        {ETXTBSY, 5, "Dateizugriff verweigert"},
        {ENOSPC, 101, "Zu wenig Speicherplatz"},
        {EDQUOT, 101, "Zu wenig Speicherplatz"},
        {EFBIG, 223, "Die Datei überschreitet die erlaubte Dateigröße"},
        {EIO, 5, "E/A-Fehler 5"},
        {ENXIO, 6, "E/A-Fehler 6"},
    };
    for (const ErrorCase& c : cases) {
        const EInOutError error = EInOutError::FromErrno(c.errnoValue);
        EXPECT_EQ(error.code(), c.code) << c.errnoValue;
        EXPECT_EQ(error.what(), c.message) << c.errnoValue;
    }
}

// Each failing export keeps the target's earlier content, and a later export succeeds.
TEST(ListFile, FailingTargets) {
    TempTree tree;
    tree.folder("folder");
    tree.file("plain", "earlier");
    mkfifo(tree.path("fifo").c_str(), 0644);
    struct Target {
        std::string fileName;
        std::string expected;
    };
    const Target targets[] = {
        {tree.path("missing/list.txt"), "3 Ungültiger Dateiname"},
        {tree.path("folder"), "5 Dateizugriff verweigert"},
        {tree.path("plain/list.txt"), "3 Ungültiger Dateiname"},
        {tree.path("fifo"), "6 E/A-Fehler 6"},
        {"", "3 Ungültiger Dateiname"},
    };
    for (const Target& t : targets) {
        EXPECT_EQ(test::ExportOutcome(t.fileName, WorkedExample()), t.expected) << t.fileName;
    }
    EXPECT_EQ(tree.read("plain"), "earlier");
    EXPECT_EQ(test::ExportOutcome(tree.path("good.txt"), WorkedExample()), "written");
}

TEST(ListFile, DiskFullOnADevice) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "/dev/full cannot be written here";
    }
    EXPECT_EQ(test::ExportOutcome("/dev/full", WorkedExample()), "101 Zu wenig Speicherplatz");
}

TEST(ListFile, ReadOnlyFileForAUserWithoutRights) {
    TempTree tree;
    chmod(tree.root().c_str(), 0777);
    tree.file("readonly.txt", "earlier");
    chmod(tree.path("readonly.txt").c_str(), 0444);
    const std::string outcome = RunInChild([&] {
        if (test::RunsAsRoot() && !test::BecomeNobody()) {
            return std::string("skip");
        }
        return test::ExportOutcome(tree.path("readonly.txt"), WorkedExample());
    });
    if (outcome == "skip") {
        GTEST_SKIP() << "cannot drop root's rights";
    }
    EXPECT_EQ(outcome, "5 Dateizugriff verweigert");
    EXPECT_EQ(tree.read("readonly.txt"), "earlier");
}

TEST(ListFile, ImmutableFile) {
    TempTree tree;
    tree.file("fixed.txt", "earlier");
    const int fd = open(tree.path("fixed.txt").c_str(), O_RDONLY);
    int flags = 0;
    const bool immutable = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                           (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (!immutable) {
        if (fd >= 0) {
            close(fd);
        }
        GTEST_SKIP() << "this file system or user cannot make a file immutable";
    }
    const std::string outcome = test::ExportOutcome(tree.path("fixed.txt"), WorkedExample());
    flags &= ~FS_IMMUTABLE_FL;
    ioctl(fd, FS_IOC_SETFLAGS, &flags);
    close(fd);
    EXPECT_EQ(outcome, "5 Dateizugriff verweigert");
    EXPECT_EQ(tree.read("fixed.txt"), "earlier");
}

// A small tmpfs in a private mount namespace: full, and mounted read-only.
TEST(ListFile, FullAndReadOnlyFileSystems) {
    TempTree tree;
    tree.folder("mnt");
    const std::string mountPoint = tree.path("mnt");
    const std::string outcome = RunInChild([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("spurfix", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
            return "skip";
        }
        const std::string target = mountPoint + "/list.txt";
        {
            const int fd = open(target.c_str(), O_WRONLY | O_CREAT, 0644);
            (void)!write(fd, "earlier", 7);
            close(fd);
        }
        const std::string filler = mountPoint + "/filler";
        const int fill = open(filler.c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'f');
        while (write(fill, block.data(), block.size()) > 0) {
        }
        close(fill);
        PreviewList big;
        for (int i = 0; i < 10000; ++i) {
            big.append("a line long enough to need more than one page of the file system",
                       EntryKind::File);
        }
        std::string result = test::ExportOutcome(target, big);
        std::string content(7, '\0');
        const int check = open(target.c_str(), O_RDONLY);
        const bool intact = read(check, content.data(), 7) == 7 && content == "earlier";
        close(check);
        result += intact ? " | intact" : " | damaged";
        unlink(filler.c_str());
        if (mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            return result + " | no read-only";
        }
        return result + " | " + test::ExportOutcome(target, big);
    });
    if (outcome == "skip") {
        GTEST_SKIP() << "no private mount namespace here";
    }
    EXPECT_EQ(outcome, "101 Zu wenig Speicherplatz | intact | 5 Dateizugriff verweigert");
}

}  // namespace
}  // namespace spurfix
