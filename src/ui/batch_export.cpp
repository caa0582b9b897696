#include "ui/batch_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/directory_walk.h"
#include "engine/in_out_error.h"
#include "engine/list_assembly.h"
#include "export/pdf/cd_insert.h"
#include "export/playlist.h"
#include "export/text_list.h"
#include "platform/collation.h"
#include "platform/mount_type.h"
#include "ui/error_display.h"

namespace spurfix::ui {

namespace {

bool ToTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

QString Grouped(uint64_t value) {
    return QLocale(QLocale::German, QLocale::Germany).toString(static_cast<qulonglong>(value));
}

// The reading's counts on one line of the terminal, rewritten as they grow.
class TerminalWalkObserver : public WalkObserver {
  public:
    void folderEntered(std::string_view) override {}
    void showCounts(int32_t files, int32_t folders) override {
        if (ToTerminal()) {
            std::fprintf(stderr, "\rEinlesen: %s Dateien, %s Verzeichnisse",
                         qPrintable(Grouped(static_cast<uint64_t>(files))),
                         qPrintable(Grouped(static_cast<uint64_t>(folders))));
        }
    }
    [[nodiscard]] bool stopRequested() override { return false; }
};

class TerminalProgress : public exporting::Progress {
  public:
    void report(uint64_t done, uint64_t total) override {
        if (ToTerminal()) {
            std::fprintf(stderr, "\rAusgabe: %s von %s", qPrintable(Grouped(done)),
                         qPrintable(Grouped(total)));
        }
    }
    [[nodiscard]] bool cancelled() const override { return false; }
};

void EndTerminalLine() {
    if (ToTerminal()) {
        std::fputc('\n', stderr);
    }
}

std::unique_ptr<exporting::Output> OutputFor(const QString& format) {
    if (format == QStringLiteral("m3u")) {
        return std::make_unique<exporting::PlaylistOutput>();
    }
    if (format == QStringLiteral("pdf")) {
        return std::make_unique<exporting::CdInsertOutput>();
    }
    return std::make_unique<exporting::TextListOutput>();
}

QString FormatOf(const BatchRequest& request) {
    if (!request.format.isEmpty()) {
        return request.format;
    }
    const QString suffix = QFileInfo(request.listFile).suffix().toLower();
    return suffix == QStringLiteral("m3u8") ? QStringLiteral("m3u") : suffix;
}

// The options the wizard starts with, in the order asked for.
ListOptions WizardDefaults(const QString& order) {
    ListOptions options;
    if (order == QStringLiteral("ordner")) {
        options.order = PlayOrder::FolderByFolder;
    } else if (order == QStringLiteral("ebene")) {
        options.order = PlayOrder::LevelByLevel;
    }
    for (const char* extension : {"mp3", "wav", "jpg", "jpeg", "mpg", "avi"}) {
        options.allowedExtensions.push_back({extension, true});
    }
    return options;
}

std::string HeadingOf(const QString& folder) {
    const QString name = QFileInfo(folder).fileName();
    return (name.isEmpty() ? folder : name).toStdString();
}

}  // namespace

int RunBatchExport(const BatchRequest& request) {
    const QString folder = QDir::cleanPath(QFileInfo(request.folder).absoluteFilePath());
    std::string source = QFile::encodeName(folder).toStdString();
    const int fd = open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "Dieses Verzeichnis konnte nicht gelesen werden: %s\n",
                     qPrintable(folder));
        return 1;
    }
    close(fd);
    if (source.back() != '/') {
        source.push_back('/');
    }
    try {
        ScanList scanList;
        TerminalWalkObserver observer;
        const WalkCounts counts = ReadSource(source, scanList, observer);
        EndTerminalLine();
        const platform::Collator collator(platform::CollationLocaleFromEnvironment());
        const ListSource from{source, platform::FileSystemTypeOf(source)};
        const PreviewList list =
            BuildPreview(scanList, counts.files, WizardDefaults(request.order), collator, from);
        const exporting::ExportList exportList{&list, source, HeadingOf(folder)};
        TerminalProgress progress;
        const std::string target = QFile::encodeName(request.listFile).toStdString();
        const std::string remark =
            OutputFor(FormatOf(request))->write(exportList, target, progress);
        EndTerminalLine();
        if (!remark.empty()) {
            std::fprintf(stderr, "%s\n", remark.c_str());
        }
        // The list holds what could be read; the status says that it is not everything.
        if (counts.unreadableFolders > 0) {
            std::fprintf(
                stderr, "%s\n",
                counts.unreadableFolders == 1
                    ? "Einlesen beendet; 1 Verzeichnis war nicht lesbar."
                    : qPrintable(
                          QStringLiteral("Einlesen beendet; %1 Verzeichnisse waren nicht lesbar.")
                              .arg(counts.unreadableFolders)));
            return 1;
        }
    } catch (const std::exception& error) {
        EndTerminalLine();
        std::fprintf(stderr, "%s\n", qPrintable(WithFullStop(UserMessage(error))));
        return 1;
    }
    return 0;
}

}  // namespace spurfix::ui
