#pragma once

#include <string>
#include <string_view>

#include "engine/preview_list.h"
#include "export/output.h"

namespace spurfix {

// The song list as an extended M3U playlist, in the list's order: "#EXTM3U", then for
// every file line "#EXTINF:-1," with the line's text and the file's path, so that the
// playlist plays the songs in the order of the list; a folder label becomes a comment line. A path
// below `playlistFolder` (absolute, without a trailing "/") is written relative to it,
// so that a playlist at the root of a CD's folder works on the disc; any other path is
// written whole. Paths keep their bytes; lines end in CR LF. Where the list shows playing
// times (`times`, the table it was built with), an entry whose line ends in its song's
// time carries the time in whole seconds in place of -1, and its title without it.
std::string BuildPlaylist(const PreviewList& preview, std::string_view playlistFolder,
                          const SongInfoTable* times = nullptr);

}  // namespace spurfix

namespace spurfix::exporting {

// The playlist as a file; paths below the playlist's own folder are written relative to it.
class PlaylistOutput : public Output {
  public:
    std::string write(const ExportList& list, const std::string& target,
                      Progress& progress) const override;
};

}  // namespace spurfix::exporting
