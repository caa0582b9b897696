#pragma once

#include <string>

#include "engine/list_file.h"

namespace spurfix::test {

// The code and message a failed export gives, or "written".
inline std::string ExportOutcome(const std::string& fileName, const PreviewList& preview) {
    try {
        WriteListFile(fileName, preview);
        return "written";
    } catch (const EInOutError& error) {
        return std::to_string(error.code()) + " " + error.what();
    }
}

}  // namespace spurfix::test
