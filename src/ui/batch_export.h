#pragma once

#include <QString>

namespace spurfix::ui {

// The whole job from the command line, without a window: what to read and where to write.
struct BatchRequest {
    QString folder;
    QString listFile;
    QString format;  // "txt", "m3u" or "pdf"; empty: by the list file's extension
    QString order;   // "eingelesen" (the default), "ordner" or "ebene"
};

// Reads the folder with the wizard's defaults, builds the list and writes it. Progress goes
// to standard error when that is a terminal; errors go there in German. Needs an
// application object (a QGuiApplication for the PDF). The exit status: 0 only when the
// whole folder was read and the list written.
int RunBatchExport(const BatchRequest& request);

}  // namespace spurfix::ui
