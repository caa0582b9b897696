// Reading tags and playing times from files made here: MP3 frames of silence with and
// without a VBR header, and Ogg Vorbis, FLAC, MP4 and WMA files made by ffmpeg (TagLib
// cannot write them from nothing), all tagged through TagLib.
#include "tags/song_file.h"

#include <apetag.h>
#include <fileref.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <sys/stat.h>
#include <tag.h>

#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "support/mp3_frames.h"
#include "support/temp_tree.h"

namespace spurfix::tags {
namespace {

using test::ConstantRates;
using test::kMp3FrameMilliseconds;
using test::Mp3Audio;
using test::VariableRates;
using test::VbrHeader;

struct Texts {
    std::string title, artist, album;
    unsigned year = 0, track = 0;
};
const Texts kFull{"Sommerregen", "Die Ärzte", "Best of", 1998, 7};

enum class TagKind { None, Id3v2, Id3v1, Ape, Native };

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void TagMp3(const std::string& path, TagKind kind, const Texts& texts) {
    TagLib::MPEG::File file(path.c_str());
    ASSERT_TRUE(file.isValid()) << path;
    TagLib::Tag* tag = nullptr;
    int which = TagLib::MPEG::File::NoTags;
    switch (kind) {
        case TagKind::Id3v2:
            tag = file.ID3v2Tag(true);
            which = TagLib::MPEG::File::ID3v2;
            break;
        case TagKind::Id3v1:
            tag = file.ID3v1Tag(true);
            which = TagLib::MPEG::File::ID3v1;
            break;
        case TagKind::Ape:
            tag = file.APETag(true);
            which = TagLib::MPEG::File::APE;
            break;
        default:
            return;
    }
    tag->setTitle(TagLib::String(texts.title, TagLib::String::UTF8));
    tag->setArtist(TagLib::String(texts.artist, TagLib::String::UTF8));
    tag->setAlbum(TagLib::String(texts.album, TagLib::String::UTF8));
    tag->setYear(texts.year);
    tag->setTrack(texts.track);
    ASSERT_TRUE(file.save(which));
}

void TagAny(const std::string& path, const Texts& texts) {
    TagLib::FileRef file(path.c_str());
    ASSERT_FALSE(file.isNull()) << path;
    file.tag()->setTitle(TagLib::String(texts.title, TagLib::String::UTF8));
    file.tag()->setArtist(TagLib::String(texts.artist, TagLib::String::UTF8));
    file.tag()->setAlbum(TagLib::String(texts.album, TagLib::String::UTF8));
    file.tag()->setYear(texts.year);
    file.tag()->setTrack(texts.track);
    ASSERT_TRUE(file.save()) << path;
}

// 2.5 s of silence in the format of the extension, made by ffmpeg.
void MakeWithFfmpeg(const std::string& path, const char* codec) {
    const std::string command =
        std::string(
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i anullsrc=r=44100:cl=mono "
            "-t 2.5 -c:a ") +
        codec + " '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct Case {
    const char* what;
    const char* name;
    std::optional<Texts> expected;  // none: no title
    int32_t milliseconds;           // the known length; -1: none may be given
    int32_t tolerance;              // what the container's own rounding allows
};

class SongFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tree_ = new test::TempTree;
        const auto put = [](const char* name, const std::string& bytes) {
            WriteFile(tree_->path(name), bytes);
        };
        put("cbr-id3v2.mp3", Mp3Audio(ConstantRates(125), VbrHeader::None));
        TagMp3(tree_->path("cbr-id3v2.mp3"), TagKind::Id3v2, kFull);
        put("vbr-id3v1.mp3", Mp3Audio(VariableRates(300), VbrHeader::None));
        TagMp3(tree_->path("vbr-id3v1.mp3"), TagKind::Id3v1, kFull);
        put("vbr-xing-ape.mp3", Mp3Audio(VariableRates(300), VbrHeader::Xing));
        TagMp3(tree_->path("vbr-xing-ape.mp3"), TagKind::Ape, kFull);
        put("cbr-info-untagged.mp3", Mp3Audio(ConstantRates(2500, 64), VbrHeader::Info));
        put("vbr-partial.mp3", Mp3Audio(VariableRates(90), VbrHeader::None));
        TagMp3(tree_->path("vbr-partial.mp3"), TagKind::Id3v2, Texts{"Nur Titel", "", "", 0, 0});
        // A tag whose header claims more bytes than the file has, followed by audio.
        static constexpr char kDamaged[] = "ID3\x04\x00\x00\x7F\x7F\x7F\x7F";
        std::string damaged(kDamaged, sizeof kDamaged - 1);
        damaged += "TIT2\x7F\x7F\x7F\x7F";
        put("damaged-id3v2.mp3", damaged + Mp3Audio(ConstantRates(50), VbrHeader::None));
        // A text frame that claims a size beyond its tag.
        static constexpr char kLying[] =
            "ID3\x03\x00\x00\x00\x00\x00\x14TIT2\x00\x00\x7F\xFF\x00\x00\x00Hi"
            "\x00\x00\x00\x00\x00\x00\x00";  // padding up to the 20 bytes the tag claims
        std::string lying(kLying, sizeof kLying - 1);
        put("lying-frame.mp3", lying + Mp3Audio(ConstantRates(50), VbrHeader::None));
        // Larger than what is read into memory at once: read from the file.
        put("large-vbr-id3v2.mp3", Mp3Audio(VariableRates(6000), VbrHeader::None));
        TagMp3(tree_->path("large-vbr-id3v2.mp3"), TagKind::Id3v2, kFull);
        put("large-xing-id3v1.mp3", Mp3Audio(VariableRates(6000), VbrHeader::Xing));
        TagMp3(tree_->path("large-xing-id3v1.mp3"), TagKind::Id3v1, kFull);
        put("not-audio.mp3", std::string(5000, 'x'));
        put("empty.mp3", "");
        put("long-title.mp3", Mp3Audio(ConstantRates(10), VbrHeader::None));
        TagMp3(tree_->path("long-title.mp3"), TagKind::Id3v2,
               Texts{"Zeile\neins\t" + std::string(1000, 'a'), "", "", 0, 0});
        ASSERT_EQ(mkfifo(tree_->path("pipe.mp3").c_str(), 0600), 0);

