// The CD insert as a PDF reader sees it: its text is the list's lines in order, its
// pages carry two squares with their cut marks, and the font is as large as the fewest
// squares allow.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "engine/list_assembly.h"
#include "export/pdf/cd_insert.h"
#include "support/command_output.h"
#include "support/temp_tree.h"

namespace spurfix::exporting {
namespace {

std::string Output(const std::string& command) {
    return spurfix::test::CommandOutput(command);
}

// A CD of `songs` songs in albums of twelve.
ScanList MusicCd(int songs) {
    const char* words[] = {"Liebe", "Nacht", "Sommer", "Straße", "Herz",
                           "Regen", "Café",  "Blue",   "Night",  "Öl"};
    ScanList scan;
    std::string album;
    for (int i = 0; i < songs; ++i) {
        if (i % 12 == 0) {
            album = "/cd/Album " + std::to_string(i / 12 + 1) + " " + words[i / 12 % 10] + "/";
            scan.append(album);
        }
        scan.append(album, std::to_string(i % 12 + 1) + " - " + words[i % 10] + " " +
                               words[i / 10 % 10] + " " + std::to_string(i) + ".mp3");
    }
    return scan;
}

QString Words(const QString& text) {
    return text.simplified();
}

class CdInsert : public ::testing::TestWithParam<int> {};

TEST_P(CdInsert, TextIsTheListInOrderAndSquaresHaveCutMarks) {
    const int songs = GetParam();
    const ScanList scan = MusicCd(songs);
    const platform::Collator collator("de_DE");
    ListOptions options;
    const PreviewList preview = BuildPreview(scan, songs, options, collator);
    const CdInsertLayout layout = LayOutCdInsert(preview);
    const QByteArray pdf = RenderCdInsert(preview, QStringLiteral("Meine CD"));
    spurfix::test::TempTree tree;
    const std::string file = tree.path("einleger.pdf");
    std::ofstream(file, std::ios::binary).write(pdf.constData(), pdf.size());

    EXPECT_GE(layout.fontPoints, 6.0);
    EXPECT_EQ(Output("pdfinfo '" + file + "' | sed -n 's/^Pages: *//p'"),
              std::to_string((layout.squares + 1) / 2) + "\n");
    EXPECT_NE(Output("pdffonts '" + file + "'").find(" yes "), std::string::npos)
        << "the fonts are embedded";

    // The text, without the heading and the square numbers, is the list.
    QString text = QString::fromUtf8(Output("pdftotext -enc UTF-8 '" + file + "' -"));
    ASSERT_TRUE(text.startsWith(QStringLiteral("Meine CD")));
    text.remove(0, 8);
    const QRegularExpression squareNumber(QStringLiteral("Seite (\\d+) von (\\d+)"));
    int numbers = 0;
    for (auto match = squareNumber.globalMatch(text); match.hasNext(); match.next()) {
        ++numbers;
    }
    EXPECT_EQ(numbers, layout.squares > 1 ? layout.squares : 0);
    text.remove(squareNumber);
    QString expected;
    for (size_t i = 0; i < preview.size(); ++i) {
        expected += QString::fromStdString(preview.text(i)) + QLatin1Char(' ');
    }
    EXPECT_EQ(Words(text), Words(expected));

    // The cut marks of the first square, at 72 dpi one pixel a point: short lines just
    // outside its corners (the square stands 45 mm from the left, 18 mm from the top).
    const std::string pgm = Output("pdftoppm -gray -r 72 -f 1 -l 1 '" + file + "'");
    ASSERT_EQ(pgm.rfind("P5\n595 842\n255\n", 0), 0U) << "A4 at 72 dpi";
    const auto* pixels = reinterpret_cast<const unsigned char*>(pgm.data()) + 15;
    auto darkAround = [&](double xMm, double yMm) {
        const int x = static_cast<int>(xMm / 25.4 * 72);
        const int y = static_cast<int>(yMm / 25.4 * 72);
        int dark = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                dark += pixels[(y + dy) * 595 + x + dx] < 160 ? 1 : 0;
            }
        }
        return dark > 0;
    };
    for (const auto& [x, y] : {std::pair{41.0, 18.0},
                               {45.0, 14.0},
                               {169.0, 18.0},
                               {165.0, 14.0},
                               {41.0, 138.0},
                               {169.0, 138.0}}) {
        EXPECT_TRUE(darkAround(x, y)) << "no cut mark at " << x << " mm, " << y << " mm";
    }
    EXPECT_FALSE(darkAround(30, 18)) << "a mark too long";
}

