#include "library_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace spurfix::bench {

namespace {
const char* const kArtistStems[] = {"Müller",     "Éric Dupont", "The Band",     "Ærø Quartet",
                                    "Señor Ruiz", "Björk Lind",  "ABBA Tribute", "Zoë"};
const char* const kTitleWords[] = {"Liebe", "Nacht", "Sommer", "Straße", "Herz",
                                   "Regen", "Café",  "Blue",   "Night",  "Öl"};

void Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path);
    }
    close(fd);
}

void MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create " + path);
    }
}
}  // namespace

size_t EnsureLibrary(const std::string& root, const LibraryShape& shape) {
    const std::string done = root + "/.complete";
    std::ifstream marker(done);
    size_t entries = 0;
    if (marker >> entries) {
        return entries;
    }
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::fprintf(stderr, "making %s ...\n", root.c_str());
    entries = 0;
    for (int a = 0; a < shape.artists; ++a) {
        const std::string artist = std::string(kArtistStems[a % 8]) + " " + std::to_string(a);
        const std::string artistPath = root + "/" + artist;
        MakeFolder(artistPath);
        ++entries;
        for (int b = 0; b < shape.albumsPerArtist; ++b) {
            const std::string albumPath =
                artistPath + "/Album " + std::to_string(b) + " (" + kTitleWords[(a + b) % 10] + ")";
            MakeFolder(albumPath);
            ++entries;
            for (int t = 1; t <= shape.tracksPerAlbum; ++t) {
                char number[16];
                std::snprintf(number, sizeof number, "%02d", t);
                Touch(albumPath + "/" + number + " - " + artist + " - " +
                      kTitleWords[(a + b + t) % 10] + " " + std::to_string(t) + ".mp3");
                ++entries;
            }
            Touch(albumPath + "/cover.jpg");
            ++entries;
            if (b % 2 == 0) {
                Touch(albumPath + "/.hidden-index");
                ++entries;
            }
        }
        if (a % 100 == 1) {
            // A link to another artist's first album, walked like a folder.
            const std::string link = artistPath + "/Best of";
            if (symlink(("../" + std::string(kArtistStems[(a - 1) % 8]) + " " +
                         std::to_string(a - 1) + "/Album 0 (" + kTitleWords[(a - 1) % 10] + ")")
                            .c_str(),
                        link.c_str()) == 0) {
                entries += 1 + static_cast<size_t>(shape.tracksPerAlbum) + 2;
            }
        }
    }
    ++entries;  // the marker file is an entry too
    std::ofstream(done) << entries << "\n";
    return entries;
}

}  // namespace spurfix::bench
