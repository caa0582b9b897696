#include "export/text_list.h"

#include "engine/list_file.h"

namespace spurfix::exporting {

std::string TextListOutput::write(const ExportList& list, const std::string& target,
                                  Progress& progress) const {
    const uint64_t lines = list.lines->size();
    progress.report(0, lines);
    if (progress.cancelled()) {
        throw Cancelled();
    }
    WriteListFile(target, *list.lines);
    progress.report(lines, lines);
    return {};
}

}  // namespace spurfix::exporting
