#include "tags/song_file.h"

#include <audioproperties.h>
#include <fileref.h>
#include <mpegfile.h>
#include <mpegproperties.h>
#include <tag.h>
#include <tbytevectorstream.h>
#include <tdebuglistener.h>
#include <tfilestream.h>
#include <xingheader.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <utility>

#include "tags/mp3_time.h"

namespace spurfix::tags {

namespace {

// A text of a tag is one line of the list: its length is bounded and control
// characters become spaces, whatever the tag claims.
constexpr size_t kLongestText = 250;

// Files up to this size are read into memory whole (see ReadSongFile).
constexpr off_t kReadWhole = 1 << 20;

std::string Cleaned(const TagLib::String& text) {
    std::string bytes = text.to8Bit(true);
    if (bytes.size() > kLongestText) {
        size_t end = kLongestText;
        while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) {
            --end;  // not inside a UTF-8 sequence
        }
        bytes.resize(end);
    }
    for (char& c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    const size_t first = bytes.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return bytes.substr(first, bytes.find_last_not_of(' ') - first + 1);
}

// Damaged files make TagLib talk; the user sees the outcome (no title) instead.
class SilentListener : public TagLib::DebugListener {
  public:
    void printMessage(const TagLib::String& /*message*/) override {}
};

void SilenceTagLibOnce() {
    static std::once_flag once;
    static SilentListener silent;
    std::call_once(once, [] { TagLib::setDebugListener(&silent); });
}

// An MP3's time from TagLib is exact only where a VBR header (Xing, Info or VBRI) counts
// its frames; without one TagLib guesses from the first frame, which is wrong for a
// variable bit rate, so the frames are counted.
int32_t Milliseconds(TagLib::File& file, TagLib::IOStream& stream) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) {
        const TagLib::MPEG::Properties* properties = mpeg->audioProperties();
        const TagLib::MPEG::XingHeader* header =
            properties != nullptr ? properties->xingHeader() : nullptr;
        if (header != nullptr && header->isValid() && header->totalFrames() > 0 &&
            properties->lengthInMilliseconds() > 0) {
            return properties->lengthInMilliseconds();
        }
        return ScannedMp3Milliseconds(stream);
    }
    const TagLib::AudioProperties* properties = file.audioProperties();
    return properties != nullptr && properties->lengthInMilliseconds() > 0
               ? properties->lengthInMilliseconds()
               : -1;
}

SongInfo ReadSong(TagLib::IOStream& stream, SongParts parts) {
    SilenceTagLibOnce();
    SongInfo song;
    const bool withTime = parts == SongParts::TagsAndTime;
    // Fast is enough: an MP3's time is taken from TagLib only where a VBR header counts
    // its frames, which every read style reads the same; the other formats' headers
    // state their length.
    const TagLib::FileRef ref(&stream, withTime, TagLib::AudioProperties::Fast);
    TagLib::File* file = ref.file();
    if (file == nullptr || !file->isValid()) {
        return song;
    }
    if (const TagLib::Tag* tag = file->tag()) {
        song.title = Cleaned(tag->title());
        song.artist = Cleaned(tag->artist());
        song.album = Cleaned(tag->album());
        if (tag->year() != 0) {
            song.year = std::to_string(tag->year());
        }
        if (tag->track() != 0) {
            song.track = std::to_string(tag->track());
        }
    }
    if (withTime) {
        song.milliseconds = Milliseconds(*file, stream);
    }
    return song;
}

// A stream over bytes in memory whose name carries the extension, so that TagLib picks
// the format as it would for a file of that name.
class NamedByteStream : public TagLib::ByteVectorStream {
  public:
    NamedByteStream(const TagLib::ByteVector& bytes, std::string name)
        : TagLib::ByteVectorStream(bytes), name_(std::move(name)) {}
    [[nodiscard]] TagLib::FileName name() const override { return name_.c_str(); }

  private:
    std::string name_;
};

// An opened file that keeps its name, by which TagLib picks the format.
class NamedFileStream : public TagLib::FileStream {
  public:
    NamedFileStream(int fd, const std::string& path) : TagLib::FileStream(fd, true), name_(path) {}
    [[nodiscard]] TagLib::FileName name() const override { return name_.c_str(); }

  private:
    std::string name_;
};

}  // namespace

SongInfo ReadSongFile(const std::string& path, SongParts parts) {
    // Only a regular file is read: a named pipe or a device would wait or never end.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return {};
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return {};
    }
    // A small file is read in one go and parsed in memory: TagLib seeks to its start and
    // its end for the tags and to its first frame, and a frame count reads it whole, each
    // of which costs system calls on the file.
    if (status.st_size <= kReadWhole) {
        TagLib::ByteVector bytes(static_cast<unsigned int>(status.st_size), '\0');
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;  // shorter than it was: what was read is parsed
            }
            got += static_cast<size_t>(n);
        }
        close(fd);
        bytes.resize(static_cast<unsigned int>(got));
        NamedByteStream stream(bytes, path);
        return ReadSong(stream, parts);
    }
    NamedFileStream stream(fd, path);  // closes the descriptor
    if (!stream.isOpen()) {
        close(fd);  // the stream could not take it over
        return {};
    }
    return ReadSong(stream, parts);
}

SongInfo ReadSongBytes(std::string_view bytes, std::string_view extension, SongParts parts) {
    NamedByteStream stream(
        TagLib::ByteVector(bytes.data(), static_cast<unsigned int>(bytes.size())),
        "song." + std::string(extension));
    return ReadSong(stream, parts);
}

}  // namespace spurfix::tags
