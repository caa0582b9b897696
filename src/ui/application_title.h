#pragma once

#include <QString>

namespace spurfix::ui {

// The title of an executable file: its name without folder, cut at the first full
// stop, every character after the first in lower case.
QString ApplicationTitleFor(const QString& executablePath);

// The title of the running program.
QString ApplicationTitle();

}  // namespace spurfix::ui
