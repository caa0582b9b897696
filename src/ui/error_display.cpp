#include "ui/error_display.h"

#include <QString>

#include "ui/application_title.h"
#include "ui/dialog_seam.h"

namespace spurfix::ui {

QString WithFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

void ShowDefaultError(const std::exception& error) {
    CurrentPrompter().message(BoxKind::DefaultError, WithFullStop(QString::fromUtf8(error.what())));
}

void ShowUnknownDefaultError() {
    CurrentPrompter().message(BoxKind::DefaultError,
                              WithFullStop(QStringLiteral("Unbekannter Fehler")));
}

}  // namespace spurfix::ui
