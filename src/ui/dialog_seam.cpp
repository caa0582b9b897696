#include "ui/dialog_seam.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "ui/application_title.h"
#include "ui/save_file_dialog.h"

namespace spurfix::ui {

namespace {
Prompter realPrompter;
Prompter* currentPrompter = &realPrompter;

void CentreOnScreen(QWidget& dialog) {
    dialog.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        dialog.move(frame.topLeft());
    }
}
}  // namespace

Prompter& CurrentPrompter() {
    return *currentPrompter;
}

void SetPrompter(Prompter* prompter) {
    currentPrompter = prompter ? prompter : &realPrompter;
}

std::unique_ptr<QMessageBox> BuildMessageBox(BoxKind kind, const QString& text) {
    auto box = std::make_unique<QMessageBox>();
    QString display = text;
    box->setText(display.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box->setWindowModality(Qt::ApplicationModal);
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    switch (kind) {
        case BoxKind::Error:
            box->setWindowTitle(QStringLiteral("Fehler"));
            box->setIcon(QMessageBox::Critical);
            break;
        case BoxKind::Confirmation: {
            box->setWindowTitle(QStringLiteral("Bestätigung"));
            box->setIcon(QMessageBox::Question);
            QPushButton* cancel =
                box->addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
            box->setEscapeButton(cancel);
            break;
        }
        case BoxKind::Plain:
            box->setWindowTitle(ApplicationTitle());
            box->setIcon(QMessageBox::NoIcon);
            break;
        case BoxKind::DefaultError:
            box->setWindowTitle(ApplicationTitle());
            box->setIcon(QMessageBox::Critical);
            break;
    }
    return box;
}

std::unique_ptr<QInputDialog> BuildInputBox(const QString& caption, const QString& prompt,
                                            const QString& initial) {
    auto box = std::make_unique<QInputDialog>();
    box->setWindowTitle(caption);
    box->setLabelText(prompt);
    box->setTextValue(initial);
    box->setOkButtonText(QStringLiteral("OK"));
    box->setCancelButtonText(QStringLiteral("Abbrechen"));
    return box;
}

std::unique_ptr<SaveFileDialog> BuildSaveDialog(const SaveRequest& request) {
    auto dialog = std::make_unique<SaveFileDialog>();
    // Qt's own dialog speaks German through the loaded translation.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(request.filter);
    dialog->setDefaultSuffix(request.defaultSuffix);
    dialog->selectFile(request.fileName);
    return dialog;
}

Answer Prompter::message(BoxKind kind, const QString& text) {
    const std::unique_ptr<QMessageBox> box = BuildMessageBox(kind, text);
    CentreOnScreen(*box);
    box->exec();
    return box->clickedButton() != nullptr &&
                   box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole
               ? Answer::Ok
               : Answer::Cancel;
}

std::optional<QString> Prompter::askText(const QString& caption, const QString& prompt,
                                         const QString& initial) {
    const std::unique_ptr<QInputDialog> box = BuildInputBox(caption, prompt, initial);
    CentreOnScreen(*box);
    if (box->exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return box->textValue();
}

std::optional<QString> Prompter::askSaveFileName(const SaveRequest& request) {
    const std::unique_ptr<SaveFileDialog> dialog = BuildSaveDialog(request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog->selectedFiles().constFirst();
}

int Prompter::runDialog(QDialog& dialog) {
    return dialog.exec();
}

}  // namespace spurfix::ui
