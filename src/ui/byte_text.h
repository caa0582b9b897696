#pragma once

#include <QString>
#include <string_view>

namespace spurfix::ui {

// A byte text from the disk as the windows show it: bytes that are not UTF-8 become
// replacement characters; the bytes themselves are kept elsewhere.
inline QString DisplayText(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace spurfix::ui
