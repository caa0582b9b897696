#pragma once

#include <cstddef>
#include <string>

namespace spurfix::bench {

struct LibraryShape {
    int artists;
    int albumsPerArtist;
    int tracksPerAlbum;
};

// Makes a music library below `root` (artist / album / "NN - Artist - Title.mp3", a
// cover image per album, hidden files, accented names and a few links to folders)
// unless a finished one is there already. Returns the number of entries below root.
size_t EnsureLibrary(const std::string& root, const LibraryShape& shape);

}  // namespace spurfix::bench
