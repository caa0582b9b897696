#include "export/playlist.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QUrl>
#include <algorithm>

#include <functional>
#include <string>
#include <vector>

#include "engine/list_assembly.h"
#include "support/temp_tree.h"

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
          "Rock/cover.jpg", "# [cd]", "#EXTINF:-1," + gruesse, gruesse + ".mp3"}},
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

// A name with a line break is written as a file URL. Qt's URL parser reads every such
// entry back to the very bytes of the name, whatever else the name holds, and the file
// opens under it.
TEST(PlaylistUrls, AStandardParserReadsEveryNameBackAndTheFileOpens) {
    test::TempTree tree;
    const std::string names[] = {
        "Hit #1\nRemix.mp3",         "Frage?\nAntwort.mp3",   "100%\nsicher.mp3",
        "Leer zeichen\n.mp3",        "a+b;c=d&e\n.mp3",       "[eckig]@{x}\n.mp3",
        "nicht-utf8-\xFC\xFF\n.mp3", "M\xC3\xBCller\r\n.mp3", "%0A%25\n.mp3",
    };
    ScanList scan;
    scan.append(tree.root() + "/");
    for (const std::string& name : names) {
        tree.file(name, name);
        scan.append(tree.path(name));
    }
    ListOptions options = Defaults();
    options.folderLabels = false;
    const platform::Collator collator{"de_DE"};
    const PreviewList preview = BuildPreview(scan, 5, options, collator);
    const std::vector<std::string> lines = Entries(BuildPlaylist(preview, tree.root()));
    std::vector<std::string> opened;
    for (const std::string& line : lines) {
        if (line.rfind("#", 0) == 0) {
            continue;
        }
        SCOPED_TRACE(line);
        const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(line), QUrl::StrictMode);
        ASSERT_TRUE(url.isValid()) << url.errorString().toStdString();
        EXPECT_EQ(url.scheme(), QStringLiteral("file"));
        EXPECT_FALSE(url.hasQuery());
        EXPECT_FALSE(url.hasFragment());
        const QByteArray path =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        const std::string bytes = path.toStdString();
        const int fd = open(bytes.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0) << "no file under the parsed path";
        char content[256];
        const ssize_t got = read(fd, content, sizeof content);
        close(fd);
        opened.emplace_back(content, static_cast<size_t>(std::max<ssize_t>(got, 0)));
        EXPECT_EQ(bytes, tree.path(opened.back())) << "the file's content is its name";
    }
    EXPECT_EQ(opened.size(), std::size(names));
}

}  // namespace
}  // namespace spurfix
