#include "engine/directory_walk.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "support/child_process.h"
#include "support/temp_tree.h"

namespace spurfix {
namespace {

using test::TempTree;

class RecordingObserver : public WalkObserver {
  public:
    std::vector<std::string> trace;
    std::vector<std::pair<int32_t, int32_t>> updates;
    size_t stopAtUpdate = 0;  // 0: never
    size_t scanLinesAtStop = 0;
    const ScanList* scanList = nullptr;

    void folderEntered(std::string_view folderPath) override { trace.emplace_back(folderPath); }
    void showCounts(int32_t files, int32_t folders) override {
        updates.emplace_back(files, folders);
        if (stopAtUpdate != 0 && updates.size() == stopAtUpdate && scanList != nullptr) {
            scanLinesAtStop = scanList->size();
        }
    }
    bool stopRequested() override { return stopAtUpdate != 0 && updates.size() >= stopAtUpdate; }
};

std::vector<std::string> Lines(const ScanList& list) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < list.size(); ++i) {
        lines.emplace_back(list[i]);
    }
    return lines;
}

// What the walk must list, from an independent walker: the standard library's
// recursive iterator also goes depth first, each folder before its contents, in the
// kernel's order.
std::vector<std::string> Expected(const std::string& root) {
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        lines.push_back(entry.path().string() + (entry.is_directory() ? "/" : ""));
    }
    return lines;
}

struct Reading {
    ScanList scanList;
    RecordingObserver observer;
    WalkCounts counts;
};

std::unique_ptr<Reading> Read(const std::string& source, size_t stopAtUpdate = 0) {
    auto reading = std::make_unique<Reading>();
    reading->observer.stopAtUpdate = stopAtUpdate;
    reading->observer.scanList = &reading->scanList;
    reading->counts = ReadSource(source, reading->scanList, reading->observer);
    return reading;
}

TEST(DirectoryWalk, ProgressRuleTable) {
    const std::vector<int32_t> due = {0,  13, 14, 16, 17, 18, 20, 21, 25, 26, 27, 29, 30, 31,
                                      33, 34, 35, 37, 38, 39, 40, 41, 42, 43, 44, 47, 48, 50};
    for (int32_t f = 0; f <= 50; ++f) {
        const bool listed = std::find(due.begin(), due.end(), f) != due.end();
        EXPECT_EQ(ProgressDue(f), listed) << f;
    }
    int passing = 0;
    for (int32_t f = 0; f < 4641; ++f) {
        passing += ProgressDue(f) ? 1 : 0;
    }
    EXPECT_EQ(passing, 3197);
}

TEST(DirectoryWalk, EmptySource) {
    TempTree tree;
    const auto r = Read(tree.root());
    EXPECT_TRUE(r->scanList.empty());
    EXPECT_EQ(r->observer.trace, std::vector<std::string>{tree.root()});
    EXPECT_EQ(r->observer.updates.back(), std::make_pair(0, 0));
}

TEST(DirectoryWalk, FolderBeforeItsContentsInKernelOrder) {
    TempTree tree;
    tree.folder("Pop");
    tree.file("Pop/A.mp3");
    tree.file("B.mp3");
    tree.folder("Leer");
    tree.folder(".versteckt");
    tree.file(".hidden");
    const auto r = Read(tree.root());
    EXPECT_EQ(Lines(r->scanList), Expected(tree.root()));
    EXPECT_EQ(r->scanList.size(), 6U);
    EXPECT_EQ(r->counts.files, 3);
    EXPECT_EQ(r->counts.folders, 3);
    EXPECT_EQ(r->observer.updates.back(), std::make_pair(3, 3));
    // The trace: the source first, then every folder as it is entered.
    std::vector<std::string> folders = {tree.root()};
    for (const std::string& line : Lines(r->scanList)) {
        if (line.back() == '/') {
            folders.push_back(line);
        }
    }
    EXPECT_EQ(r->observer.trace, folders);
}

// The kernel delivers "." and ".." too, wherever it likes; at 0 files they update.
TEST(DirectoryWalk, TwelveFilesGiveNoUpdateBeforeTheClosingOne) {
    TempTree tree;
    for (int i = 0; i < 12; ++i) {
        tree.file("f" + std::to_string(i));
    }
    const auto r = Read(tree.root());
    const auto& updates = r->observer.updates;
    ASSERT_FALSE(updates.empty());
    EXPECT_EQ(updates.back(), std::make_pair(12, 0));
    for (size_t i = 0; i + 1 < updates.size(); ++i) {
        EXPECT_EQ(updates[i].first, 0) << "update " << i;
    }
    EXPECT_LE(updates.size(), 3U) << "at most \".\" and \"..\" at 0 files, then the closing one";
}

