#include "engine/player_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "engine/list_assembly.h"
#include "engine/name_rules.h"
#include "engine/player_limits.h"

namespace spurfix {
namespace {

ScanList MakeScanList(const std::vector<std::string>& lines) {
    ScanList list;
    for (const std::string& line : lines) {
        list.append(line);
    }
    return list;
}

std::vector<std::string> Texts(const PreviewList& preview) {
    std::vector<std::string> texts;
    for (size_t i = 0; i < preview.size(); ++i) {
        texts.push_back(preview.text(i));
    }
    return texts;
}

// The expected lists name each song once with both of its numbers: "3/1 Demo" is song
// 3 of the list and song 1 of its folder.
std::vector<std::string> Numbered(const std::vector<std::string>& lines, bool perFolder) {
    std::vector<std::string> texts;
    for (const std::string& line : lines) {
        const size_t slash = line.find('/');
        const size_t space = line.find(' ');
        if (line.front() == '[' || slash == std::string::npos || space < slash) {
            texts.push_back(line);
            continue;
        }
        const int number = std::stoi(perFolder ? line.substr(slash + 1) : line);
        texts.push_back(PadLeft(number, 3, '0') + " - " + line.substr(space + 1));
    }
    return texts;
}

struct TreeShape {
    const char* what;
    std::vector<std::string> lines;  // as a reading of "/S/" delivers them
    std::string fileSystem;
    std::vector<std::string> asRead, folderByFolder, levelByLevel;
};

// Every shape of tree in every order, numbered over the whole list and per folder; the
// headings show the folder's name and its number as a player counts it.
TEST(PlayerOrders, TreeShapesInEveryOrder) {
    const TreeShape shapes[] = {
        {"flat",
         {"/S/Lied b.mp3", "/S/Lied a.mp3"},
         "ext4",
         {"1/1 Lied a", "2/2 Lied b"},
         {"1/1 Lied a", "2/2 Lied b"},
         {"1/1 Lied a", "2/2 Lied b"}},
        {"a folder with songs and sub-folders, as a disc records it",
         {"/S/Best of/", "/S/Best of/01 Intro.mp3", "/S/Best of/Bonus/",
          "/S/Best of/Bonus/01 Demo.mp3", "/S/Best of/Live/", "/S/Best of/Live/01 Opener.mp3",
          "/S/Best of/Zugabe.mp3"},
         "ext4",
         {"[1 Best of]", "1/1 Intro", "[2 Bonus]", "2/1 Demo", "[3 Live]", "3/1 Opener",
          "[1 Best of]", "4/2 Zugabe"},
         {"[1 Best of]", "1/1 Intro", "2/2 Zugabe", "[2 Bonus]", "3/1 Demo", "[3 Live]",
          "4/1 Opener"},
         {"[1 Best of]", "1/1 Intro", "2/2 Zugabe", "[2 Bonus]", "3/1 Demo", "[3 Live]",
          "4/1 Opener"}},
        {"a deep chain beside a flat folder",
         {"/S/Z/", "/S/Z/z.mp3", "/S/A/", "/S/A/B/", "/S/A/B/C/", "/S/A/B/C/c.mp3", "/S/A/B/b.mp3",
          "/S/A/a.mp3"},
         "ext4",
         {"[1 A]", "1/1 a", "[2 B]", "2/1 b", "[3 C]", "3/1 c", "[4 Z]", "4/1 z"},
         {"[1 A]", "1/1 a", "[2 B]", "2/1 b", "[3 C]", "3/1 c", "[4 Z]", "4/1 z"},
         {"[1 A]", "1/1 a", "[2 Z]", "2/1 z", "[3 B]", "3/1 b", "[4 C]", "4/1 c"}},
        {"empty folders, the last one at the end",
         {"/S/Zu/", "/S/Pop/", "/S/Pop/p.mp3", "/S/Leer/"},
         "ext4",
         {"[1 Pop]", "1/1 p", "[ Zu]"},
         {"[1 Pop]", "1/1 p", "[ Zu]"},
         {"[1 Pop]", "1/1 p", "[ Zu]"}},
        {"folders that hold only sub-folders with songs",
         {"/S/Rock/", "/S/Rock/90er/", "/S/Rock/90er/y.mp3", "/S/Rock/80er/", "/S/Rock/80er/x.mp3",
          "/S/Jazz/", "/S/Jazz/j.mp3"},
         "ext4",
         {"[1 Jazz]", "1/1 j", "[2 80er]", "2/1 x", "[3 90er]", "3/1 y"},
         {"[1 Jazz]", "1/1 j", "[2 80er]", "2/1 x", "[3 90er]", "3/1 y"},
         {"[1 Jazz]", "1/1 j", "[2 80er]", "2/1 x", "[3 90er]", "3/1 y"}},
        {"songs in the source folder itself",
         {"/S/Zz.mp3", "/S/CD 1/", "/S/CD 1/a.mp3", "/S/Aa.mp3"},
         "ext4",
         {"1/1 Aa", "[2 CD 1]", "2/1 a", "[1 S]", "3/2 Zz"},
         {"1/1 Aa", "2/2 Zz", "[2 CD 1]", "3/1 a"},
         {"1/1 Aa", "2/2 Zz", "[2 CD 1]", "3/1 a"}},
        {"names that sort one way in upper case and another in the locale",
         {"/S/_Bonus.mp3", "/S/Ärzte.mp3", "/S/abba.mp3", "/S/Zugabe.mp3", "/S/Abba Gold/",
          "/S/Abba Gold/g.mp3", "/S/Abba/", "/S/Abba/h.mp3"},
         "ext4",
         {"1/1 _Bonus", "[2 Abba Gold]", "2/1 g", "[1 S]", "3/2 abba", "[3 Abba]", "4/1 h", "[1 S]",
          "5/3 Ärzte", "6/4 Zugabe"},
         {"1/1 abba", "2/2 Zugabe", "3/3 _Bonus", "4/4 Ärzte", "[2 Abba]", "5/1 h", "[3 Abba Gold]",
          "6/1 g"},
         {"1/1 abba", "2/2 Zugabe", "3/3 _Bonus", "4/4 Ärzte", "[2 Abba]", "5/1 h", "[3 Abba Gold]",
          "6/1 g"}},
        {"the same names on a disc: the medium's own order",
         {"/S/_Bonus.mp3", "/S/Ärzte.mp3", "/S/abba.mp3", "/S/Zugabe.mp3", "/S/Abba Gold/",
          "/S/Abba Gold/g.mp3", "/S/Abba/", "/S/Abba/h.mp3"},
         "fuse.fuseiso",
         {"1/1 _Bonus", "[2 Abba Gold]", "2/1 g", "[1 S]", "3/2 abba", "[3 Abba]", "4/1 h", "[1 S]",
          "5/3 Ärzte", "6/4 Zugabe"},
         {"1/1 _Bonus", "2/2 Ärzte", "3/3 abba", "4/4 Zugabe", "[2 Abba Gold]", "5/1 g", "[3 Abba]",
          "6/1 h"},
         {"1/1 _Bonus", "2/2 Ärzte", "3/3 abba", "4/4 Zugabe", "[2 Abba Gold]", "5/1 g", "[3 Abba]",
          "6/1 h"}},
    };
    const platform::Collator collator("de_DE");
    for (const TreeShape& shape : shapes) {
        const ScanList scan = MakeScanList(shape.lines);
        const std::pair<PlayOrder, const std::vector<std::string>*> orders[] = {
            {PlayOrder::AsRead, &shape.asRead},
            {PlayOrder::FolderByFolder, &shape.folderByFolder},
            {PlayOrder::LevelByLevel, &shape.levelByLevel},
        };
        for (const auto& [order, expected] : orders) {
            for (const bool perFolder : {false, true}) {
                ListOptions options;
                options.labelTemplate = "[%NR% %NAME%]";
                options.order = order;
                options.countPerFolder = perFolder;
                const PreviewList preview =
                    BuildPreview(scan, 9, options, collator, {"/S/", shape.fileSystem});
                EXPECT_EQ(Texts(preview), Numbered(*expected, perFolder))
                    << shape.what << ", order " << static_cast<int>(order)
                    << (perFolder ? ", per folder" : ", global");
            }
        }
    }
}

// The order within a folder: the medium's own where a player reads the medium itself,
// mounted by the kernel or through FUSE; the burning program's everywhere else.
TEST(PlayerOrders, MediaAPlayerReadsItselfKeepTheirOwnOrder) {
    for (const char* type : {"iso9660", "udf", "vfat", "msdos", "exfat", "fuse.fuseiso",
                             "fuse.fusefat", "fuseblk.exfat", "fuse.exfat", "fuse.exfat-fuse"}) {
        EXPECT_TRUE(PlayerReadsMediumOrder(type)) << type;
    }
    for (const char* type : {"ext4", "btrfs", "xfs", "tmpfs", "nfs4", "cifs", "fuse.sshfs",
                             "fuseblk", "fuse", "overlay", "ntfs3", ""}) {
        EXPECT_FALSE(PlayerReadsMediumOrder(type)) << type;
    }
}

TEST(PlayerOrders, IsoRecordOrderUpperCasesAsciiOnlyThenComparesBytes) {
    const std::vector<std::string> sorted = {
        "01 Intro.mp3", "Abba", "abba Gold", "Abba-Live", "b", "Zugabe", "_Bonus", "Ärzte"};
    for (size_t i = 0; i < sorted.size(); ++i) {
        for (size_t j = 0; j < sorted.size(); ++j) {
            EXPECT_EQ(IsoRecordLess(sorted[i], sorted[j]), i < j) << sorted[i] << " " << sorted[j];
        }
    }
    // Names equal but for case still have an order.
    EXPECT_NE(IsoRecordLess("a", "A"), IsoRecordLess("A", "a"));
}

// Lists that leave out folder lines, hold lines outside the source folder, a folder
// twice, or a chain deeper than any stack: every line comes out once.
TEST(PlayerOrders, EveryLineOnceWhateverTheList) {
    std::vector<std::string> lines = {
        "/S/x/y/z.mp3", "/elsewhere/a.mp3", "/S/D/", "/S/D/", "/S/D/d.mp3", "b.mp3", "/S/"};
    std::string deep = "/S/";
    for (int level = 0; level < 3000; ++level) {
        deep += "d/";
        lines.push_back(deep);
    }
    lines.push_back(deep + "tief.mp3");
    const ScanList scan = MakeScanList(lines);
    for (const PlayOrder order : {PlayOrder::FolderByFolder, PlayOrder::LevelByLevel}) {
        for (const char* type : {"ext4", "iso9660"}) {
            std::vector<uint32_t> got = PlayerOrder(scan, "/S/", order, type);
            std::sort(got.begin(), got.end());
            std::vector<uint32_t> all(lines.size());
            std::iota(all.begin(), all.end(), 0U);
            EXPECT_EQ(got, all) << static_cast<int>(order) << " " << type;
        }
    }
}

// One hint for each limit, the first that applies; none within the limits.
TEST(PlayerLimits, OneHintPerLimitAndNoneWithin) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        PlayOrder order;
        std::string hint;
    };
    std::vector<std::string> manySongs = {"/S/Viele/"};
    for (int i = 0; i < 312; ++i) {
        manySongs.push_back("/S/Viele/" + std::to_string(i) + ".mp3");
    }
    std::vector<std::string> manyFolders;
    for (int i = 0; i < 100; ++i) {
        manyFolders.push_back("/S/" + std::to_string(i) + "/");
        manyFolders.push_back("/S/" + std::to_string(i) + "/a.mp3");
    }
    std::vector<std::string> deep;
    std::string folder = "/S/";
    for (int level = 1; level <= 9; ++level) {
        folder += "E" + std::to_string(level) + "/";
        deep.push_back(folder);
    }
    deep.push_back(folder + "tief.mp3");
    const std::string longName(65, 'x');
    std::vector<std::string> withinLimits = {"/S/Album/"};
    for (int i = 0; i < 255; ++i) {
        withinLimits.push_back("/S/Album/" + std::to_string(i) + ".mp3");
    }
    folder = "/S/";
    for (int level = 1; level <= 8; ++level) {
        folder += "E" + std::to_string(level) + "/";
        withinLimits.push_back(folder);
    }
    withinLimits.push_back(folder + std::string(59, 'x') + "ä.mp3");  // 64 characters
    const std::vector<std::string> split = {"/S/A/", "/S/A/a.mp3", "/S/A/B/", "/S/A/B/b.mp3",
                                            "/S/A/c.mp3"};
    const Case cases[] = {
        {"songs in one folder", manySongs, PlayOrder::AsRead,
         "Hinweis: 312 Lieder in einem Verzeichnis; viele Spieler lesen nur 255."},
        {"folders with songs", manyFolders, PlayOrder::FolderByFolder,
         "Hinweis: 100 Verzeichnisse mit Liedern; viele Spieler lesen nur 99."},
        {"levels", deep, PlayOrder::LevelByLevel,
         "Hinweis: Lieder 9 Ebenen tief; viele Spieler lesen nur 8."},
        {"a long name",
         {"/S/" + longName + ".mp3"},
         PlayOrder::AsRead,
         "Hinweis: Ein Name hat 69 Zeichen; Joliet kürzt ihn auf 64."},
        {"songs split by a sub-folder", split, PlayOrder::AsRead,
         "Hinweis: Die Lieder eines Verzeichnisses stehen nicht beisammen; „CD-Spieler: "
         "Ordner für Ordner“ nummeriert wie die meisten Spieler."},
        {"the same in the player's order", split, PlayOrder::FolderByFolder, ""},
        {"within the limits", withinLimits, PlayOrder::AsRead, ""},
        {"within the limits, the player's order", withinLimits, PlayOrder::LevelByLevel, ""},
    };
    const platform::Collator collator("de_DE");
    for (const Case& c : cases) {
        const ScanList scan = MakeScanList(c.lines);
        ListOptions options;
        options.order = c.order;
        ListFacts facts;
        (void)BuildPreview(scan, 999, options, collator, {"/S/", "ext4"}, &facts);
        EXPECT_EQ(PlayerLimitHint(facts), c.hint) << c.what;
    }
}

}  // namespace
}  // namespace spurfix
