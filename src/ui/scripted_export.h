#pragma once

#include <QString>

namespace spurfix::ui {

class TForm1;

// The whole job without a person, for the benchmark: from the welcome page through the
// reading of the chosen folder, the preview with the default options, to the export
// into `listFile`, and the program ends as "Abbrechen" on the last question ends it. An
// error ends it with exit code 1.
void StartScriptedExport(TForm1& form, const QString& listFile);

}  // namespace spurfix::ui
