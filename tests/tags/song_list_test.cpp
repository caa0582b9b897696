// The song list with titles and times from the tags, from files made and tagged here,
// read as the program reads them.
#include <fileref.h>
#include <mpegfile.h>
#include <tag.h>

#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>

#include "engine/list_assembly.h"
#include "engine/song_line.h"
#include "support/mp3_frames.h"
#include "support/temp_tree.h"
#include "tags/song_reading.h"

namespace spurfix::tags {
namespace {

using test::ConstantRates;
using test::Mp3Audio;
using test::VariableRates;
using test::VbrHeader;

void Tag(const std::string& path, const char* artist, const char* title, const char* album,
         unsigned year, unsigned track) {
    TagLib::FileRef file(path.c_str());
    ASSERT_FALSE(file.isNull()) << path;
    file.tag()->setArtist(TagLib::String(artist, TagLib::String::UTF8));
    file.tag()->setTitle(TagLib::String(title, TagLib::String::UTF8));
    file.tag()->setAlbum(TagLib::String(album, TagLib::String::UTF8));
    file.tag()->setYear(year);
    file.tag()->setTrack(track);
    ASSERT_TRUE(file.save()) << path;
}

void Ffmpeg(const std::string& path, const char* codec, const char* seconds) {
    const std::string command =
        std::string("ffmpeg -nostdin -loglevel error -y -f lavfi -i anullsrc=r=44100:cl=mono -t ") +
        seconds + " -c:a " + codec + " '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class SongList : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tree_ = new test::TempTree;
        const test::TempTree& t = *tree_;
        t.folder("Rock");
        t.folder("Pop");
        // Tags present: 125 frames, 3.0 s.
        t.file("Rock/01 - Track01.mp3", Mp3Audio(ConstantRates(125), VbrHeader::None));
        Tag(t.path("Rock/01 - Track01.mp3"), "Die Ärzte", "Sommerregen", "Best of", 1998, 7);
        // No tags: 300 frames of variable bit rate without a VBR header, 7.2 s.
        t.file("Rock/02 - Unbekannt.mp3", Mp3Audio(VariableRates(300), VbrHeader::None));
        // Partial tags, a title alone: 90 frames, 2.16 s.
        t.file("Rock/03 - Nur Titel.mp3", Mp3Audio(VariableRates(90), VbrHeader::Xing));
        Tag(t.path("Rock/03 - Nur Titel.mp3"), "", "Nur der Titel", "", 0, 0);
        // Damaged: a tag header that claims more than the file holds, and no audio frames.
        t.file("Rock/04 - Kaputt.mp3",
               std::string("ID3\x04\x00\x00\x7F\x7F\x7F\x7FTIT2", 14) + std::string(3000, '\xFF'));
        // Ogg Vorbis, 2.2 s, tagged.
        Ffmpeg(t.path("Rock/05 - Welle.ogg"), "libvorbis", "2.2");
        Tag(t.path("Rock/05 - Welle.ogg"), "Meer", "Welle", "Küste", 2020, 5);
        // FLAC with an artist but no title: 2.2 s.
        Ffmpeg(t.path("Pop/Ohne Titel.flac"), "flac", "2.2");
        Tag(t.path("Pop/Ohne Titel.flac"), "Niemand", "", "", 0, 0);
        // MP4 with all tags, 1.4 s.
        Ffmpeg(t.path("Pop/Zwei.m4a"), "aac", "1.4");
        Tag(t.path("Pop/Zwei.m4a"), "Duo", "Zweiter Song", "Paar", 2011, 2);

        for (const char* line :
             {"", "Pop/", "Pop/Ohne Titel.flac", "Pop/Zwei.m4a", "Rock/", "Rock/01 - Track01.mp3",
              "Rock/02 - Unbekannt.mp3", "Rock/03 - Nur Titel.mp3", "Rock/04 - Kaputt.mp3",
              "Rock/05 - Welle.ogg"}) {
            scan_.append(t.path(line));
        }
    }
    static void TearDownTestSuite() {
        delete tree_;
        tree_ = nullptr;
    }

    static ListOptions Options() {
        ListOptions options;
        options.filter = FileFilter::ChosenExtensions;
        for (const char* extension : {"mp3", "ogg", "flac", "m4a"}) {
            options.allowedExtensions.push_back({extension, true});
        }
        return options;
    }

