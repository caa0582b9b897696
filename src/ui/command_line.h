#pragma once

#include <QString>
#include <optional>

class QCoreApplication;

namespace spurfix::ui {

// What the command line asks for: help or the version (answered on the terminal, no
// window needed), or a start, with a folder to read when one was given.
struct CommandLine {
    bool answered = false;  // help or version printed: the program ends here
    int exitCode = 0;
    std::optional<QString> folder;
};

// Reads the arguments with Qt's parser, in German. Needs an application object with
// the German translation installed. Without `reportErrors` only help and the version
// are answered: before the window's application has taken Qt's own options (-style,
// -platform, -reverse, ...) from the arguments, those would look unknown.
CommandLine ParseCommandLine(const QCoreApplication& application, bool reportErrors = true);

}  // namespace spurfix::ui
