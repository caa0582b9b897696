#include "ui/dialog_seam.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "ui/application_title.h"
#include "ui/screen_centre.h"

namespace spurfix::ui {

namespace {
Prompter realPrompter;
Prompter* currentPrompter = &realPrompter;

// Centred on the screen once laid out: its size is known only when it is shown.
template <class Dialog>
class Centred : public Dialog {
  protected:
    void showEvent(QShowEvent* event) override {
        Dialog::showEvent(event);
        CentreOnScreen(*this);
    }
};
}  // namespace

Prompter& CurrentPrompter() {
    return *currentPrompter;
}

void SetPrompter(Prompter* prompter) {
    currentPrompter = prompter ? prompter : &realPrompter;
}

std::unique_ptr<QMessageBox> BuildMessageBox(BoxKind kind, const QString& text) {
    std::unique_ptr<QMessageBox> box = std::make_unique<Centred<QMessageBox>>();
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
    std::unique_ptr<QInputDialog> box = std::make_unique<Centred<QInputDialog>>();
    box->setWindowTitle(caption);
    box->setLabelText(prompt);
    box->setTextValue(initial);
    box->setOkButtonText(QStringLiteral("OK"));
    box->setCancelButtonText(QStringLiteral("Abbrechen"));
    return box;
}

Answer Prompter::message(BoxKind kind, const QString& text) {
    const std::unique_ptr<QMessageBox> box = BuildMessageBox(kind, text);
    box->exec();
    return box->clickedButton() != nullptr &&
                   box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole
               ? Answer::Ok
               : Answer::Cancel;
}

std::optional<QString> Prompter::askText(const QString& caption, const QString& prompt,
                                         const QString& initial) {
    const std::unique_ptr<QInputDialog> box = BuildInputBox(caption, prompt, initial);
    if (box->exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return box->textValue();
}

std::optional<QString> Prompter::askSaveFileName(const SaveRequest& request) {
    const std::unique_ptr<SaveFileDialog> dialog = BuildSaveDialog(
        request,
        [](const QString& message) { CurrentPrompter().message(BoxKind::Error, message); });
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog->selectedFiles().constFirst();
}

std::optional<QString> Prompter::askFolder(const QString& caption, const QString& initial) {
    const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(), caption,
                                                             initial, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

int Prompter::runDialog(QDialog& dialog) {
    return dialog.exec();
}

}  // namespace spurfix::ui