TEST(DirectoryWalk, ThirteenFilesGiveOneUpdateAfterTheThirteenth) {
    TempTree tree;
    for (int i = 0; i < 13; ++i) {
        tree.file("f" + std::to_string(i));
    }
    const auto r = Read(tree.root());
    const auto& updates = r->observer.updates;
    const auto thirteen = std::count(updates.begin(), updates.end(), std::make_pair(13, 0));
    EXPECT_EQ(thirteen, 2) << "the check after the 13th file, then the closing update";
    EXPECT_EQ(std::count_if(updates.begin(), updates.end(),
                            [](auto u) { return u.first > 0 && u.first < 13; }),
              0);
}

TEST(DirectoryWalk, FoldersWithoutFilesUpdateAfterEveryEntry) {
    TempTree tree;
    tree.folder("a/b");
    tree.folder("c");
    const auto r = Read(tree.root());
    // Root: . .. a c (4 entries, each a check at 0 files) + closing; a: . .. b + closing;
    // b: . .. + closing; c: . .. + closing.
    EXPECT_EQ(r->observer.updates.size(), 4U + 1 + 3 + 1 + 2 + 1 + 2 + 1);
}

TEST(DirectoryWalk, StopKeepsWhatWasReadAndAddsNothing) {
    TempTree tree;
    for (int d = 0; d < 5; ++d) {
        tree.folder("d" + std::to_string(d));
    }
    for (int d = 0; d < 5; ++d) {
        for (int f = 0; f < 40; ++f) {
            tree.file("d" + std::to_string(d) + "/f" + std::to_string(f));
        }
    }
    const auto full = Read(tree.root());
    for (size_t stopAt : {1U, 2U, 7U, 30U}) {
        const auto stopped = Read(tree.root(), stopAt);
        const std::vector<std::string> lines = Lines(stopped->scanList);
        EXPECT_EQ(lines.size(), stopped->observer.scanLinesAtStop) << "stop at " << stopAt;
        const std::vector<std::string> all = Lines(full->scanList);
        ASSERT_LE(lines.size(), all.size());
        EXPECT_TRUE(std::equal(lines.begin(), lines.end(), all.begin())) << "stop at " << stopAt;
        EXPECT_LT(lines.size(), all.size());
    }
}

// A stop while the readers wait for room (more folders listed ahead of the walk than
// they may hold): the reading ends, and the readers with it.
TEST(DirectoryWalk, StopWhileTheReadersWaitForRoom) {
    TempTree tree;
    for (int d = 0; d < 600; ++d) {
        tree.folder("d" + std::to_string(d));
    }
    class SlowStart : public RecordingObserver {
      public:
        void folderEntered(std::string_view path) override {
            RecordingObserver::folderEntered(path);
            if (trace.size() == 1) {
                // Time enough for the readers to fill their window and wait.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        }
    };
    const std::string outcome = test::RunInChild([&]() -> std::string {
        alarm(60);  // readers that never hear of the stop keep the reading from ending
        SlowStart observer;
        observer.stopAtUpdate = 2;
        ScanList scanList;
        ReadSource(tree.root(), scanList, observer);
        return observer.trace.size() < 10 && scanList.size() < 10 ? "ended early" : "read on";
    });
    EXPECT_EQ(outcome, "ended early");
}

TEST(DirectoryWalk, LinksFifosAndSockets) {
    TempTree tree;
    tree.folder("music/album");
    tree.file("music/album/song.mp3");
    tree.link("music", "link-to-folder");
    tree.link("music/album/song.mp3", "link-to-file");
    tree.link("nowhere", "broken-link");
    tree.link("..", "music/album/up");  // leads back to an ancestor
    tree.link(".", "music/self");
    mkfifo(tree.path("fifo").c_str(), 0644);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.path("socket");
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    const bool haveSocket = bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;

    const auto r = Read(tree.root());
    const std::vector<std::string> lines = Lines(r->scanList);
    std::vector<std::string> expected;
    for (const std::string& line : test::ReferenceLines(tree.root())) {
        expected.push_back(tree.path(line));
    }
    EXPECT_EQ(lines, expected);
    auto count = [&](const std::string& suffix) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.size() >= suffix.size() &&
                   line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
        });
    };
    // The folder and the link to it lead to one folder: its contents come once, under
    // whichever the kernel lists first; the other has its line and nothing below it.
    EXPECT_EQ(count("/album/song.mp3"), 1);
    EXPECT_EQ(count("/album/"), 1);
    EXPECT_EQ(count("music/"), 1);
    EXPECT_EQ(count("link-to-folder/"), 1);
    // Links back up the tree: a line each, no entries.
    EXPECT_EQ(count("/album/up/"), 1);
    EXPECT_EQ(count("/self/"), 1);
    EXPECT_EQ(count("/up/album/"), 0);
    EXPECT_EQ(count("/self/album/"), 0);
    EXPECT_EQ(count("link-to-file"), 1);
    EXPECT_EQ(count("broken-link"), 1);
    EXPECT_EQ(count("fifo"), 1);
    EXPECT_EQ(count("socket"), haveSocket ? 1 : 0);
    EXPECT_EQ(r->observer.trace.size(), static_cast<size_t>(r->counts.folders) + 1)
        << "every folder line, entered or not, has its trace line";
    close(sock);
}

