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
    const QCommandLineOption output(
        {QStringLiteral("o"), QStringLiteral("ausgabe")},
        QStringLiteral("Liest VERZEICHNIS ohne Fenster mit den Voreinstellungen des Assistenten "
                       "ein und schreibt die Liste in DATEI."),
        QStringLiteral("DATEI"));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("Die Art der Liste: txt (Textdatei), m3u (Wiedergabeliste) oder pdf "
                       "(CD-Einleger); sonst nach der Endung der DATEI."),
        QStringLiteral("ART"));
    const QCommandLineOption order(
        QStringLiteral("reihenfolge"),
        QStringLiteral(
            "Die Reihenfolge der Liste: eingelesen (wie eingelesen, die Voreinstellung), "
            "ordner (Ordner für Ordner) oder ebene (Ebene für Ebene)."),
        QStringLiteral("REIHENFOLGE"));
    parser.addOption(output);
    parser.addOption(format);
    parser.addOption(order);
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
    auto refuse = [&](const QString& message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        result.answered = true;
        result.exitCode = 2;
        return result;
    };
    const QString chosenFormat = parser.value(format);
    const QString chosenOrder = parser.value(order);
    if (!chosenFormat.isEmpty() &&
        !QStringList{QStringLiteral("txt"), QStringLiteral("m3u"), QStringLiteral("pdf")}.contains(
            chosenFormat)) {
        return refuse(
            QStringLiteral("Unbekannte Art der Liste: %1 (txt, m3u oder pdf).").arg(chosenFormat));
    }
    if (!chosenOrder.isEmpty() && !QStringList{QStringLiteral("eingelesen"),
                                               QStringLiteral("ordner"), QStringLiteral("ebene")}
                                       .contains(chosenOrder)) {
        return refuse(QStringLiteral("Unbekannte Reihenfolge: %1 (eingelesen, ordner oder ebene).")
                          .arg(chosenOrder));
    }
    if (parser.isSet(output)) {
        if (!result.folder) {
            return refuse(
                QStringLiteral("Bitte das Verzeichnis angeben, das eingelesen werden soll."));
        }
        result.batch =
            BatchRequest{*result.folder, parser.value(output), chosenFormat, chosenOrder};
    } else if (!chosenFormat.isEmpty() || !chosenOrder.isEmpty()) {
        return refuse(QStringLiteral("--format und --reihenfolge gelten nur mit --ausgabe."));
    }
    return result;
}

}  // namespace spurfix::ui