    // The list as the program builds it: the songs of the list without tags are read
    // for these options, then the list is built with them.
    static std::vector<std::string> List(const ListOptions& options) {
        const platform::Collator collator("de_DE");
        const PreviewList plain = BuildPreview(scan_, 7, options, collator);
        const SongFactsWanted wanted = SongFactsFor(options);
        SongReadingProgress progress;
        const SongReading reading =
            ReadSongs(scan_, SongLinesOf(plain),
                      wanted.times ? SongParts::TagsAndTime : SongParts::Tags, progress);
        EXPECT_TRUE(reading.complete);
        const PreviewList preview =
            BuildPreview(scan_, 7, options, collator, {}, nullptr, &reading.table);
        std::vector<std::string> lines;
        for (size_t i = 0; i < preview.size(); ++i) {
            lines.push_back(preview.text(i));
        }
        return lines;
    }

    static test::TempTree* tree_;
    static ScanList scan_;
};
test::TempTree* SongList::tree_ = nullptr;
ScanList SongList::scan_;

TEST_F(SongList, TagsAndTimesByOptions) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* what;
        void (*change)(ListOptions&);
        Lines expected;
    };
    const Case cases[] = {
        {"options off: as without tags",
         [](ListOptions&) {},
         {"[Pop]", "001 - Ohne Titel", "002 - Zwei", "[Rock]", "003 - Track01", "004 - Unbekannt",
          "005 - Nur Titel", "006 - Kaputt", "007 - Welle"}},
        {"titles from the tags, default template",
         [](ListOptions& o) { o.titlesFromTags = true; },
         {"[Pop]", "001 - Ohne Titel", "002 - Duo - Zweiter Song", "[Rock]",
          "003 - Die Ärzte - Sommerregen", "004 - Unbekannt", "005 - Nur der Titel", "006 - Kaputt",
          "007 - Meer - Welle"}},
        {"every placeholder",
         [](ListOptions& o) {
             o.titlesFromTags = true;
             o.tagTitleTemplate = "%TITELNR%. %TITEL% (%ALBUM%, %JAHR%) %INTERPRET%";
         },
         {"[Pop]", "001 - Ohne Titel", "002 - 2. Zweiter Song (Paar, 2011) Duo", "[Rock]",
          "003 - 7. Sommerregen (Best of, 1998) Die Ärzte", "004 - Unbekannt",
          "005 - Nur der Titel", "006 - Kaputt", "007 - 5. Welle (Küste, 2020) Meer"}},
        {"name options apply to file-name titles only",
         [](ListOptions& o) {
             o.titlesFromTags = true;
             o.withoutExtension = false;
             o.withoutTrackNumber = false;
             o.numbering = false;
         },
         {"[Pop]", "Ohne Titel.flac", "Duo - Zweiter Song", "[Rock]", "Die Ärzte - Sommerregen",
          "02 - Unbekannt.mp3", "Nur der Titel", "04 - Kaputt.mp3", "Meer - Welle"}},
        {"playing times",
         [](ListOptions& o) { o.showPlayingTimes = true; },
         {"[Pop]", "001 - Ohne Titel (0:02)", "002 - Zwei (0:01)", "[Rock]", "003 - Track01 (0:03)",
          "004 - Unbekannt (0:07)", "005 - Nur Titel (0:02)", "006 - Kaputt",
          "007 - Welle (0:02)"}},
        {"titles, times and the folders' times",
         [](ListOptions& o) {
             o.titlesFromTags = true;
             o.showPlayingTimes = true;
             o.labelTemplate = "[%NAME%] %DAUER%";
         },
         {"[Pop] 0:04", "001 - Ohne Titel (0:02)", "002 - Duo - Zweiter Song (0:01)", "[Rock]",
          "003 - Die Ärzte - Sommerregen (0:03)", "004 - Unbekannt (0:07)",
          "005 - Nur der Titel (0:02)", "006 - Kaputt", "007 - Meer - Welle (0:02)"}},
        {"folder times without song times",
         [](ListOptions& o) { o.labelTemplate = "%NAME% (%DAUER%)"; },
         {"Pop (0:04)", "001 - Ohne Titel", "002 - Zwei", "Rock", "003 - Track01",
          "004 - Unbekannt", "005 - Nur Titel", "006 - Kaputt", "007 - Welle"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ListOptions options = Options();
        c.change(options);
        EXPECT_EQ(List(options), c.expected);
    }
}

}  // namespace
}  // namespace spurfix::tags
