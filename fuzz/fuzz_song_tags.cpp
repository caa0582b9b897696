// Damaged song files of every format: the first byte picks the format as a file's
// extension would, the rest are the file's bytes. Reading them must end, without a
// crash, with texts that are single bounded lines and a time that is known or -1.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tags/song_file.h"

namespace {
void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
void CheckText(const std::string& text) {
    Check(text.size() <= 250);
    for (const char c : text) {
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
}
constexpr std::string_view kExtensions[] = {"mp3", "ogg", "flac", "m4a",  "wma", "ape",
                                            "mpc", "wav", "aiff", "opus", "wv",  "oga"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view extension = kExtensions[data[0] % std::size(kExtensions)];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const spurfix::SongInfo song =
        spurfix::tags::ReadSongBytes(bytes, extension, spurfix::tags::SongParts::TagsAndTime);
    for (const std::string* text :
         {&song.title, &song.artist, &song.album, &song.year, &song.track}) {
        CheckText(*text);
    }
    Check(song.milliseconds >= -1);
    return 0;
}
