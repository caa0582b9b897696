#include "export/playlist.h"

#include "engine/list_file.h"
#include "engine/song_line.h"

namespace spurfix {

namespace {
// The path as the playlist names it: relative to its folder where it lies below it.
std::string_view PlaylistPath(std::string_view path, std::string_view folder) {
    if (folder == "/") {
        return path.substr(1);
    }
    if (path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder &&
        path[folder.size()] == '/') {
        return path.substr(folder.size() + 1);
    }
    return path;
}
// A path with a line break cannot stand on a line of its own: it is written as a file
// URL. Every byte outside RFC 3986's unreserved characters is escaped, except the "/"
// between the path's parts, so that any URL parser gives back the path byte for byte.
void AppendPath(std::string& playlist, std::string_view path, std::string_view folder) {
    if (path.find_first_of("\r\n") == std::string_view::npos) {
        playlist.append(PlaylistPath(path, folder));
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    playlist.append("file://");
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~';
        if (unreserved || byte == '/') {
            playlist.push_back(c);
        } else {
            playlist.push_back('%');
            playlist.push_back(kHex[byte >> 4]);
            playlist.push_back(kHex[byte & 0x0F]);
        }
    }
}
}  // namespace

std::string BuildPlaylist(const PreviewList& preview, std::string_view playlistFolder,
                          const SongInfoTable* times) {
    std::string playlist = "#EXTM3U\r\n";
    std::string scratch;
    for (size_t i = 0; i < preview.size(); ++i) {
        const std::string_view text = preview.text(i, scratch);
        if (preview.kind(i) == EntryKind::DirectoryLabel) {
            playlist.append("# ").append(text).append("\r\n");
            continue;
        }
        // The time goes into the entry's seconds, rounded as the list rounds it; the title
        // does not carry it twice.
        const TimedText timed = SplitPlayingTime(preview, i, text, times);
        const std::string seconds =
            timed.song != nullptr ? std::to_string((timed.song->milliseconds + 500) / 1000) : "-1";
        playlist.append("#EXTINF:").append(seconds).append(",").append(timed.text).append("\r\n");
        AppendPath(playlist, preview.sourceText(i), playlistFolder);
        playlist.append("\r\n");
    }
    return playlist;
}

}  // namespace spurfix

namespace spurfix::exporting {

std::string PlaylistOutput::write(const ExportList& list, const std::string& target,
                                  Progress& progress) const {
    const uint64_t lines = list.lines->size();
    progress.report(0, lines);
    const std::string playlist =
        BuildPlaylist(*list.lines, FolderOfListFile(target), list.songTimes);
    if (progress.cancelled()) {
        throw Cancelled();
    }
    WriteFileBytes(target, playlist);
    progress.report(lines, lines);
    return {};
}

}  // namespace spurfix::exporting
