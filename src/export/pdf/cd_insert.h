#pragma once

#include <QByteArray>
#include <QString>

#include "engine/preview_list.h"
#include "engine/song_info.h"
#include "export/output.h"

namespace spurfix::exporting {

// The song list as a PDF to print on A4 and cut out for a CD case: squares of 12 cm with
// cut marks, two to a page, as many as the list needs. The list runs in columns with
// its numbers aligned and folder labels in bold, in the largest size (at least 6 pt)
// that needs no more squares than 6 pt would; the first square carries `heading`, and
// "Seite 1 von 3" numbers the squares when there is more than one. Rows break between
// words, and inside a word, with a hyphen, only where the word is wider than its column.
// The text is real text, its font embedded. Where the list shows playing times (`times`,
// the table it was built with), each song's time stands right-aligned in its first row,
// its title wrapping before the times' column, and the first square says the total under
// the heading when every song's time is known. Throws Cancelled when `progress` says so.
QByteArray RenderCdInsert(const PreviewList& preview, const QString& heading,
                          const SongInfoTable* times, Progress& progress);
QByteArray RenderCdInsert(const PreviewList& preview, const QString& heading, Progress& progress);
QByteArray RenderCdInsert(const PreviewList& preview, const QString& heading);

// How the list is laid out, for a test that wants to know.
struct CdInsertLayout {
    double fontPoints = 0;
    int columns = 0;
    int squares = 0;
};
CdInsertLayout LayOutCdInsert(const PreviewList& preview, const SongInfoTable* times = nullptr);

// The insert as a PDF file, headed with the list's heading.
class CdInsertOutput : public Output {
  public:
    std::string write(const ExportList& list, const std::string& target,
                      Progress& progress) const override;
};

}  // namespace spurfix::exporting
