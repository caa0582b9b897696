#pragma once

#include <QString>
#include <optional>

#include "ui/batch_export.h"

class QCoreApplication;

namespace spurfix::ui {

// What the command line asks for: help or the version (answered on the terminal, no
// window needed), the whole job without a window (--ausgabe), or a start, with a folder
// to read when one was given.
struct CommandLine {
    bool answered = false;  // help or version printed, or a wrong option: the program ends
    int exitCode = 0;
    std::optional<QString> folder;
    std::optional<BatchRequest> batch;
};

// Reads the arguments with Qt's parser, in German; Qt's own options (-style, -platform,
// -reverse, ...) are known to it and left to the application. Needs an application
// object with the German translation installed.
CommandLine ParseCommandLine(const QCoreApplication& application);

}  // namespace spurfix::ui
