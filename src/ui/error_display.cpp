#include "ui/error_display.h"

#include <QString>

#include "ui/application_title.h"
#include "ui/dialog_seam.h"

namespace spurfix::ui {

void ShowDefaultError(const std::exception& error) {
    CurrentPrompter().message(BoxKind::DefaultError, WithFullStop(QString::fromUtf8(error.what())));
}

void ShowUnknownDefaultError() {
    CurrentPrompter().message(BoxKind::DefaultError,
                              WithFullStop(QStringLiteral("Unbekannter Fehler")));
}

}  // namespace spurfix::ui
