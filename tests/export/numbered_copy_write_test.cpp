// The numbered copy on real folders: what players play from it, and what a failure, a stop
// or a kill leaves behind.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/in_out_error.h"
#include "export/numbered_copy.h"
#include "list_of_tree.h"
#include "support/paced_content.h"
#include "support/temp_tree.h"

namespace spurfix::exporting {
namespace {

using test::ListOfTree;
using test::ReadFile;
using test::TempTree;

constexpr const char* kPartName = ".spurfix-kopie.part";

struct Entry {
    std::string name;
    bool folder;
};

// The entries below `folder`, relative, a folder's ending in "/", in no particular order.
void ListTree(const std::string& root, const std::string& relative, std::set<std::string>& out) {
    DIR* dir = opendir((root + relative).c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat status {};
        lstat((root + relative + name).c_str(), &status);
        if (S_ISDIR(status.st_mode)) {
            out.insert(relative + name + "/");
            ListTree(root, relative + name + "/", out);
        } else {
            out.insert(relative + name);
        }
    }
    closedir(dir);
}

std::set<std::string> TreeOf(const std::string& root) {
    std::set<std::string> tree;
    ListTree(root, "", tree);
    return tree;
}

// Watches the target after each song and notes every new entry: the order the copy wrote
// its directory entries in, which is the order a FAT player finds them in.
class WatchingProgress : public Progress {
  public:
    explicit WatchingProgress(std::string target) : target_(std::move(target)) {}
    void report(uint64_t, uint64_t) override {}
    void reportFiles(uint64_t done, uint64_t) override {
        const std::set<std::string> now = TreeOf(target_);
        std::vector<std::string> fresh;
        for (const std::string& path : now) {
            if (!seen_.contains(path)) {
                fresh.push_back(path);
            }
        }
        // A new folder appears with its first song; the folder came first.
        std::sort(fresh.begin(), fresh.end(), [](const std::string& a, const std::string& b) {
            return a.back() == '/' && b.back() != '/';
        });
        for (const std::string& path : fresh) {
            seen_.insert(path);
            written_.push_back(path);
        }
        if (stopAfter != 0 && done == stopAfter) {
            stop_ = true;
        }
    }
    [[nodiscard]] bool cancelled() const override { return stop_; }
    [[nodiscard]] const std::vector<std::string>& written() const { return written_; }
    uint64_t stopAfter = 0;

  private:
    std::string target_;
    std::set<std::string> seen_;
    std::vector<std::string> written_;
    bool stop_ = false;
};

// The copy as players see it: each folder's entries in the order they were written.
class CopiedTree {
  public:
    explicit CopiedTree(const std::vector<std::string>& written) {
        folders_.push_back("");
        for (const std::string& path : written) {
            const bool folder = path.back() == '/';
            const std::string bare = folder ? path.substr(0, path.size() - 1) : path;
            const size_t slash = bare.rfind('/');
            const std::string parent = slash == std::string::npos ? "" : bare.substr(0, slash + 1);
            children_[parent].push_back({path, folder});
            if (folder) {
                folders_.push_back(path);
            }
        }
    }
    // Names sorted: a folder's files by name, then its folders by name.
    std::vector<std::string> namesSorted(const std::string& folder = "") const {
        std::vector<Entry> entries = childrenOf(folder);
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.folder != b.folder ? !a.folder : a.name < b.name;
        });
        std::vector<std::string> played;
        for (const Entry& e : entries) {
            append(played, e.folder ? namesSorted(e.name) : std::vector<std::string>{e.name});
        }
        return played;
    }
    // Order written: the directory entries as they lie, a folder entered where it lies.
    std::vector<std::string> orderWritten(const std::string& folder = "") const {
        std::vector<std::string> played;
        for (const Entry& e : childrenOf(folder)) {
            append(played, e.folder ? orderWritten(e.name) : std::vector<std::string>{e.name});
        }
        return played;
    }
    // Folder by folder: the folders in the order they were written, each one's files.
    std::vector<std::string> folderByFolder() const {
        std::vector<std::string> played;
        for (const std::string& folder : folders_) {
            for (const Entry& e : childrenOf(folder)) {
                if (!e.folder) {
                    played.push_back(e.name);
                }
            }
        }
        return played;
    }
    // Level by level: the files of the top folder, then those of the folders one down...
    std::vector<std::string> levelByLevel() const {
        std::vector<std::string> played;
        std::deque<std::string> queue{""};
        while (!queue.empty()) {
            const std::string folder = queue.front();
            queue.pop_front();
            for (const Entry& e : childrenOf(folder)) {
                if (e.folder) {
                    queue.push_back(e.name);
                } else {
                    played.push_back(e.name);
                }
            }
        }
        return played;
    }

  private:
    std::vector<Entry> childrenOf(const std::string& folder) const {
        const auto found = children_.find(folder);
        return found == children_.end() ? std::vector<Entry>{} : found->second;
    }
    static void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
        to.insert(to.end(), more.begin(), more.end());
    }
    std::map<std::string, std::vector<Entry>> children_;
    std::vector<std::string> folders_;
};

