#include "ui/save_file_dialog.h"

#include <QFileInfo>

namespace spurfix::ui {

SaveFileDialog::SaveFileDialog(ReportError reportError) : reportError_(std::move(reportError)) {}

void SaveFileDialog::accept() {
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo chosen(files.constFirst());
        if (!chosen.isDir() && !chosen.absoluteDir().exists()) {
            reportError_(
                QStringLiteral("Der Ordner \"%1\" existiert nicht.").arg(chosen.absolutePath()));
            return;
        }
    }
    QFileDialog::accept();
}

std::unique_ptr<SaveFileDialog> BuildSaveDialog(const SaveRequest& request,
                                                SaveFileDialog::ReportError reportError) {
    auto dialog = std::make_unique<SaveFileDialog>(std::move(reportError));
    // Qt's own dialog speaks German through the loaded translation.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(request.filter);
    dialog->setDefaultSuffix(request.defaultSuffix);
    dialog->selectFile(request.fileName);
    return dialog;
}

}  // namespace spurfix::ui
