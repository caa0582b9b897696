#pragma once

#include "export/output.h"

namespace spurfix::exporting {

// The list as a text file: every line followed by CR LF, bytes as they are.
class TextListOutput : public Output {
  public:
    std::string write(const ExportList& list, const std::string& target,
                      Progress& progress) const override;
};

}  // namespace spurfix::exporting
