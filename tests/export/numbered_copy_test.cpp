#include "export/numbered_copy.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/in_out_error.h"
#include "support/child_process.h"
#include "support/temp_tree.h"

namespace spurfix::exporting {
namespace {

using test::TempTree;

// UTF-16 units of a UTF-8 name, as Joliet counts them.
size_t Units(const std::string& name) {
    size_t units = 0;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) {
            units += byte >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

std::string Repeated(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}
const std::string kNote = "\xF0\x9F\x8E\xB5";  // a musical note, outside the BMP

TEST(SafeName, KeepsNumberAndExtensionAndMakesTheRestSafe) {
    const std::string longTitle(100, 'x');
    struct Case {
        const char* what;
        std::string number, title, extension, expected;
    };
    const Case cases[] = {
        {"plain", "001", "Intro", "mp3", "001 Intro.mp3"},
        {"extension in lower case", "002", "Song", "MP3", "002 Song.mp3"},
        {"refused characters", "003", "a\"b*c/d:e<f>g?h\\i|j", "mp3",
         "003 a_b_c_d_e_f_g_h_i_j.mp3"},
        {"control characters", "004", std::string("tab\there\x01\x7F"), "mp3",
         "004 tab_here__.mp3"},
        {"trailing dots and spaces of the title", "005", "Wer? Was. . ", "", "005 Wer_ Was"},
        {"no title", "006", "", "wav", "006.wav"},
        {"no extension", "007", "Titel", "", "007 Titel"},
        {"Latin-1 bytes read as such", "008",
         "Gr\xFC\xDF"
         "e",
         "mp3", "008 Grüße.mp3"},
        {"long title cut in the title", "009", longTitle, "flac",
         "009 " + std::string(64 - 4 - 5, 'x') + ".flac"},
        {"cut leaves no trailing space", "010", std::string(55, 'y') + " zzzz", "mp3",
         "010 " + std::string(55, 'y') + ".mp3"},
        {"characters beyond the BMP count twice", "011", std::string(40, 'a') + Repeated(kNote, 10),
         "mp3", "011 " + std::string(40, 'a') + Repeated(kNote, 8) + ".mp3"},
        {"umlauts are one character each", "012", "ÄÖÜäöüß", "mp3", "012 ÄÖÜäöüß.mp3"},
    };
    for (const Case& c : cases) {
        const std::string name = SafeName(c.number, c.title, c.extension);
        EXPECT_EQ(name, c.expected) << c.what;
        EXPECT_LE(Units(name), kLongestName) << c.what;
    }
}

// A list as the preview has it, built line by line: "[x]" lines are labels of the folder
// named after the bar, others "path|title|number".
struct ListLine {
    bool label;
    std::string text;    // label text or title
    std::string source;  // folder or file path
    int32_t number;
};

class HandList {
  public:
    HandList(const std::vector<ListLine>& lines, int32_t width = 3) : preview_(scan_, width) {
        for (const ListLine& line : lines) {
            scan_.append(line.source);
            const auto at = static_cast<uint32_t>(scan_.size() - 1);
            if (line.label) {
                preview_.append(line.text, EntryKind::DirectoryLabel, at);
            } else {
                preview_.appendFileWithTitle(line.text, line.number, at);
            }
        }
    }
    const PreviewList& preview() const { return preview_; }

  private:
    ScanList scan_;
    PreviewList preview_;
};

ListLine Label(const std::string& text, const std::string& folder) {
    return {true, text, folder, 0};
}
ListLine Song(const std::string& path, const std::string& title, int32_t number) {
    return {false, title, path, number};
}

// Each song as "folder/name" ("" folder for the target itself).
std::vector<std::string> Placed(const CopyPlan& plan) {
    std::vector<std::string> placed;
    for (const PlannedSong& song : plan.songs) {
        placed.push_back(
            (song.folder < 0 ? std::string() : plan.folders[static_cast<size_t>(song.folder)]) +
            "/" + song.name);
    }
    return placed;
}

TEST(NumberedCopyPlan, NamesAndFoldersFollowTheList) {
    struct Case {
        const char* what;
        std::vector<ListLine> lines;
        CopyLayout layout;
        std::vector<std::string> expected;
    };
    const std::vector<ListLine> labelled = {Song("/cd/Gruss.mp3", "Gruss", 1),
                                            Label("[Pop]", "/cd/Pop/"),
                                            Song("/cd/Pop/a.MP3", "Hit", 2),
                                            Label("[Rock]", "/cd/Rock/"),
                                            Song("/cd/Rock/b.mp3", "Intro", 3),
                                            Song("/cd/Rock/c.wav", "Intro", 4),
                                            Label("[Leer]", "/cd/Leer/"),
                                            Label("[Pop]", "/cd/Pop/"),
                                            Song("/cd/Pop/d.mp3", "Noch ein Hit", 5)};
    const Case cases[] = {
        {"folders numbered by their first song; a label met twice is one folder; a label "
         "without songs is none",
         labelled,
         CopyLayout::Folders,
         {"/001 Gruss.mp3", "01 [Pop]/002 Hit.mp3", "02 [Rock]/003 Intro.mp3",
          "02 [Rock]/004 Intro.wav", "01 [Pop]/005 Noch ein Hit.mp3"}},
        {"one folder",
         labelled,
         CopyLayout::OneFolder,
         {"/001 Gruss.mp3", "/002 Hit.mp3", "/003 Intro.mp3", "/004 Intro.wav",
          "/005 Noch ein Hit.mp3"}},
        {"numbers per folder stay in folders",
         {Label("[A]", "/a/"), Song("/a/1.mp3", "Eins", 1), Song("/a/2.mp3", "Zwei", 2),
          Label("[B]", "/b/"), Song("/b/1.mp3", "Eins", 1)},
         CopyLayout::Folders,
         {"01 [A]/001 Eins.mp3", "01 [A]/002 Zwei.mp3", "02 [B]/001 Eins.mp3"}},
        {"numbers per folder in one folder: the place in the list, so names sort as played",
         {Label("[A]", "/a/"), Song("/a/1.mp3", "Eins", 1), Song("/a/2.mp3", "Zwei", 2),
          Label("[B]", "/b/"), Song("/b/1.mp3", "Eins", 1)},
         CopyLayout::OneFolder,
         {"/001 Eins.mp3", "/002 Zwei.mp3", "/003 Eins.mp3"}},
        {"no numbering: the place in the list, padded",
         {Song("/x/b.mp3", "B", 0), Song("/x/a.mp3", "A", 0)},
         CopyLayout::OneFolder,
         {"/001 B.mp3", "/002 A.mp3"}},
        {"no labels in the folders layout: one folder",
         {Song("/x/b.mp3", "B", 1), Song("/x/y/a.mp3", "A", 2)},
         CopyLayout::Folders,
         {"/001 B.mp3", "/002 A.mp3"}},
        {"titles whose safe names collide keep both, told apart by their numbers",
         {Song("/x/1.mp3", "a?b", 1), Song("/x/2.mp3", "a*b", 2), Song("/x/3.mp3", "A_B", 3)},
         CopyLayout::OneFolder,
         {"/001 a_b.mp3", "/002 a_b.mp3", "/003 A_B.mp3"}},
        {"unsafe label text",
         {Label("[AC/DC: Live?]", "/acdc/"), Song("/acdc/t.mp3", "T.N.T.", 1)},
         CopyLayout::Folders,
         {"01 [AC_DC_ Live_]/001 T.N.T.mp3"}},
    };
    for (const Case& c : cases) {
        const HandList list(c.lines);
        EXPECT_EQ(Placed(PlanNumberedCopy(list.preview(), c.layout)), c.expected) << c.what;
    }
}

TEST(NumberedCopyPlan, OneFolderSplitsAfter255Songs) {
    std::vector<ListLine> lines;
    for (int i = 1; i <= 600; ++i) {
        lines.push_back(Song("/x/" + std::to_string(i) + ".mp3", "S", i));
    }
    const HandList list(lines);
    const CopyPlan plan = PlanNumberedCopy(list.preview(), CopyLayout::OneFolder);
    EXPECT_EQ(plan.folders, (std::vector<std::string>{"001-255", "256-510", "511-600"}));
    ASSERT_EQ(plan.songs.size(), 600u);
    EXPECT_EQ(plan.songs[254].folder, 0);
    EXPECT_EQ(plan.songs[255].folder, 1);
    EXPECT_EQ(plan.songs[255].name, "256 S.mp3");
    EXPECT_EQ(plan.songs[599].folder, 2);
}

}  // namespace
}  // namespace spurfix::exporting
