#include "ui/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace spurfix::ui {

CommandLine ParseCommandLine(const QCoreApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Spurfix liest die Lieder einer MP3-CD oder eines Verzeichnisses ein, macht aus jedem "
        "Dateinamen einen Liedtitel, nummeriert die Lieder und gibt die Liste aus."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Zeigt diese Hilfe an."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Zeigt die Version an."));
    parser.addOption(help);
    parser.addOption(version);
    // Qt's own options, as every Qt program takes them: the application has acted on
    // them, and not all of them leave the arguments. Known here, they are no error.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
          "qwindowicon", "qwindowtitle", "qmljsdebugger", "session", "display", "geometry", "style",
          "stylesheet", "name", "title", "visual"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), {}, QStringLiteral("wert"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char* name : {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    parser.addPositionalArgument(
        QStringLiteral("VERZEICHNIS"),
        QStringLiteral("Das Verzeichnis, das eingelesen werden soll (wahlweise)."),
        QStringLiteral("[VERZEICHNIS]"));

    CommandLine result;
    if (!parser.parse(application.arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        result.answered = true;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(help)) {
        std::printf("%s", qPrintable(parser.helpText()));
        result.answered = true;
        return result;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        result.answered = true;
        return result;
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) {
        std::fprintf(stderr, "Bitte nur ein Verzeichnis angeben.\n");
        result.answered = true;
        result.exitCode = 2;
        return result;
    }
    if (!folders.isEmpty()) {
        result.folder = folders.constFirst();
    }
    return result;
}

}  // namespace spurfix::ui