// Every song's content is its own path, so that a played file tells which song it is.
void MakeSongs(TempTree& tree, const std::vector<std::string>& songs) {
    for (const std::string& song : songs) {
        const size_t slash = song.rfind('/');
        if (slash != std::string::npos) {
            std::string folder;
            for (size_t at = 0; (at = song.find('/', at)) != std::string::npos; ++at) {
                struct stat status {};
                if (stat(tree.path(song.substr(0, at)).c_str(), &status) != 0) {
                    tree.folder(song.substr(0, at));
                }
            }
        }
        tree.file(song, tree.path(song));
    }
}

// Whatever order a player uses, it plays the copy in the list's order, for lists made in
// the players' orders, in both layouts, with and without labels, above and below the songs
// a folder may hold.
TEST(NumberedCopyPlayers, EveryPlayerPlaysTheListsOrder) {
    const std::vector<std::string> depthFirst = {"Gruss.mp3",      "Pop/a.mp3",  "Pop/Live/b.mp3",
                                                 "Pop/Live/c.MP3", "Rock/d.mp3", "Rock/e.wav"};
    const std::vector<std::string> levelByLevel = {
        "Gruss.mp3", "Pop/a.mp3", "Rock/d.mp3", "Rock/e.wav", "Pop/Live/b.mp3", "Pop/Live/c.MP3"};
    std::vector<std::string> many;
    for (int i = 0; i < 300; ++i) {
        many.push_back((i < 150 ? "A/" : "B/") + std::to_string(1000 - i) + ".mp3");
    }
    struct Tree {
        const char* what;
        std::vector<std::string> songs;
        bool labels;
    };
    const Tree trees[] = {
        {"nested, depth first, labelled", depthFirst, true},
        {"nested, level by level, labelled", levelByLevel, true},
        {"nested, depth first, no labels", depthFirst, false},
        {"300 songs in two folders, labelled", many, true},
        {"300 songs in two folders, no labels", many, false},
    };
    for (const Tree& t : trees) {
        TempTree source;
        MakeSongs(source, t.songs);
        const ListOfTree list(source.root(), t.songs, t.labels);
        for (const CopyLayout layout : {CopyLayout::Folders, CopyLayout::OneFolder}) {
            const char* layoutName = layout == CopyLayout::Folders ? "folders" : "one folder";
            TempTree targets;
            const std::string target = targets.path("Stick");
            WatchingProgress progress(target + "/");
            const std::string remark = NumberedCopyOutput(layout).write(
                ExportList{&list.preview(), source.root(), "cd"}, target, progress);
            EXPECT_EQ(remark, "");
            const CopiedTree copy(progress.written());
            const std::pair<const char*, std::vector<std::string>> players[] = {
                {"names sorted", copy.namesSorted()},
                {"order written", copy.orderWritten()},
                {"folder by folder", copy.folderByFolder()},
                {"level by level", copy.levelByLevel()},
            };
            for (const auto& [player, played] : players) {
                std::vector<std::string> songs;
                for (const std::string& file : played) {
                    songs.push_back(ReadFile(target + "/" + file));
                }
                EXPECT_EQ(songs, list.sources()) << t.what << ", " << layoutName << ", " << player;
            }
            EXPECT_EQ(TreeOf(target + "/").size(), progress.written().size())
                << "nothing else is left";
        }
        for (const std::string& song : t.songs) {
            EXPECT_EQ(source.read(song), source.path(song)) << "the source stays as it was";
        }
    }
}

