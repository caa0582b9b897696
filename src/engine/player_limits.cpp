#include "engine/player_limits.h"

namespace spurfix {

std::string PlayerLimitHint(const ListFacts& facts) {
    const auto n = [](int32_t value) { return std::to_string(value); };
    if (facts.mostSongsInAFolder > kPlayerSongsPerFolder) {
        return "Hinweis: " + n(facts.mostSongsInAFolder) +
               " Lieder in einem Verzeichnis; viele Spieler lesen nur " + n(kPlayerSongsPerFolder) +
               ".";
    }
    if (facts.foldersWithSongs > kPlayerFolders) {
        return "Hinweis: " + n(facts.foldersWithSongs) +
               " Verzeichnisse mit Liedern; viele Spieler lesen nur " + n(kPlayerFolders) + ".";
    }
    if (facts.deepestFolderWithSongs > kPlayerLevels) {
        return "Hinweis: Lieder " + n(facts.deepestFolderWithSongs) +
               " Ebenen tief; viele Spieler lesen nur " + n(kPlayerLevels) + ".";
    }
    if (facts.longestName > kJolietNameLength) {
        return "Hinweis: Ein Name hat " + n(facts.longestName) + " Zeichen; Joliet kürzt ihn auf " +
               n(kJolietNameLength) + ".";
    }
    if (facts.foldersSplit > 0) {
        return std::string("Hinweis: Die Lieder ") +
               (facts.foldersSplit == 1 ? "eines Verzeichnisses"
                                        : "von " + n(facts.foldersSplit) + " Verzeichnissen") +
               " stehen nicht beisammen; „CD-Spieler: Ordner für Ordner“ nummeriert wie die "
               "meisten Spieler.";
    }
    return {};
}

}  // namespace spurfix
