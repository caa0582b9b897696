#pragma once

#include <string>

#include "engine/in_out_error.h"
#include "engine/preview_list.h"

namespace spurfix {

// Writes every line of the preview, each followed by CR LF, to `fileName`; links are
// followed, and a link to a missing file creates that file. An existing file keeps
// its owner, group, mode, ACL, extended attributes and other names. Whatever fails,
// and wherever the program is killed, the file holds its complete earlier content or
// the complete list. Throws EInOutError.
void WriteListFile(const std::string& fileName, const PreviewList& preview);

}  // namespace spurfix
