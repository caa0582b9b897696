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

// Reads the arguments with Qt's parser, in German; Qt's own options (-style, -platform,
// -reverse, ...) are known to it and left to the application. Needs an application
// object with the German translation installed.
CommandLine ParseCommandLine(const QCoreApplication& application);

}  // namespace spurfix::ui
