#include "export/playlist.h"

#include "engine/list_file.h"

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
// URL, the line breaks and the percent sign escaped, which players read as the path.
void AppendPath(std::string& playlist, std::string_view path, std::string_view folder) {
    if (path.find_first_of("\r\n") == std::string_view::npos) {
        playlist.append(PlaylistPath(path, folder));
        return;
    }
    playlist.append("file://");
    for (const char c : path) {
        switch (c) {
            case '\r':
                playlist.append("%0D");
                break;
            case '\n':
                playlist.append("%0A");
                break;
            case '%':
                playlist.append("%25");
                break;
            default:
                playlist.push_back(c);
        }
    }
}
}  // namespace

std::string BuildPlaylist(const PreviewList& preview, std::string_view playlistFolder) {
    std::string playlist = "#EXTM3U\r\n";
    std::string scratch;
    for (size_t i = 0; i < preview.size(); ++i) {
        const std::string_view text = preview.text(i, scratch);
        if (preview.kind(i) == EntryKind::DirectoryLabel) {
            playlist.append("# ").append(text).append("\r\n");
            continue;
        }
        playlist.append("#EXTINF:-1,").append(text).append("\r\n");
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
    const std::string playlist = BuildPlaylist(*list.lines, FolderOfListFile(target));
    if (progress.cancelled()) {
        throw Cancelled();
    }
    WriteFileBytes(target, playlist);
    progress.report(lines, lines);
    return {};
}

}  // namespace spurfix::exporting
