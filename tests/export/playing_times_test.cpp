// Playing times through the outputs: the playlist carries each song's seconds, the text
// list keeps the lines as the preview shows them, and the CD insert puts the times in a
// column of their own at the right with the total under the heading.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/list_assembly.h"
#include "export/pdf/cd_insert.h"
#include "export/playlist.h"
#include "export/text_list.h"
#include "support/command_output.h"
#include "support/temp_tree.h"

namespace spurfix::exporting {
namespace {

class Quiet : public Progress {
  public:
    void report(uint64_t, uint64_t) override {}
    [[nodiscard]] bool cancelled() const override { return false; }
};

// Lines of a file that end in CR LF.
std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t end; (end = bytes.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        lines.push_back(bytes.substr(pos, end - pos));
    }
    EXPECT_EQ(pos, bytes.size()) << "every line ends in CR LF";
    return lines;
}

SongInfo Timed(int32_t milliseconds, bool estimate = false, std::string title = {}) {
    SongInfo song;
    song.milliseconds = milliseconds;
    song.timeIsEstimate = estimate;
    song.title = std::move(title);
    return song;
}

// A folder of songs whose times are known, unknown, estimated, over an hour and on the
// half second; one song has no entry in the table at all.
class PlayingTimes : public ::testing::Test {
  protected:
    PlayingTimes() {
        for (const char* line :
             {"/cd/", "/cd/Pop/", "/cd/Pop/01 - Bekannt.mp3", "/cd/Pop/02 - Unbekannt.mp3",
              "/cd/Pop/03 - Geschätzt.mp3", "/cd/Pop/04 - Lang.mp3",
              "/cd/Pop/05 - Halbe Sekunde.mp3", "/cd/Pop/06 - Nicht gelesen.mp3"}) {
            scan.append(line);
        }
        songs.lines = {2, 3, 4, 5, 6};
        songs.songs = {Timed(225'000, false, "Sommer (3:45)"), Timed(-1, false, "Live (4:10)"),
                       Timed(200'400, true), Timed(3'723'600), Timed(59'500)};
    }
    PreviewList list(bool titles, bool times) const {
        ListOptions options;
        options.titlesFromTags = titles;
        options.showPlayingTimes = times;
        return BuildPreview(scan, 6, options, collator, {}, nullptr, &songs);
    }
    // What an output writes of the list, through its ExportList as the window fills it.
    std::vector<std::string> written(const Output& output, const PreviewList& preview,
                                     bool times) const {
        const std::string target = tree.path("liste");
        Quiet progress;
        output.write(ExportList{&preview, "/cd/", "CD", times ? &songs : nullptr}, target,
                     progress);
        return Lines(tree.read("liste"));
    }

    ScanList scan;
    SongInfoTable songs;
    platform::Collator collator{"de_DE"};
    spurfix::test::TempTree tree;
};

// The playlist's seconds are the list's times, rounded as the list rounds them; -1 where a
// time is not known or not shown. The title does not carry the time twice, while a tag
// title that merely looks like a time keeps it.
TEST_F(PlayingTimes, PlaylistCarriesTheSecondsOfTheList) {
    const struct {
        const char* what;
        bool titles;
        bool times;
        std::vector<std::string> expected;
    } cases[] = {
        {"times shown",
         false,
         true,
         {"#EXTM3U", "# [Pop]", "#EXTINF:225,001 - Bekannt", "/cd/Pop/01 - Bekannt.mp3",
          "#EXTINF:-1,002 - Unbekannt", "/cd/Pop/02 - Unbekannt.mp3", "#EXTINF:200,003 - Geschätzt",
          "/cd/Pop/03 - Geschätzt.mp3", "#EXTINF:3724,004 - Lang", "/cd/Pop/04 - Lang.mp3",
          "#EXTINF:60,005 - Halbe Sekunde", "/cd/Pop/05 - Halbe Sekunde.mp3",
          "#EXTINF:-1,006 - Nicht gelesen", "/cd/Pop/06 - Nicht gelesen.mp3"}},
        {"times not shown",
         true,
         false,
         {"#EXTM3U", "# [Pop]", "#EXTINF:-1,001 - Sommer (3:45)", "/cd/Pop/01 - Bekannt.mp3",
          "#EXTINF:-1,002 - Live (4:10)", "/cd/Pop/02 - Unbekannt.mp3",
          "#EXTINF:-1,003 - Geschätzt", "/cd/Pop/03 - Geschätzt.mp3", "#EXTINF:-1,004 - Lang",
          "/cd/Pop/04 - Lang.mp3", "#EXTINF:-1,005 - Halbe Sekunde",
          "/cd/Pop/05 - Halbe Sekunde.mp3", "#EXTINF:-1,006 - Nicht gelesen",
          "/cd/Pop/06 - Nicht gelesen.mp3"}},
        {"titles from the tags and times",
         true,
         true,
         {"#EXTM3U", "# [Pop]", "#EXTINF:225,001 - Sommer (3:45)", "/cd/Pop/01 - Bekannt.mp3",
          "#EXTINF:-1,002 - Live (4:10)", "/cd/Pop/02 - Unbekannt.mp3",
          "#EXTINF:200,003 - Geschätzt", "/cd/Pop/03 - Geschätzt.mp3", "#EXTINF:3724,004 - Lang",
          "/cd/Pop/04 - Lang.mp3", "#EXTINF:60,005 - Halbe Sekunde",
          "/cd/Pop/05 - Halbe Sekunde.mp3", "#EXTINF:-1,006 - Nicht gelesen",
          "/cd/Pop/06 - Nicht gelesen.mp3"}},
    };
    for (const auto& c : cases) {
        const PreviewList preview = list(c.titles, c.times);
        EXPECT_EQ(written(PlaylistOutput(), preview, c.times), c.expected) << c.what;
    }
}

// The text list is the preview, times and all.
TEST_F(PlayingTimes, TextListKeepsTheLinesAsThePreviewShowsThem) {
    const PreviewList preview = list(true, true);
    const std::vector<std::string> expected = {
        "[Pop]",
        "001 - Sommer (3:45) (3:45)",
        "002 - Live (4:10)",
        "003 - Geschätzt (ca. 3:20)",
        "004 - Lang (1:02:04)",
        "005 - Halbe Sekunde (1:00)",
        "006 - Nicht gelesen",
    };
    EXPECT_EQ(written(TextListOutput(), preview, true), expected);
}

struct Word {
    double xMin, yMin, xMax, yMax;
    QString text;
};

// The words of the insert's first page with their boxes, as a PDF reader finds them.
std::vector<Word> InsertWords(const QByteArray& pdf) {
    spurfix::test::TempTree tree;
    const std::string file = tree.path("einleger.pdf");
    std::ofstream(file, std::ios::binary).write(pdf.constData(), pdf.size());
    const QString boxes = QString::fromUtf8(
        spurfix::test::CommandOutput("pdftotext -enc UTF-8 -bbox -f 1 -l 1 '" + file + "' -"));
    const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    std::vector<Word> words;
    for (auto match = word.globalMatch(boxes); match.hasNext();) {
        const auto m = match.next();
        words.push_back({m.captured(1).toDouble(), m.captured(2).toDouble(),
                         m.captured(3).toDouble(), m.captured(4).toDouble(), m.captured(5)});
    }
    return words;
}

bool IsTime(const QString& text) {
    static const QRegularExpression time(QStringLiteral(R"(^\d+(:\d\d)+$)"));
    return time.match(text).hasMatch();
}

// Every song's time stands right-aligned at the column's right edge, on its first row;
// no word of a title reaches into the column of the times, however long the title is;
// the titles lose the time in brackets; without a total where a time is unknown.
TEST_F(PlayingTimes, InsertPutsTimesInAColumnAtTheRight) {
    scan.append(
        "/cd/Pop/07 - Ein sehr langer Titel, der in keiner Spalte auf eine Zeile passt, "
        "nicht einmal bei der kleinsten Schrift.mp3");
    songs.lines.push_back(8);
    songs.songs.push_back(Timed(300'000));
    const PreviewList preview = list(false, true);
    Quiet progress;
    const std::vector<Word> words =
        InsertWords(RenderCdInsert(preview, QStringLiteral("CD"), &songs, progress));
    ASSERT_FALSE(words.empty());

    std::map<QString, const Word*> times;
    double timesLeft = 1e9;
    double timesRight = 0;
    for (const Word& word : words) {
        if (IsTime(word.text)) {
            times[word.text] = &word;
            timesLeft = std::min(timesLeft, word.xMin);
            timesRight = std::max(timesRight, word.xMax);
        }
        EXPECT_FALSE(word.text.startsWith(QLatin1Char('('))) << word.text.toStdString();
    }
    std::vector<QString> found;
    for (const auto& [text, word] : times) {
        found.push_back(text);
        EXPECT_NEAR(word->xMax, timesRight, 0.3) << "not right-aligned: " << text.toStdString();
    }
    EXPECT_EQ(found, (std::vector<QString>{"1:00", "1:02:04", "3:20", "3:45", "5:00"}));
    // The square's right edge, less its padding: 45 + 120 - 6 mm from the page's left.
    EXPECT_NEAR(timesRight, 159 / 25.4 * 72, 1.5) << "times stand at the column's right edge";

    // Each time on the first row of its song: the row that holds the song's number.
    for (const auto& [number, time] :
         {std::pair{"001", "3:45"}, {"003", "3:20"}, {"004", "1:02:04"}, {"007", "5:00"}}) {
        const auto row = std::find_if(words.begin(), words.end(),
                                      [&](const Word& w) { return w.text == number; });
        ASSERT_NE(row, words.end()) << number;
        EXPECT_NEAR(row->yMin, times.at(time)->yMin, 0.5) << number << " and " << time;
    }
    const auto estimate = std::find_if(
        words.begin(), words.end(), [](const Word& w) { return w.text == QStringLiteral("ca."); });
    ASSERT_NE(estimate, words.end()) << "an estimate keeps its mark";
    EXPECT_LT(estimate->xMax, times.at("3:20")->xMin);

    // The long title takes several rows, none of them into the times' column.
    int longRows = 0;
    double lastRow = -1;
    for (const Word& word : words) {
        const bool song = word.yMin > times.at("3:45")->yMin - 0.5;
        if (!song || IsTime(word.text) || word.text == QStringLiteral("ca.")) {
            continue;
        }
        EXPECT_LT(word.xMax, timesLeft - 1)
            << "a title reaches the times: " << word.text.toStdString();
        if (word.yMin > times.at("5:00")->yMin - 0.5 && word.yMin > lastRow + 0.5) {
            ++longRows;
            lastRow = word.yMin;
        }
    }
    EXPECT_GE(longRows, 2) << "the long title fits one row: make it longer";
    EXPECT_TRUE(std::none_of(words.begin(), words.end(), [](const Word& w) {
        return w.text == QStringLiteral("Gesamtdauer");
    })) << "a song without a known time, and yet a total";
}

// With every time known, the first square says the total under the heading: the sum of
// the songs' times, rounded once; an estimate among them makes it an estimate.
TEST_F(PlayingTimes, InsertTotalUnderTheHeading) {
    const struct {
        std::vector<uint32_t> lines;
        const char* total;
    } cases[] = {
        {{2, 5, 6}, "1:06:48"},      // 225 + 3723.6 + 59.5 s
        {{2, 4, 5}, "ca. 1:09:09"},  // with the estimate of 200.4 s
        {{2}, "3:45"},
    };
    for (const auto& c : cases) {
        SongInfoTable known;
        for (const uint32_t line : c.lines) {
            known.lines.push_back(line);
            known.songs.push_back(*songs.find(line));
        }
        ListOptions options;
        options.showPlayingTimes = true;
        options.filter = FileFilter::ChosenExtensions;
        ScanList only;
        only.append("/cd/");
        only.append("/cd/Pop/");
        // The same lines, the others left out of the list by their extension.
        for (uint32_t line = 2; line < 8; ++line) {
            std::string path(scan[line]);
            if (std::find(c.lines.begin(), c.lines.end(), line) == c.lines.end()) {
                path += ".txt";
            }
            only.append(path);
        }
        options.allowedExtensions = {{"mp3", true}};
        const PreviewList preview = BuildPreview(only, 6, options, collator, {}, nullptr, &known);
        Quiet progress;
        const std::vector<Word> words =
            InsertWords(RenderCdInsert(preview, QStringLiteral("Meine CD"), &known, progress));
        QString text;
        for (const Word& word : words) {
            text += word.text + QLatin1Char(' ');
        }
        EXPECT_TRUE(text.startsWith(QStringLiteral("Meine CD Gesamtdauer ") +
                                    QString::fromLatin1(c.total) + QStringLiteral(" [Pop] 001")))
            << text.toStdString();
        // Under the heading: lower than it, above the first song.
        const auto at = [&](const QString& w) {
            return std::find_if(words.begin(), words.end(),
                                [&](const Word& word) { return word.text == w; });
        };
        ASSERT_NE(at(QStringLiteral("Gesamtdauer")), words.end());
        EXPECT_GT(at(QStringLiteral("Gesamtdauer"))->yMin, at(QStringLiteral("Meine"))->yMax - 0.5);
        EXPECT_LT(at(QStringLiteral("Gesamtdauer"))->yMax, at(QStringLiteral("001"))->yMin);
    }
}

}  // namespace
}  // namespace spurfix::exporting
