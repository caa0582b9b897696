#pragma once

#include <string>
#include <string_view>

#include "engine/in_out_error.h"
#include "engine/preview_list.h"
#include "platform/safe_file.h"

namespace spurfix {

// Progress and cancel for an export on a worker thread (see platform/safe_file.h).
using WriteControl = platform::WriteControl;

// Writes every line of the preview, each followed by CR LF, to `fileName`; links are
// followed, and a link to a missing file creates that file. An existing file keeps
// its owner, group, mode, ACL, extended attributes and other names. Whatever fails,
// and wherever the program is killed, the file holds its complete earlier content or
// the complete list (or, while it was overwritten in place, its old content lies in a
// backup beside it; see platform/safe_file.h). Throws EInOutError; with a control whose
// cancel was asked, WriteCancelled.
void WriteListFile(const std::string& fileName, const PreviewList& preview);
void WriteListFile(const std::string& fileName, const PreviewList& preview,
                   const WriteControl& control);

// Writes `bytes` to `fileName` as they are, with the same care.
void WriteFileBytes(const std::string& fileName, std::string_view bytes);
void WriteFileBytes(const std::string& fileName, std::string_view bytes,
                    const WriteControl& control);

// The folder the file `fileName` lies in once links are followed, as WriteListFile
// finds it: an absolute path without a trailing "/" (except "/" itself).
std::string FolderOfListFile(const std::string& fileName);

}  // namespace spurfix
