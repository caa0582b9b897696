#include "ui/error_display.h"

#include <QString>
#include <new>
#include <stdexcept>
#include <system_error>

#include "engine/in_out_error.h"

#include "ui/application_title.h"
#include "ui/dialog_seam.h"

namespace spurfix::ui {

QString WithFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

QString UserMessage(const std::exception& error) {
    // Only the program's own German messages are shown as they are; a library's or the
    // language's text ("std::bad_alloc") says nothing to a user.
    if (dynamic_cast<const EInOutError*>(&error) != nullptr) {
        return QString::fromUtf8(error.what());
    }
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return QStringLiteral("Zu wenig Arbeitsspeicher");
    }
    if (dynamic_cast<const std::length_error*>(&error) != nullptr) {
        return QStringLiteral("Eine Zeile der Liste ist zu lang");
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        return QString::fromUtf8(EInOutError::FromErrno(system->code().value()).what());
    }
    return QStringLiteral("Unbekannter Fehler");
}

void ShowDefaultError(const std::exception& error) {
    CurrentPrompter().message(BoxKind::DefaultError, WithFullStop(UserMessage(error)));
}

void ShowUnknownDefaultError() {
    CurrentPrompter().message(BoxKind::DefaultError,
                              WithFullStop(QStringLiteral("Unbekannter Fehler")));
}

}  // namespace spurfix::ui
