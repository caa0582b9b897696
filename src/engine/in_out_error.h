#pragma once

#include <stdexcept>
#include <string>

namespace spurfix {

// An input/output failure with its numeric code and German message, as the user sees it:
// listing a folder or writing the list file.
class EInOutError : public std::runtime_error {
  public:
    EInOutError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    [[nodiscard]] int code() const { return code_; }

    // The code and message for a failure that the system reports as `errnoValue`.
    static EInOutError FromErrno(int errnoValue);

  private:
    int code_;
};

// An export that the user cancelled: the writer was ended and the old file is whole.
// Not an error to show.
class WriteCancelled : public std::exception {
  public:
    [[nodiscard]] const char* what() const noexcept override { return "Abgebrochen"; }
};

}  // namespace spurfix
