#pragma once

#include <stdexcept>
#include <string>

#include "engine/preview_list.h"

namespace spurfix {

// An input/output failure with its numeric code and German message.
class EInOutError : public std::runtime_error {
  public:
    EInOutError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    [[nodiscard]] int code() const { return code_; }

    // The code and message for a failure that the system reports as `errnoValue`.
    static EInOutError FromErrno(int errnoValue);

  private:
    int code_;
};

// Writes every line of the preview, each followed by CR LF, to `fileName`. A regular
// file is replaced only once the whole list is written, so that a failure leaves the
// earlier content in place. Throws EInOutError.
void WriteListFile(const std::string& fileName, const PreviewList& preview);

}  // namespace spurfix
