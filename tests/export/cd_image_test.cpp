// The CD image read back: listed by xorriso under each of its three name sets, mounted
// with fuseiso and compared byte for byte; and what a stop, a song that cannot be read or
// a full medium leave of the old image file.
#include "export/iso/cd_image.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/in_out_error.h"
#include "list_of_tree.h"
#include "support/command_output.h"
#include "support/paced_content.h"
#include "support/temp_tree.h"

namespace spurfix::exporting {
namespace {

using test::CommandOutput;
using test::ListOfTree;
using test::ReadFile;
using test::TempTree;

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

class SilentProgress : public Progress {
  public:
    void report(uint64_t done, uint64_t total) override {
        bytesDone = done;
        bytesTotal = total;
    }
    void reportFiles(uint64_t done, uint64_t total) override {
        filesDone = done;
        filesTotal = total;
    }
    [[nodiscard]] bool cancelled() const override { return false; }
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    uint64_t filesDone = 0;
    uint64_t filesTotal = 0;
};

// Calls `act` when asked for the n-th time whether to stop, and from then on says `stop`.
class ActingProgress : public Progress {
  public:
    ActingProgress(int when, bool stop, std::function<void()> act = {})
        : when_(when), stop_(stop), act_(std::move(act)) {}
    void report(uint64_t, uint64_t) override {}
    [[nodiscard]] bool cancelled() const override {
        const int asked = ++asked_;
        if (asked == when_ && act_) {
            act_();
        }
        return stop_ && asked >= when_;
    }

  private:
    int when_;
    bool stop_;
    std::function<void()> act_;
    mutable std::atomic<int> asked_{0};
};

bool PrivateMounts() {
    return std::getenv("SPURFIX_PRIVATE_MOUNTS") != nullptr;
}

// A file of the image as xorriso reports it: its path and first block.
struct ImageFile {
    std::string path;
    uint64_t block;
    uint64_t bytes;
};

// The image's files under one of its name sets ("any" reads Rock Ridge, "norock" Joliet,
// "ecma119" the plain ISO 9660 names), in the order their data lies in the image.
std::vector<ImageFile> ListImage(const std::string& image, const std::string& names) {
    const std::string report =
        CommandOutput("xorriso -read_fs " + names + " -indev " + Quoted(image) +
                      " -find / -exec report_lba 2>/dev/null");
    static const std::regex kLine(
        R"(File data lba:\s*\d+\s*,\s*(\d+)\s*,\s*\d+\s*,\s*(\d+)\s*,\s*'(.*)')");
    std::vector<ImageFile> files;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, kLine)) {
            files.push_back({match[3], std::stoull(match[1]), std::stoull(match[2])});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const ImageFile& a, const ImageFile& b) { return a.block < b.block; });
    return files;
}

// The ISO 9660 name that a numbered name becomes at level 2: upper case, each character
// that is no d-character (A-Z, 0-9, "_") an "_", the extension's dot kept.
std::string PlainIsoPath(const std::string& path) {
    std::string plain;
    const size_t lastSlash = path.rfind('/');
    const size_t dot = path.rfind('.');
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if ((c & 0xC0) == 0x80) {
            continue;  // one "_" per character
        }
        if (c == '/' || (i == dot && dot > lastSlash)) {
            plain += static_cast<char>(c);
        } else if (c >= 'a' && c <= 'z') {
            plain += static_cast<char>(c - 'a' + 'A');
        } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            plain += static_cast<char>(c);
        } else {
            plain += '_';
        }
    }
    return plain;
}

// The paths the image must hold, in list order.
std::vector<std::string> PlannedPaths(const PreviewList& preview, CopyLayout layout) {
    const CopyPlan plan = PlanNumberedCopy(preview, layout);
    std::vector<std::string> paths;
    for (const PlannedSong& song : plan.songs) {
        paths.push_back(song.folder < 0 ? "/" + song.name
                                        : "/" + plan.folders[static_cast<size_t>(song.folder)] +
                                              "/" + song.name);
    }
    return paths;
}