        for (const auto& [name, codec] :
             {std::pair{"vorbis.ogg", "libvorbis"}, std::pair{"lossless.flac", "flac"},
              std::pair{"aac.m4a", "aac"}, std::pair{"windows.wma", "wmav2"},
              std::pair{"untagged.flac", "flac"}}) {
            MakeWithFfmpeg(tree_->path(name), codec);
        }
        for (const char* name : {"vorbis.ogg", "lossless.flac", "aac.m4a", "windows.wma"}) {
            TagAny(tree_->path(name), kFull);
        }
    }
    static void TearDownTestSuite() {
        delete tree_;
        tree_ = nullptr;
    }

    static test::TempTree* tree_;
};
test::TempTree* SongFiles::tree_ = nullptr;

TEST_F(SongFiles, TagsAndTimesOfEachFormat) {
    const Texts partial{"Nur Titel", "", "", 0, 0};
    const Case cases[] = {
        {"ID3v2 on constant bit rate", "cbr-id3v2.mp3", kFull, 125 * kMp3FrameMilliseconds, 0},
        {"ID3v1 on variable bit rate without a VBR header", "vbr-id3v1.mp3", kFull,
         300 * kMp3FrameMilliseconds, 0},
        {"APE on variable bit rate with a Xing header", "vbr-xing-ape.mp3", kFull,
         300 * kMp3FrameMilliseconds, 0},
        {"no tag, Info header", "cbr-info-untagged.mp3", std::nullopt, 2500 * kMp3FrameMilliseconds,
         0},
        {"title alone", "vbr-partial.mp3", partial, 90 * kMp3FrameMilliseconds, 0},
        {"large, without a VBR header", "large-vbr-id3v2.mp3", kFull, 6000 * kMp3FrameMilliseconds,
         0},
        {"large, with a Xing header", "large-xing-id3v1.mp3", kFull, 6000 * kMp3FrameMilliseconds,
         0},
        {"Vorbis comment", "vorbis.ogg", kFull, 2500, 1},
        {"FLAC", "lossless.flac", kFull, 2500, 1},
        {"MP4", "aac.m4a", kFull, 2500, 30},
        {"WMA", "windows.wma", kFull, 2500, 100},
        {"FLAC without tags", "untagged.flac", std::nullopt, 2500, 1},
        {"not audio", "not-audio.mp3", std::nullopt, -1, 0},
        {"empty", "empty.mp3", std::nullopt, -1, 0},
        {"named pipe", "pipe.mp3", std::nullopt, -1, 0},
        {"missing", "missing.mp3", std::nullopt, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SongInfo song = ReadSongFile(tree_->path(c.name), SongParts::TagsAndTime);
        const Texts expected = c.expected.value_or(Texts{});
        EXPECT_EQ(song.title, expected.title);
        EXPECT_EQ(song.artist, expected.artist);
        EXPECT_EQ(song.album, expected.album);
        EXPECT_EQ(song.year, expected.year == 0 ? "" : std::to_string(expected.year));
        EXPECT_EQ(song.track, expected.track == 0 ? "" : std::to_string(expected.track));
        if (c.milliseconds < 0) {
            EXPECT_EQ(song.milliseconds, -1);
        } else {
            EXPECT_NEAR(song.milliseconds, c.milliseconds, c.tolerance);
        }
        EXPECT_FALSE(song.timeIsEstimate);

        // Without the time, the same texts and no time.
        const SongInfo tagsOnly = ReadSongFile(tree_->path(c.name), SongParts::Tags);
        EXPECT_EQ(tagsOnly.title, song.title);
        EXPECT_EQ(tagsOnly.artist, song.artist);
        EXPECT_EQ(tagsOnly.milliseconds, -1);
    }
}

// A damaged tag gives no title; the time is the right one or none, never a wrong one.
TEST_F(SongFiles, DamagedTagsGiveNoTitleAndNoWrongTime) {
    for (const char* name : {"damaged-id3v2.mp3", "lying-frame.mp3"}) {
        SCOPED_TRACE(name);
        const SongInfo song = ReadSongFile(tree_->path(name), SongParts::TagsAndTime);
        EXPECT_NE(song.title, "Hi");
        EXPECT_TRUE(song.title.empty() || song.title.size() <= 250);
        EXPECT_TRUE(song.milliseconds == -1 || song.milliseconds == 50 * kMp3FrameMilliseconds)
            << song.milliseconds;
    }
}

TEST_F(SongFiles, TitleIsOneBoundedLine) {
    const SongInfo song = ReadSongFile(tree_->path("long-title.mp3"), SongParts::Tags);
    EXPECT_EQ(song.title.substr(0, 16), "Zeile eins aaaaa");
    EXPECT_EQ(song.title.size(), 250U);
}

// The bytes of a file read from memory give what the file gives.
TEST_F(SongFiles, BytesInMemoryReadLikeTheFile) {
    for (const char* name : {"cbr-id3v2.mp3", "vbr-id3v1.mp3", "vorbis.ogg", "aac.m4a"}) {
        SCOPED_TRACE(name);
        const std::string bytes = tree_->read(name);
        const std::string_view extension =
            std::string_view(name).substr(std::string_view(name).rfind('.') + 1);
        const SongInfo fromMemory = ReadSongBytes(bytes, extension, SongParts::TagsAndTime);
        const SongInfo fromFile = ReadSongFile(tree_->path(name), SongParts::TagsAndTime);
        EXPECT_EQ(fromMemory.title, fromFile.title);
        EXPECT_EQ(fromMemory.artist, fromFile.artist);
        EXPECT_EQ(fromMemory.milliseconds, fromFile.milliseconds);
    }
}

}  // namespace
}  // namespace spurfix::tags