TEST(DirectoryWalk, NamesAreKeptAsBytes) {
    TempTree tree;
    const std::string names[] = {
        "Zeilen\numbruch", "nicht-utf8-\xFC\xFF", "Gr\xC3\xBC\xC3\x9F", " leer ",
        "-strich",         "\"zitat\",komma"};
    for (const std::string& name : names) {
        tree.file(name);
    }
    const auto r = Read(tree.root());
    EXPECT_EQ(Lines(r->scanList), Expected(tree.root()));
    EXPECT_EQ(r->scanList.size(), std::size(names));
}

TEST(DirectoryWalk, UnreadableFolderIsListedWithoutEntries) {
    TempTree tree;
    chmod(tree.root().c_str(), 0755);
    tree.folder("closed");
    tree.file("closed/secret.mp3");
    tree.file("open.mp3");
    chmod(tree.path("closed").c_str(), 0);
    const std::string outcome = test::RunInChild([&]() -> std::string {
        if (test::RunsAsRoot() && !test::BecomeNobody()) {
            return "skip";
        }
        const auto r = Read(tree.root());
        std::string result;
        for (const std::string& line : Lines(r->scanList)) {
            result += line.substr(tree.root().size()) + ";";
        }
        result += " trace " + std::to_string(r->observer.trace.size());
        result += " folders " + std::to_string(r->counts.folders);
        result += " unreadable " + std::to_string(r->counts.unreadableFolders);
        return result;
    });
    if (outcome == "skip") {
        GTEST_SKIP() << "cannot drop root's rights";
    }
    const bool closedFirst = test::KernelOrder(tree.root()).front() == "closed";
    EXPECT_EQ(outcome, std::string(closedFirst ? "closed/;open.mp3;" : "open.mp3;closed/;") +
                           " trace 2 folders 1 unreadable 1");
}

// Folders removed while the walk runs: it finishes, and lists only what existed.
TEST(DirectoryWalk, FoldersVanishingDuringTheWalk) {
    TempTree tree;
    for (int d = 0; d < 40; ++d) {
        tree.folder("d" + std::to_string(d));
        for (int f = 0; f < 30; ++f) {
            tree.file("d" + std::to_string(d) + "/f" + std::to_string(f));
        }
    }
    const std::vector<std::string> before = Expected(tree.root());

    class RemovingObserver : public RecordingObserver {
      public:
        std::string root;
        void showCounts(int32_t files, int32_t folders) override {
            RecordingObserver::showCounts(files, folders);
            if (updates.size() == 3) {
                std::filesystem::remove_all(root);
            }
        }
    } observer;
    observer.root = tree.root();
    ScanList scanList;
    ReadSource(tree.root(), scanList, observer);
    const std::vector<std::string> lines = Lines(scanList);
    EXPECT_LE(lines.size(), before.size());
    for (const std::string& line : lines) {
        EXPECT_NE(std::find(before.begin(), before.end(), line), before.end()) << line;
    }
}

TEST(DirectoryWalk, PathLongerThanTheKernelLimit) {
    TempTree tree;
    std::string relative;
    for (int level = 0; level < 20; ++level) {
        relative += std::string(250, static_cast<char>('a' + level)) + "/";
        ASSERT_EQ(mkdir(tree.path(relative).c_str(), 0755) == 0 || errno == ENAMETOOLONG, true);
        if (tree.path(relative).size() > 4000) {
            break;
        }
    }
    // Below the kernel's path limit, go on relative to the deepest folder.
    const std::string outcome = test::RunInChild([&]() -> std::string {
        if (chdir(tree.path(relative).c_str()) != 0) {
            return "chdir";
        }
        std::string inner;
        for (int level = 0; level < 5; ++level) {
            inner += std::string(250, static_cast<char>('A' + level)) + "/";
            if (mkdir(inner.c_str(), 0755) != 0) {
                return "mkdir";
            }
        }
        const int fd = open((inner + "song.mp3").c_str(), O_WRONLY | O_CREAT, 0644);
        close(fd);
        return "made";
    });
    ASSERT_EQ(outcome, "made");
    const auto r = Read(tree.root());
    ASSERT_FALSE(r->scanList.empty());
    const std::string_view deepest = r->scanList.back();
    EXPECT_GT(deepest.size(), 5000U);
    EXPECT_TRUE(deepest.ends_with("/song.mp3"));
    EXPECT_EQ(r->counts.files, 1);
}