// Songs whose content tells them apart and whose sizes fall on and off the 2,048-byte
// blocks.
void MakeSongs(TempTree& tree, const std::vector<std::string>& songs, size_t base = 1000) {
    for (size_t i = 0; i < songs.size(); ++i) {
        const std::string& song = songs[i];
        for (size_t at = 0; (at = song.find('/', at)) != std::string::npos; ++at) {
            struct stat status {};
            if (stat(tree.path(song.substr(0, at)).c_str(), &status) != 0) {
                tree.folder(song.substr(0, at));
            }
        }
        std::string content = tree.path(song);
        content.resize(base + (i * 977) % 6000 + (i % 3 == 0 ? 2048 - base % 2048 : 0),
                       static_cast<char>('a' + i % 26));
        tree.file(song, content);
    }
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> entries = test::KernelOrder(folder);
    std::sort(entries.begin(), entries.end());
    return entries;
}

struct Tree {
    const char* what;
    std::vector<std::string> songs;
    bool labels;
};

std::vector<Tree> Trees() {
    std::vector<std::string> many;
    for (int i = 0; i < 300; ++i) {
        many.push_back((i < 150 ? "A/" : "B/") + std::to_string(1000 - i) + ".mp3");
    }
    return {
        {"nested, labelled, unsafe names",
         {"Gruss.mp3", "Pop/a?.mp3", "Pop/Live/Größe ü.MP3", "Pop/Live/c.mp3", "Rock/d.wav"},
         true},
        {"300 songs in two folders, labelled", many, true},
    };
}

// The image holds the numbered copy: the same names under Rock Ridge and Joliet, ISO 9660
// names made of d-characters, the data of the songs in list order, each song's bytes.
// Read back by xorriso here, and mounted by fuseiso in the private mount namespace.
TEST(CdImageContent, HoldsTheNumberedCopyWithTheDataInListOrder) {
    for (const Tree& t : Trees()) {
        TempTree source;
        MakeSongs(source, t.songs);
        const ListOfTree list(source.root(), t.songs, t.labels);
        for (const CopyLayout layout : {CopyLayout::Folders, CopyLayout::OneFolder}) {
            const std::string what = std::string(t.what) +
                                     (layout == CopyLayout::Folders ? ", folders" : ", one folder");
            TempTree out;
            out.file("cd.iso", "das alte Abbild");
            const std::string image = out.path("cd.iso");
            SilentProgress progress;
            const std::string remark = CdImageOutput(layout).write(
                ExportList{&list.preview(), source.root(), "Größe: Mix 1"}, image, progress);
            EXPECT_EQ(remark, "") << what;
            EXPECT_EQ(Entries(out.root()), std::vector<std::string>{"cd.iso"}) << what;
            EXPECT_EQ(progress.filesDone, t.songs.size()) << what;
            struct stat status {};
            ASSERT_EQ(stat(image.c_str(), &status), 0);
            EXPECT_EQ(progress.bytesDone, static_cast<uint64_t>(status.st_size)) << what;

            const std::vector<std::string> planned = PlannedPaths(list.preview(), layout);
            for (const char* names : {"any", "norock", "ecma119"}) {
                const std::vector<ImageFile> files = ListImage(image, names);
                ASSERT_EQ(files.size(), planned.size()) << what << ", " << names;
                for (size_t i = 0; i < files.size(); ++i) {
                    const std::string expected =
                        std::string(names) == "ecma119" ? PlainIsoPath(planned[i]) : planned[i];
                    EXPECT_EQ(files[i].path, expected)
                        << what << ", " << names << ": the data of song " << i + 1;
                    EXPECT_EQ(files[i].bytes, ReadFile(source.path(t.songs[i])).size());
                }
            }
            EXPECT_NE(CommandOutput("xorriso -indev " + Quoted(image) + " -pvd_info 2>/dev/null")
                          .find("Volume Id    : GROESSE_MIX_1\n"),
                      std::string::npos)
                << what;

            if (!PrivateMounts()) {
                continue;
            }
            out.folder("cd");
            const std::string mounted = out.path("cd");
            ASSERT_EQ(std::system(("fuseiso " + Quoted(image) + " " + Quoted(mounted)).c_str()), 0)
                << what;
            for (size_t i = 0; i < planned.size(); ++i) {
                EXPECT_EQ(ReadFile(mounted + planned[i]), ReadFile(source.path(t.songs[i])))
                    << what << ": " << planned[i];
            }
            std::system(("fusermount -u " + Quoted(mounted)).c_str());
        }
    }
}

