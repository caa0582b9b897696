#include "ui/spurfix_application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <optional>

#include "ui/about_dialog.h"
#include "ui/batch_export.h"
#include "ui/choose_dir_dialog.h"
#include "ui/command_line.h"
#include "ui/dialog_seam.h"
#include "ui/error_display.h"
#include "ui/fonts.h"
#include "ui/readable_marks_style.h"
#include "ui/tform1.h"

namespace spurfix::ui {

SpurfixApplication::SpurfixApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool SpurfixApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void InstallGermanTranslation(QCoreApplication& application) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    }
}

void ApplyLook(QApplication& application, bool styleChosen) {
    if (!styleChosen) {
        application.setStyle(new ReadableMarksStyle);
    }
    application.setFont(WindowFont());
}

namespace {
QIcon ApplicationIcon() {
    QIcon icon = QIcon::fromTheme(QStringLiteral("org.example.spurfix"));
    if (icon.isNull()) {
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            icon.addFile(QStringLiteral(":/icons/spurfix-%1.png").arg(size), QSize(size, size));
        }
    }
    return icon;
}

bool HasDisplay() {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// Whether the arguments hold an option: help and the version are answered without a
// window, and a wrong option is reported the same way.
bool HasOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return true;
        }
    }
    return false;
}

// Whether the user chose a style, with Qt's option or its environment variable: then
// that style is used instead of the program's own.
bool StyleChosen(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-style" || argument == "--style" || argument.starts_with("-style=") ||
            argument.starts_with("--style=")) {
            return true;
        }
    }
    const char* variable = std::getenv("QT_STYLE_OVERRIDE");
    return variable != nullptr && *variable != '\0';
}

// The folder from the command line as bytes, or an error box after the start.
void OpenFolderFromCommandLine(TForm1& form, const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const std::string bytes = QFile::encodeName(path).toStdString();
    const int fd = open(bytes.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        form.openFolder(bytes);
        return;
    }
    QTimer::singleShot(0, &form, [path] {
        CurrentPrompter().message(
            BoxKind::Error,
            QStringLiteral(
                "Dieses Verzeichnis konnte nicht gelesen werden!\r\n\r\n%1\r\n\r\n"
                "Möglicherweise gibt es das Verzeichnis nicht, oder der Zugriff ist nicht erlaubt.")
                .arg(path));
    });
}
}  // namespace

void SetIdentity(QCoreApplication& application) {
    application.setApplicationName(QStringLiteral("spurfix"));
    application.setApplicationVersion(QStringLiteral(SPURFIX_VERSION));
    application.setOrganizationDomain(QStringLiteral("example.org"));
    application.setOrganizationName(QStringLiteral("Spurfix"));
}

int RunSpurfix(int argc, char** argv) {
    if (HasOption(argc, argv)) {
        std::optional<BatchRequest> batch;
        {
            QCoreApplication terminal(argc, argv);
            SetIdentity(terminal);
            InstallGermanTranslation(terminal);
            const CommandLine commandLine = ParseCommandLine(terminal);
            if (commandLine.answered) {
                return commandLine.exitCode;
            }
            batch = commandLine.batch;
        }
        if (batch) {
            // No window: the CD insert is painted off screen, with or without a display.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            // Standard error carries the program's own German lines only: Qt's notes on
            // its environment ("XDG_RUNTIME_DIR not set") are no concern of the user's.
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
                if (type == QtFatalMsg) {
                    std::abort();
                }
            });
            QGuiApplication batchApplication(argc, argv);
            SetIdentity(batchApplication);
            InstallGermanTranslation(batchApplication);
            return RunBatchExport(*batch);
        }
    }
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "Spurfix braucht eine grafische Anzeige, aber DISPLAY ist nicht gesetzt; "
                     "ohne Bildschirm so starten: xvfb-run -a %s\n",
                     argc > 0 ? argv[0] : "spurfix");
        return 1;
    }
    const bool styleChosen = StyleChosen(argc, argv);
    // Takes Qt's own options from the arguments before the program's parser sees them.
    SpurfixApplication application(argc, argv);
    SetIdentity(application);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.spurfix"));
    QApplication::setWindowIcon(ApplicationIcon());
    InstallGermanTranslation(application);
    ApplyLook(application, styleChosen);
    const CommandLine commandLine = ParseCommandLine(application);
    if (commandLine.answered) {
        return commandLine.exitCode;
    }
    TForm1 form1;
    TChooseDirDialog chooseDirDialog;
    TForm2 form2;
    form1.attachDialogs(&chooseDirDialog, &form2);
    form1.show();
    if (commandLine.folder) {
        OpenFolderFromCommandLine(form1, *commandLine.folder);
    }
    return QApplication::exec();
}

}  // namespace spurfix::ui
