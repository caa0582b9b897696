#pragma once

#include <QApplication>

namespace spurfix::ui {

// The application object: whatever a handler throws ends at the default error
// display instead of ending the program.
class SpurfixApplication : public QApplication {
  public:
    SpurfixApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Name, version, organisation: what the desktop and the settings know the program by.
void SetIdentity(QCoreApplication& application);

// Loads Qt's German translation, so that its own dialogs speak German.
void InstallGermanTranslation(QCoreApplication& application);

// Style and font the windows are laid out for; the style only where the user chose none.
void ApplyLook(QApplication& application, bool styleChosen = false);

// Creates the windows and runs the event loop; the program's whole life.
int RunSpurfix(int argc, char** argv);

}  // namespace spurfix::ui