TEST(CdImageContent, VolumeIdsAreUpperCaseDCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"Mein Mix – Ä", "MEIN_MIX_AE"},
        {"größte Hits/2024", "GROESSTE_HITS_2024"},
        {"", "SPURFIX"},
        {"–––", "SPURFIX"},
        {"  a  b  ", "A_B"},
        {"Ein sehr langer Name für eine CD mit Liedern", "EIN_SEHR_LANGER_NAME_FUER_EINE_C"},
        {"\xFF\xFE kaputt", "KAPUTT"},
    };
    for (const auto& [heading, id] : cases) {
        EXPECT_EQ(IsoVolumeId(heading), id) << heading;
        EXPECT_LE(IsoVolumeId(heading).size(), 32U);
    }
}

// An image larger than a CD says so; it is written into /dev/null from a sparse song, so
// that the test needs neither the time nor the space of a real one.
TEST(CdImageContent, AnImageLargerThanACdSaysSo) {
    TempTree source;
    source.file("klein.mp3", "x");
    source.file("gross.wav");
    ASSERT_EQ(truncate(source.path("gross.wav").c_str(), static_cast<off_t>(kCdBytes)), 0);
    const std::pair<const char*, std::string> cases[] = {{"klein.mp3", ""},
                                                         {"gross.wav", std::string(kLargerThanCd)}};
    for (const auto& [song, remark] : cases) {
        const ListOfTree list(source.root(), {song}, false);
        SilentProgress progress;
        EXPECT_EQ(
            CdImageOutput(CopyLayout::Folders)
                .write(ExportList{&list.preview(), source.root(), "x"}, "/dev/null", progress),
            remark)
            << song;
    }
    EXPECT_EQ(kLargerThanCd, "Das Abbild ist größer als eine CD (700 MB).");
}

// Eight songs of 2 MiB: libisofs reads ahead of the writer by its buffer of about 2 MiB,
// so that what happens to the last songs before the first chunk is sent happens before
// libisofs reads them.
struct BigList {
    TempTree source;
    std::vector<std::string> songs = {"A/1.mp3", "A/2.mp3", "A/3.mp3", "A/4.mp3",
                                      "B/5.mp3", "B/6.mp3", "B/7.mp3", "B/8.mp3"};
    ListOfTree list;
    BigList() : list((Make(source, songs), source.root()), songs, true) {}
    static void Make(TempTree& tree, const std::vector<std::string>& songs) {
        tree.folder("A");
        tree.folder("B");
        for (const std::string& song : songs) {
            tree.file(song, std::string(size_t{2} << 20, song[2]));
        }
    }
    ExportList exportList() const { return {&list.preview(), source.root(), "x"}; }
};

// The old image file whole and nothing left beside it, or no file where there was none.
void ExpectOldFileWhole(const TempTree& out, bool existed, const std::string& what) {
    if (existed) {
        EXPECT_EQ(Entries(out.root()), std::vector<std::string>{"cd.iso"}) << what;
        const std::string content = out.read("cd.iso");
        EXPECT_TRUE(content == "das alte Abbild")
            << what << ": the old file holds " << content.size() << " other bytes";
    } else {
        EXPECT_EQ(Entries(out.root()), std::vector<std::string>{}) << what;
    }
}

