#pragma once

#include <QString>
#include <exception>
#include <utility>

namespace spurfix::ui {

// The message as the default error display shows it: a full stop appended when the
// last character sorts after the full stop.
QString WithFullStop(const QString& message);

// The message a user is shown for an error: the program's own German messages as they
// are, a German message of its kind for every other.
QString UserMessage(const std::exception& error);

// Shows an error that left a handler: the application's title as caption, a stop icon,
// one OK button, the message with its full stop. The program goes on.
void ShowDefaultError(const std::exception& error);
void ShowUnknownDefaultError();

// Runs a handler so that no exception leaves it: what it throws goes to the default
// error display.
template <class Handler>
void RunGuarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        ShowDefaultError(error);
    } catch (...) {
        ShowUnknownDefaultError();
    }
}

}  // namespace spurfix::ui