// Deep trees read completely even where few descriptors may be open; the second
// sub-folder of every level makes the walk come back for more below its descent.
TEST(DirectoryWalk, DeepTreeWithFewDescriptors) {
    TempTree tree;
    const int depth = 2000;
    const std::string outcome = test::RunInChild([&]() -> std::string {
        if (chdir(tree.root().c_str()) != 0) {
            return "chdir";
        }
        for (int level = 0; level < depth; ++level) {
            if (mkdir("d", 0755) != 0 || (level % 7 == 0 && mkdir("e", 0755) != 0) ||
                chdir("d") != 0) {
                return "mkdir";
            }
            close(open("f", O_WRONLY | O_CREAT, 0644));
        }
        return "made";
    });
    ASSERT_EQ(outcome, "made");
    const std::string result = test::RunInChild([&]() -> std::string {
        const rlimit limit{256, 256};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return "rlimit";
        }
        const auto r = Read(tree.root());
        return std::to_string(r->counts.folders) + " folders " + std::to_string(r->counts.files) +
               " files";
    });
    const int extraFolders = (depth + 6) / 7;
    EXPECT_EQ(result, std::to_string(depth + extraFolders) + " folders " + std::to_string(depth) +
                          " files");
}

TEST(DirectoryWalk, FiftyThousandFilesInOneFolder) {
    TempTree tree;
    tree.folder("viele");
    for (int i = 0; i < 50000; ++i) {
        close(open(tree.path("viele/" + std::to_string(i) + ".mp3").c_str(), O_WRONLY | O_CREAT,
                   0644));
    }
    const auto r = Read(tree.root());
    EXPECT_EQ(r->counts.files, 50000);
    EXPECT_EQ(r->scanList.size(), 50001U);
    EXPECT_EQ(r->observer.updates.back(), std::make_pair(50000, 1));
}

// A tree nobody here wrote: the scan list equals what an independent walker lists, and
// every line of it is one that find -L prints.
TEST(DirectoryWalk, AgreesWithAnIndependentWalkerOnASystemFolder) {
    const std::string folder = "/usr/share/doc";
    if (access(folder.c_str(), R_OK) != 0) {
        GTEST_SKIP() << folder << " is missing";
    }
    const std::string command =
        "find -L " + folder +
        " -mindepth 1 \\( -type d -printf '%p/\\n' \\) -o -printf '%p\\n' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> found;
    char* line = nullptr;
    size_t capacity = 0;
    for (ssize_t length; (length = getline(&line, &capacity, pipe.get())) > 0;) {
        found.emplace(line, static_cast<size_t>(length - 1));
    }
    std::free(line);
    const auto r = Read(folder + "/");
    const std::vector<std::string> lines = Lines(r->scanList);
    const std::vector<std::string> reference = test::ReferenceLines(folder + "/");
    EXPECT_GT(lines.size(), 100U);
    ASSERT_EQ(lines.size(), reference.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], folder + "/" + reference[i]) << "line " << i;
        ASSERT_TRUE(found.count(lines[i]) == 1) << lines[i] << " is not in find -L";
    }
}

