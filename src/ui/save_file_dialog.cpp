#include "ui/save_file_dialog.h"

#include <QFileInfo>

#include "ui/dialog_seam.h"

namespace spurfix::ui {

void SaveFileDialog::accept() {
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo chosen(files.constFirst());
        if (!chosen.isDir() && !chosen.absoluteDir().exists()) {
            CurrentPrompter().message(
                BoxKind::Error,
                QStringLiteral("Der Ordner \"%1\" existiert nicht.").arg(chosen.absolutePath()));
            return;
        }
    }
    QFileDialog::accept();
}

}  // namespace spurfix::ui