// "Abbrechen" half way, asked while the image is sent on: the old file stays whole.
TEST(CdImageTarget, AStopHalfWayLeavesTheOldFileWhole) {
    const BigList big;
    for (const bool existed : {true, false}) {
        TempTree out;
        if (existed) {
            out.file("cd.iso", "das alte Abbild");
        }
        // The first question comes before libisofs starts, the next ones between its
        // chunks of 256 KiB: the fifth is about 1 MiB into the image.
        ActingProgress progress(5, true);
        EXPECT_THROW(CdImageOutput(CopyLayout::Folders)
                         .write(big.exportList(), out.path("cd.iso"), progress),
                     Cancelled);
        ExpectOldFileWhole(out, existed, existed ? "an old file" : "a new file");
    }
}

// A song that is gone, shrank, grew or became a folder after the list was made fails the
// image with a message that names it; the old file stays whole.
TEST(CdImageTarget, ASongThatCannotBeReadFailsTheImage) {
    struct Case {
        const char* what;
        int when;  // 0: before the writing starts
        std::function<void(const std::string&)> spoil;
        const char* reason;
    };
    const Case cases[] = {
        {"gone before", 0, [](const std::string& song) { unlink(song.c_str()); },
         "Ungültiger Dateiname"},
        {"gone while libisofs starts", 1, [](const std::string& song) { unlink(song.c_str()); },
         "Ungültiger Dateiname"},
        {"shorter", 1, [](const std::string& song) { ASSERT_EQ(truncate(song.c_str(), 1000), 0); },
         "hat sich während des Schreibens geändert"},
        {"longer", 1,
         [](const std::string& song) { ASSERT_EQ(truncate(song.c_str(), 3 << 20), 0); },
         "hat sich während des Schreibens geändert"},
        {"a folder now", 1,
         [](const std::string& song) {
             unlink(song.c_str());
             mkdir(song.c_str(), 0755);
         },
         "Dateizugriff verweigert"},
    };
    for (const Case& c : cases) {
        const BigList big;
        const std::string song = big.source.path("B/7.mp3");
        if (c.when == 0) {
            c.spoil(song);
        }
        TempTree out;
        out.file("cd.iso", "das alte Abbild");
        ActingProgress progress(c.when, false, [&] { c.spoil(song); });
        try {
            CdImageOutput(CopyLayout::Folders)
                .write(big.exportList(), out.path("cd.iso"), progress);
            ADD_FAILURE() << c.what << ": the image was written";
        } catch (const EInOutError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find("Das Lied „" + song + "“ kann nicht gelesen werden"),
                      std::string::npos)
                << c.what << ": " << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << c.what << ": " << message;
            EXPECT_NE(message.find("Das CD-Abbild wurde nicht geschrieben."), std::string::npos)
                << c.what << ": " << message;
        }
        ExpectOldFileWhole(out, true, c.what);
    }
}

// A medium without room for the image: the old file stays whole, a new one is not made.
TEST(CdImageTarget, AFullMediumLeavesTheOldFileWhole) {
    if (!PrivateMounts()) {
        GTEST_SKIP() << "needs a private mount namespace (the test entry run under unshare "
                        "--mount has one)";
    }
    const BigList big;
    for (const bool existed : {true, false}) {
        TempTree out;
        ASSERT_EQ(mount("spurfix", out.root().c_str(), "tmpfs", 0, "size=4m"), 0);
        if (existed) {
            out.file("cd.iso", "das alte Abbild");
        }
        SilentProgress progress;
        try {
            CdImageOutput(CopyLayout::Folders)
                .write(big.exportList(), out.path("cd.iso"), progress);
            ADD_FAILURE() << "the image was written";
        } catch (const EInOutError& error) {
            EXPECT_NE(std::string(error.what()).find("Zu wenig Speicherplatz"), std::string::npos)
                << error.what();
        }
        ExpectOldFileWhole(out, existed, existed ? "an old file" : "a new file");
        umount(out.root().c_str());
    }
}

}  // namespace
}  // namespace spurfix::exporting