// Every folder is entered once per reading: a tree whose links fan out to 2^30 paths
// reads with each real file exactly once, and so does a folder mounted twice.
TEST(DirectoryWalk, EachFolderIsEnteredOnce) {
    TempTree tree;
    constexpr int kFolders = 31;
    for (int d = 0; d < kFolders; ++d) {
        tree.folder("d" + std::to_string(d));
        tree.file("d" + std::to_string(d) + "/lied.mp3");
    }
    for (int d = 0; d + 1 < kFolders; ++d) {
        for (const char* name : {"a", "b"}) {
            tree.link("../d" + std::to_string(d + 1), "d" + std::to_string(d) + "/" + name);
        }
    }
    const std::string outcome = test::RunInChild([&]() -> std::string {
        alarm(60);  // a walk that follows every path never ends
        const auto r = Read(tree.path("d0/"));
        const std::vector<std::string> lines = Lines(r->scanList);
        const auto files = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.size() >= 8 && l.compare(l.size() - 8, 8, "lied.mp3") == 0;
        });
        return std::to_string(files) + " files, " + std::to_string(lines.size()) + " lines";
    });
    // d0 holds its own file; each of the 30 folders behind the links comes once with its
    // file, and the second link to it gets a line without contents.
    EXPECT_EQ(outcome, "31 files, 91 lines");

    // The same folder mounted a second time inside the tree.
    tree.folder("quelle/album");
    tree.file("quelle/album/lied.mp3");
    tree.folder("quelle/zweimal");
    const std::string mounted = test::RunInChild([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(tree.path("quelle/album").c_str(), tree.path("quelle/zweimal").c_str(), nullptr,
                  MS_BIND, nullptr) != 0) {
            return "skip";
        }
        std::string result;
        for (const std::string& line : Lines(Read(tree.path("quelle/"))->scanList)) {
            result += line.substr(tree.path("quelle/").size()) + ";";
        }
        return result;
    });
    if (mounted == "skip") {
        GTEST_SKIP() << "no private mount namespace here";
    }
    const bool albumFirst = test::KernelOrder(tree.path("quelle")).front() == "album";
    EXPECT_EQ(mounted,
              albumFirst ? "album/;album/lied.mp3;zweimal/;" : "zweimal/;zweimal/lied.mp3;album/;");
}

// Links that lead across the tree, forward, backward and up, make the same folder
// reachable under several names, so the readers often list a folder first under a name
// the walk comes to later. Whatever the readers' timing, every reading equals the
// independent walker's, line for line.
TEST(DirectoryWalk, LinksAcrossTheTreeGiveTheSameReadingEveryTime) {
    TempTree tree;
    constexpr int kArtists = 30;
    constexpr int kAlbums = 12;
    auto album = [](int artist, int number) {
        return "k" + std::to_string(artist) + "/a" + std::to_string(number);
    };
    for (int artist = 0; artist < kArtists; ++artist) {
        for (int number = 0; number < kAlbums; ++number) {
            tree.folder(album(artist, number) + "/cd");
            for (int song = 0; song < 3; ++song) {
                tree.file(album(artist, number) + "/cd/" + std::to_string(song) + ".mp3");
            }
        }
        const int later = (artist * 7 + 5) % kArtists;
        const int earlier = (artist * 11 + 3) % kArtists;
        tree.link("../../" + album(later, artist % kAlbums), album(artist, 0) + "/vor");
        tree.link("../../" + album(earlier, 1), album(artist, 1) + "/zurück");
        tree.link("../../k" + std::to_string(later), album(artist, 2) + "/künstler");
        tree.link("..", album(artist, 3) + "/cd/oben");
    }
    const std::vector<std::string> reference = test::ReferenceLines(tree.root());
    ASSERT_GT(reference.size(), size_t{kArtists * kAlbums * 5});
    for (int run = 0; run < 20; ++run) {
        const auto r = Read(tree.root());
        const std::vector<std::string> lines = Lines(r->scanList);
        ASSERT_EQ(lines.size(), reference.size()) << "run " << run;
        for (size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(lines[i], tree.root() + reference[i]) << "run " << run << ", line " << i;
        }
    }
}

// Pseudo file systems hold no files of the user's, and some of their trees never end:
// chosen as the source, or met on the way, they have their line and no contents.
TEST(DirectoryWalk, PseudoFileSystemsAreNotEntered) {
    const auto proc = Read("/proc/");
    EXPECT_EQ(proc->scanList.size(), 0U);
    EXPECT_EQ(proc->observer.trace, std::vector<std::string>{"/proc/"});

    const std::string outcome = test::RunInChild([]() -> std::string {
        alarm(300);
        const auto root = Read("/");
        const std::vector<std::string> lines = Lines(root->scanList);
        std::string result;
        for (const char* mountPoint : {"/proc/", "/sys/"}) {
            const bool hasLine = std::find(lines.begin(), lines.end(), mountPoint) != lines.end();
            const bool hasContents =
                std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                    return line.size() > std::strlen(mountPoint) && line.rfind(mountPoint, 0) == 0;
                });
            result += std::string(mountPoint) + (hasLine ? " line" : " no line") +
                      (hasContents ? " contents; " : " empty; ");
        }
        return result;
    });
    EXPECT_EQ(outcome, "/proc/ line empty; /sys/ line empty; ");
}

}  // namespace
}  // namespace spurfix
