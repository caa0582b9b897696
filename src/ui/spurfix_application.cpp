#include "ui/spurfix_application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

#include "ui/about_dialog.h"
#include "ui/choose_dir_dialog.h"
#include "ui/error_display.h"
#include "ui/fonts.h"
#include "ui/tform1.h"

namespace spurfix::ui {

SpurfixApplication::SpurfixApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool SpurfixApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void InstallGermanTranslation(QCoreApplication& application) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    }
}

void ApplyLook(QApplication& application) {
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    application.setFont(WindowFont());
}

namespace {
bool HasDisplay() {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}
}  // namespace

int RunSpurfix(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "Spurfix braucht eine grafische Anzeige, aber DISPLAY ist nicht gesetzt; "
                     "ohne Bildschirm so starten: xvfb-run -a %s\n",
                     argc > 0 ? argv[0] : "spurfix");
        return 1;
    }
    SpurfixApplication application(argc, argv);
    InstallGermanTranslation(application);
    ApplyLook(application);
    TForm1 form1;
    TChooseDirDialog chooseDirDialog;
    TForm2 form2;
    form1.attachDialogs(&chooseDirDialog, &form2);
    form1.show();
    return QApplication::exec();
}

}  // namespace spurfix::ui
