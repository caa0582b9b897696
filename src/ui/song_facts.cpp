// The songs' tags and playing times for the preview: read when an option shows them,
// only for the songs of the list, and kept per file until the next reading.
#include <QLabel>
#include <algorithm>

#include "engine/list_assembly.h"
#include "engine/song_line.h"
#include "platform/collation.h"
#include "tags/song_reading.h"
#include "ui/background_work.h"
#include "ui/tform1.h"

namespace spurfix::ui {

namespace {
// The songs of both tables in one, ascending by line; `newer` holds no line of `older`.
SongInfoTable Merged(SongInfoTable older, SongInfoTable newer) {
    SongInfoTable merged;
    merged.lines.reserve(older.lines.size() + newer.lines.size());
    merged.songs.reserve(merged.lines.capacity());
    size_t a = 0;
    size_t b = 0;
    while (a < older.lines.size() || b < newer.lines.size()) {
        const bool fromOlder =
            b == newer.lines.size() || (a < older.lines.size() && older.lines[a] < newer.lines[b]);
        SongInfoTable& from = fromOlder ? older : newer;
        size_t& at = fromOlder ? a : b;
        merged.lines.push_back(from.lines[at]);
        merged.songs.push_back(std::move(from.songs[at]));
        ++at;
    }
    return merged;
}
}  // namespace

bool TForm1::songFactsFor(const ListOptions& options, const SongInfoTable*& songs) {
    songs = nullptr;
    const SongFactsWanted wanted = SongFactsFor(options);
    if (!wanted.any()) {
        return true;
    }
    if (wanted.times && !songFactsHaveTimes_) {
        // What was read without times is read again with them.
        songFacts_ = {};
        songFactsHaveTimes_ = true;
    } else if (songFacts_.lines.empty()) {
        songFactsHaveTimes_ = wanted.times;
    }
    // The songs of the list are those of the list without tags, known without building it.
    const std::vector<uint32_t> listed = ListedSongLines(ScanList, options);
    std::vector<uint32_t> missing;
    std::set_difference(listed.begin(), listed.end(), songFacts_.lines.begin(),
                        songFacts_.lines.end(), std::back_inserter(missing));
    if (!missing.empty()) {
        tags::SongReading reading;
        const tags::SongParts parts =
            songFactsHaveTimes_ ? tags::SongParts::TagsAndTime : tags::SongParts::Tags;
        const bool finished = runInBackground(QStringLiteral("Tags"), [&](WorkProgress& work) {
            tags::SongReadingProgress progress;
            progress.onProgress = [&work](uint64_t done, uint64_t total) {
                work.report(done, total);
            };
            progress.stopRequested = [&work] { return work.cancelled(); };
            work.report(0, missing.size());
            reading = tags::ReadSongs(ScanList, missing, parts, progress);
        });
        if (!finished || !reading.complete) {
            return false;
        }
        songFacts_ = Merged(std::move(songFacts_), std::move(reading.table));
    }
    songs = &songFacts_;
    return true;
}

}  // namespace spurfix::ui
