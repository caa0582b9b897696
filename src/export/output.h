#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "engine/preview_list.h"
#include "engine/song_info.h"

namespace spurfix::exporting {

// The finished list as every output takes it, with what it was made from.
struct ExportList {
    const PreviewList* lines = nullptr;
    // The folder that was read, absolute, ending in "/".
    std::string sourceFolder;
    // What the list is called on paper: the medium's label where a whole medium was read,
    // else the folder's name (UTF-8).
    std::string heading;
    // The songs' playing times where the list shows them, as it was built with them;
    // nullptr where it shows none. An output that puts a song's time apart from its title
    // takes it from here.
    const SongInfoTable* songTimes = nullptr;
};

// How far an output has come, and whether the user wants it to stop. Called on the
// thread the output runs on.
class Progress {
  public:
    virtual ~Progress() = default;
    // `done` of `total` units, as the output counts them (lines, bytes or files).
    virtual void report(uint64_t done, uint64_t total) = 0;
    // For an output that counts bytes: `done` of `total` files, shown beside them.
    virtual void reportFiles(uint64_t done, uint64_t total) {
        static_cast<void>(done);
        static_cast<void>(total);
    }
    [[nodiscard]] virtual bool cancelled() const = 0;
};

// Ends an output that was asked to stop; what it wrote is taken back.
class Cancelled : public std::exception {
  public:
    [[nodiscard]] const char* what() const noexcept override { return "Abgebrochen"; }
};

// One way to put the list out: a text file, a playlist, a CD insert, a copy of the songs.
// Every output has this shape, so that the window runs each the same way: on a worker
// thread, with a progress bar and "Abbrechen".
class Output {
  public:
    virtual ~Output() = default;
    // Writes the list to `target` (a file, or for a copy a folder). Throws EInOutError on a
    // failure and Cancelled when stopped; either way the target's old content stays whole.
    // Returns a remark for the user where there is one to make, else "".
    virtual std::string write(const ExportList& list, const std::string& target,
                              Progress& progress) const = 0;
};

}  // namespace spurfix::exporting