INSTANTIATE_TEST_SUITE_P(Songs, CdInsert, ::testing::Values(13, 300, 3000));

// The largest font is chosen that needs no more squares than the smallest.
TEST(CdInsertLayout, LargestFontForTheFewestSquares) {
    const platform::Collator collator("de_DE");
    for (const int songs : {5, 60, 300}) {
        const ScanList scan = MusicCd(songs);
        const PreviewList preview = BuildPreview(scan, songs, ListOptions{}, collator);
        const CdInsertLayout layout = LayOutCdInsert(preview);
        EXPECT_GE(layout.fontPoints, 6.0) << songs;
        EXPECT_LE(layout.fontPoints, 14.0) << songs;
        if (songs == 5) {
            EXPECT_EQ(layout.squares, 1);
            EXPECT_EQ(layout.fontPoints, 14.0) << "a short list in the largest size";
        }
        if (songs == 300) {
            EXPECT_EQ(layout.fontPoints, 6.0);
            EXPECT_EQ(layout.columns, 3);
        }
    }
}

// The insert's text as pdftotext gives it, with the words' boxes where `boxes` is set.
std::string InsertText(const PreviewList& preview, const std::string& options) {
    const QByteArray pdf = RenderCdInsert(preview, QStringLiteral("CD"));
    spurfix::test::TempTree tree;
    const std::string file = tree.path("einleger.pdf");
    std::ofstream(file, std::ios::binary).write(pdf.constData(), pdf.size());
    return Output("pdftotext -enc UTF-8 " + options + " '" + file + "' -");
}

// Rows break between words; only a word wider than its column breaks inside, with a hyphen.
TEST(CdInsertRows, BreakBetweenWordsAndHyphenateOnlyWhatDoesNotFit) {
    const std::string words =
        "Die Fußgängerzone der kleinen Stadt am Fluss liegt still im Abendlicht und wartet "
        "auf den Morgen";
    const std::string giant(120, 'x');
    ScanList scan;
    scan.append("/cd/01 - " + words + ".mp3");
    scan.append("/cd/02 - " + giant + ".mp3");
    const platform::Collator collator("de_DE");
    const PreviewList preview = BuildPreview(scan, 2, ListOptions{}, collator);
    const QStringList rows = QString::fromStdString(InsertText(preview, "-raw"))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString wordsSeen;
    QString giantSeen;
    int giantRows = 0;
    for (const QString& row : rows) {
        if (row.contains(QLatin1Char('x'))) {
            ++giantRows;
            QString part = row;
            part.remove(QStringLiteral("002 - "));
            if (part.endsWith(QLatin1Char('-'))) {
                part.chop(1);
            } else {
                EXPECT_TRUE(row == rows.last() ||
                            !rows.at(rows.indexOf(row) + 1).contains(QLatin1Char('x')))
                    << "a row of the long word without a hyphen: " << row.toStdString();
            }
            giantSeen += part.trimmed();
        } else if (!row.startsWith(QStringLiteral("CD"))) {
            wordsSeen += row.trimmed() + QLatin1Char(' ');
        }
    }
    EXPECT_GT(giantRows, 1) << "the long word fits a row: make it longer";
    EXPECT_EQ(giantSeen.toStdString(), giant);
    // Every row ends with a whole word: the rows joined by spaces give the title back.
    EXPECT_EQ(wordsSeen.simplified().toStdString(), "001 - " + words);
}

// Without numbering a title that begins with digits is a title: it starts where a label
// starts, no number column is made of its digits.
TEST(CdInsertRows, TitlesThatBeginWithDigitsStayTitles) {
    ScanList scan;
    scan.append("/cd/Filme/");
    scan.append("/cd/Filme/2001 - Odyssee.mp3");
    scan.append("/cd/Filme/7 - Zwerge.mp3");
    const platform::Collator collator("de_DE");
    ListOptions options;
    options.numbering = false;
    options.withoutTrackNumber = false;
    const PreviewList preview = BuildPreview(scan, 2, options, collator);
    const std::string boxes = InsertText(preview, "-bbox");
    auto leftOf = [&](const std::string& word) {
        const size_t at = boxes.find(">" + word + "<");
        EXPECT_NE(at, std::string::npos) << word;
        const size_t line = boxes.rfind("<word", at);
        const size_t x = boxes.find("xMin=\"", line) + 6;
        return std::stod(boxes.substr(x));
    };
    const double label = leftOf("[Filme]");
    EXPECT_NEAR(leftOf("2001"), label, 0.5);
    EXPECT_NEAR(leftOf("7"), label, 0.5);
}

}  // namespace
}  // namespace spurfix::exporting