TEST(NumberedCopyTarget, AFolderWithContentIsRefusedBeforeAnythingIsWritten) {
    TempTree source;
    MakeSongs(source, {"a.mp3"});
    const ListOfTree list(source.root(), {"a.mp3"}, false);
    TempTree target;
    target.file("alt.txt", "bleibt");
    WatchingProgress progress(target.root());
    try {
        NumberedCopyOutput(CopyLayout::Folders)
            .write(ExportList{&list.preview(), source.root(), "x"}, target.root(), progress);
        ADD_FAILURE() << "a folder with content was taken";
    } catch (const EInOutError& error) {
        EXPECT_NE(std::string(error.what()).find("ist nicht leer"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(TreeOf(target.root()), (std::set<std::string>{"alt.txt"}));
    EXPECT_EQ(target.read("alt.txt"), "bleibt");
}

// "Abbrechen" half way: an empty folder stays empty, a new one goes again.
TEST(NumberedCopyTarget, AStopHalfWayLeavesTheTargetAsBefore) {
    TempTree source;
    const std::vector<std::string> songs = {"A/1.mp3", "A/2.mp3", "B/3.mp3", "B/4.mp3"};
    MakeSongs(source, songs);
    const ListOfTree list(source.root(), songs, true);
    for (const bool existed : {true, false}) {
        TempTree targets;
        if (existed) {
            targets.folder("Stick");
        }
        const std::string target = targets.path("Stick");
        WatchingProgress progress(target + "/");
        progress.stopAfter = 3;
        EXPECT_THROW(NumberedCopyOutput(CopyLayout::Folders)
                         .write(ExportList{&list.preview(), source.root(), "x"}, target, progress),
                     Cancelled);
        EXPECT_EQ(progress.written().size(), 5u) << "the stop came half way";
        struct stat status {};
        EXPECT_EQ(stat(target.c_str(), &status) == 0, existed);
        EXPECT_TRUE(TreeOf(target + "/").empty());
    }
}

// A kill of the process while a song is being written: the songs before it are whole under
// their final names; the one being written has the part name, which no player plays. The
// song being written comes from a pipe, so that the kill comes at a known point within it.
TEST(NumberedCopyTarget, AKillHalfWayLeavesNoIncompleteSongUnderItsName) {
    for (const size_t killAt : {0u, 3u, 7u}) {
        TempTree source;
        std::vector<std::string> songs;
        for (size_t i = 0; i < 8; ++i) {
            songs.push_back("F/" + std::to_string(i) + ".mp3");
        }
        MakeSongs(source, songs);
        for (size_t i = 0; i < songs.size(); ++i) {
            source.file(songs[i], std::string((3 << 20) + i, static_cast<char>('a' + i)));
        }
        const std::string pipe = source.path(songs[killAt]);
        ASSERT_EQ(unlink(pipe.c_str()), 0);
        ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
        const ListOfTree list(source.root(), songs, false);
        TempTree targets;
        const std::string target = targets.path("Stick");
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            struct Quiet : Progress {
                void report(uint64_t, uint64_t) override {}
                [[nodiscard]] bool cancelled() const override { return false; }
            } quiet;
            try {
                NumberedCopyOutput(CopyLayout::OneFolder)
                    .write(ExportList{&list.preview(), source.root(), "x"}, target, quiet);
            } catch (...) {
            }
            _exit(0);
        }
        // Half a song into the pipe, then the kill once the part file holds it.
        const int writer = open(pipe.c_str(), O_WRONLY);
        ASSERT_GE(writer, 0);
        const std::string half(1 << 20, 'h');
        ASSERT_EQ(write(writer, half.data(), half.size()), static_cast<ssize_t>(half.size()));
        const std::string part = target + "/" + kPartName;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        for (struct stat status{}; std::chrono::steady_clock::now() < limit &&
                                   (stat(part.c_str(), &status) != 0 ||
                                    status.st_size < static_cast<off_t>(half.size()));) {
            std::this_thread::yield();
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(writer);
        std::set<std::string> expected = {kPartName};
        for (size_t i = 0; i < killAt; ++i) {
            expected.insert("00" + std::to_string(i + 1) + " " + std::to_string(i) + ".mp3");
        }
        EXPECT_EQ(TreeOf(target + "/"), expected) << "killed in song " << killAt;
        for (size_t i = 0; i < killAt; ++i) {
            EXPECT_EQ(
                ReadFile(target + "/00" + std::to_string(i + 1) + " " + std::to_string(i) + ".mp3"),
                source.read(songs[i]))
                << "song " << i << " has its final name but not its whole content";
        }
        EXPECT_EQ(ReadFile(part), half);
    }
}

bool PrivateMounts() {
    return std::getenv("SPURFIX_PRIVATE_MOUNTS") != nullptr;
}

// A target without room: the free space is checked first and the message gives both
// sizes; a medium that runs out of entries half way is left as it was.
TEST(NumberedCopyTarget, AFullTargetIsLeftAsItWas) {
    if (!PrivateMounts()) {
        GTEST_SKIP() << "needs a private mount namespace (the test entry run under unshare "
                        "--mount has one)";
    }
    TempTree source;
    const std::vector<std::string> songs = {"A/1.mp3", "A/2.mp3", "B/3.mp3", "B/4.mp3"};
    MakeSongs(source, songs);
    for (const std::string& song : songs) {
        source.file(song, std::string(1 << 20, 's'));
    }
    const ListOfTree list(source.root(), songs, true);
    struct Case {
        const char* what;
        const char* options;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"too little space", "size=2m", {"Die Kopie braucht 4,0 MB, frei sind 2,0 MB."}},
        {"too few entries", "size=64m,nr_inodes=4", {"Zu wenig Speicherplatz"}},
    };
    for (const Case& c : cases) {
        TempTree targets;
        targets.folder("medium");
        const std::string medium = targets.path("medium");
        ASSERT_EQ(mount("spurfix", medium.c_str(), "tmpfs", 0, c.options), 0) << c.what;
        WatchingProgress progress(medium + "/Stick/");
        try {
            NumberedCopyOutput(CopyLayout::Folders)
                .write(ExportList{&list.preview(), source.root(), "x"}, medium + "/Stick",
                       progress);
            ADD_FAILURE() << c.what << ": the copy went through";
        } catch (const EInOutError& error) {
            for (const std::string& part : c.expected) {
                EXPECT_NE(std::string(error.what()).find(part), std::string::npos)
                    << c.what << ": " << error.what();
            }
        }
        EXPECT_TRUE(TreeOf(medium + "/").empty()) << c.what;
        umount(medium.c_str());
    }
}

}  // namespace
}  // namespace spurfix::exporting
