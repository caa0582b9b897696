#include "export/playlist.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/list_assembly.h"

namespace spurfix {
namespace {

ListOptions Defaults() {
    ListOptions options;
    for (const char* extension : {"mp3", "wav", "jpg", "jpeg", "mpg", "avi"}) {
        options.allowedExtensions.push_back({extension, true});
    }
    return options;
}

// The playlist's lines after its first, "#EXTM3U".
std::vector<std::string> Entries(const std::string& playlist) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t end; (end = playlist.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        lines.push_back(playlist.substr(pos, end - pos));
    }
    EXPECT_EQ(pos, playlist.size()) << "every line ends in CR LF";
    EXPECT_FALSE(lines.empty());
    if (!lines.empty()) {
        EXPECT_EQ(lines.front(), "#EXTM3U");
        lines.erase(lines.begin());
    }
    return lines;
}

class Playlist : public ::testing::Test {
  protected:
    Playlist() {
        for (const char* line :
             {"/cd/Pop/", "/cd/Pop/Live/", "/cd/Pop/Live/03_Hit.mp3", "/cd/Rock/",
              "/cd/Rock/01 - Intro.mp3", "/cd/Rock/02 - Song.MP3", "/cd/Rock/cover.jpg",
              "/cd/Gr\xFC\xDF"
              "e.mp3"}) {
            scan.append(line);
        }
    }
    std::vector<std::string> entries(const ListOptions& options, std::string_view folder = "/cd") {
        const PreviewList preview = BuildPreview(scan, 5, options, collator);
        return Entries(BuildPlaylist(preview, folder));
    }

    ScanList scan;
    platform::Collator collator{"de_DE"};
};

// Entry N of the playlist is song N of the list, with its path, for every way of
// numbering, labelling, filtering and sorting.
TEST_F(Playlist, EntriesFollowTheListInItsOrder) {
    struct Case {
        const char* what;
        std::function<void(ListOptions&)> change;
        std::vector<std::string> expected;
    };
    const std::string gruesse =
        "Gr\xFC\xDF"
        "e";
    const Case cases[] = {
        {"defaults",
         [](ListOptions&) {},
         {"#EXTINF:-1,001 - " + gruesse, gruesse + ".mp3", "# [Live]", "#EXTINF:-1,002 - Hit",
          "Pop/Live/03_Hit.mp3", "# [Rock]", "#EXTINF:-1,003 - Intro", "Rock/01 - Intro.mp3",
          "#EXTINF:-1,004 - Song", "Rock/02 - Song.MP3"}},
        {"numbers per folder, no labels",
         [](ListOptions& o) {
             o.countPerFolder = true;
             o.folderLabels = false;
         },
         {"#EXTINF:-1,001 - " + gruesse, gruesse + ".mp3", "#EXTINF:-1,001 - Hit",
          "Pop/Live/03_Hit.mp3", "#EXTINF:-1,001 - Intro", "Rock/01 - Intro.mp3",
          "#EXTINF:-1,002 - Song", "Rock/02 - Song.MP3"}},
        {"every file, unsorted, no numbers",
         [](ListOptions& o) {
             o.filter = FileFilter::AllFiles;
             o.sort = false;
             o.numbering = false;
         },
         {"# [Live]", "#EXTINF:-1,Hit", "Pop/Live/03_Hit.mp3", "# [Rock]", "#EXTINF:-1,Intro",
          "Rock/01 - Intro.mp3", "#EXTINF:-1,Song", "Rock/02 - Song.MP3", "#EXTINF:-1,cover",
          "Rock/cover.jpg", "#EXTINF:-1," + gruesse, gruesse + ".mp3"}},
    };
    for (const Case& c : cases) {
        ListOptions options = Defaults();
        c.change(options);
        EXPECT_EQ(entries(options), c.expected) << c.what;
    }
}

TEST_F(Playlist, PathsOutsideItsFolderStayWholeAndBytesStayAsTheyAre) {
    ListOptions options = Defaults();
    options.folderLabels = false;
    const std::vector<std::string> elsewhere = entries(options, "/home/anna");
    ASSERT_EQ(elsewhere.size(), 8U);
    EXPECT_EQ(elsewhere[1],
              "/cd/Gr\xFC\xDF"
              "e.mp3");
    EXPECT_EQ(elsewhere[3], "/cd/Pop/Live/03_Hit.mp3");
    // A folder that only begins like the CD's is not the CD's.
    EXPECT_EQ(entries(options, "/c")[3], "/cd/Pop/Live/03_Hit.mp3");
    EXPECT_EQ(entries(options, "/")[3], "cd/Pop/Live/03_Hit.mp3");
}

TEST_F(Playlist, APathWithALineBreakBecomesAFileUrl) {
    scan.append("/cd/Zeile\nneu 100%.mp3");
    ListOptions options = Defaults();
    options.folderLabels = false;
    const std::vector<std::string> lines = entries(options);
    ASSERT_EQ(lines.size(), 10U);
    EXPECT_EQ(lines[8], "#EXTINF:-1,005 - Zeile neu 100%");
    EXPECT_EQ(lines[9], "file:///cd/Zeile%0Aneu 100%25.mp3");
}

}  // namespace
}  // namespace spurfix
