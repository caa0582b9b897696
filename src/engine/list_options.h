#pragma once

#include <string>
#include <vector>

namespace spurfix {

enum class FileFilter {
    AllFiles,
    Mp3Only,
    ChosenExtensions,
};

// The order the songs are numbered in: as the reading (and the sort) left them, or the
// order a player counts them in (engine/player_order.h).
enum class PlayOrder {
    AsRead,          // "wie eingelesen"
    FolderByFolder,  // "CD-Spieler: Ordner für Ordner"
    LevelByLevel,    // "Autoradio: Ebene für Ebene"
};

struct AllowedExtension {
    std::string text;  // as the user typed it
    bool checked = true;
};

// The option values a preview is built from, as the pages show them.
struct ListOptions {
    bool sort = true;
    bool countPerFolder = false;
    bool folderLabels = true;
    std::string labelTemplate = "[%NAME%]";
    FileFilter filter = FileFilter::Mp3Only;
    std::vector<AllowedExtension> allowedExtensions;
    bool withoutExtension = true;
    bool withoutTrackNumber = true;
    bool justTitle = false;
    bool numbering = true;
    PlayOrder order = PlayOrder::AsRead;
    // Titles and playing times from the songs' tags; placeholders of the template:
    // %INTERPRET%, %TITEL%, %ALBUM%, %JAHR%, %TITELNR%.
    bool titlesFromTags = false;
    std::string tagTitleTemplate = "%INTERPRET% - %TITEL%";
    bool showPlayingTimes = false;
};

}  // namespace spurfix
