#pragma once

#include <QString>

namespace spurfix::ui {

// The title of an executable file: its name without folder, cut at the first full
// stop, every character after the first in lower case.
QString ApplicationTitleFor(const QString& executablePath);

// The title of the running program.
QString ApplicationTitle();

// The message as the default error display shows it: a full stop appended when the
// last character sorts after the full stop.
QString WithFullStop(const QString& message);

}  // namespace spurfix::ui
