#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "ui/save_file_dialog.h"

class QDialog;
class QInputDialog;
class QMessageBox;

namespace spurfix::ui {

enum class BoxKind {
    Error,         // "Fehler", stop icon, OK
    Confirmation,  // "Bestätigung", question icon, OK and Abbrechen
    Plain,         // the application's title, no icon, OK
    DefaultError,  // the application's title, stop icon, OK
};

enum class Answer { Ok, Cancel };

// Every modal dialog of the program is shown through this seam, so that a test can
// answer it instead of a person.
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual Answer message(BoxKind kind, const QString& text);
    virtual std::optional<QString> askText(const QString& caption, const QString& prompt,
                                           const QString& initial);
    virtual std::optional<QString> askSaveFileName(const SaveRequest& request);
    // The desktop's folder dialog; the folder chosen, or nothing.
    virtual std::optional<QString> askFolder(const QString& caption, const QString& initial);
    virtual int runDialog(QDialog& dialog);
};

Prompter& CurrentPrompter();
// Installs a prompter (nullptr restores the real dialogs); the caller keeps ownership.
void SetPrompter(Prompter* prompter);

// The real dialogs, built exactly as they are shown.
std::unique_ptr<QMessageBox> BuildMessageBox(BoxKind kind, const QString& text);
std::unique_ptr<QInputDialog> BuildInputBox(const QString& caption, const QString& prompt,
                                            const QString& initial);

}  // namespace spurfix::ui
