// The source page and the reading page: drives, folder choice, the walk with its
// progress, stop, repeat and reset.
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "engine/list_file.h"
#include "ui/byte_text.h"
#include "ui/choose_dir_dialog.h"
#include "ui/dialog_seam.h"
#include "ui/page_frame.h"
#include "ui/search_animation.h"
#include "ui/tform1.h"

namespace spurfix::ui {

namespace {

constexpr int kMountPointRole = Qt::UserRole;
// The costly part of a progress update, the repaint, runs at most once per frame.
constexpr qint64 kRepaintIntervalMs = 16;

QString DriveLabel(platform::DriveType type) {
    switch (type) {
        case platform::DriveType::Unreadable:
            return QStringLiteral(" (nicht lesbar)");
        case platform::DriveType::Removable:
            return QStringLiteral(" (Wechseldatenträger)");
        case platform::DriveType::FixedDisk:
            return QStringLiteral(" (Festplatte)");
        case platform::DriveType::Network:
            return QStringLiteral(" (Netzlaufwerk)");
        case platform::DriveType::CdRom:
            return QStringLiteral(" (CD-ROM Laufwerk)");
        case platform::DriveType::RamDisk:
            return QStringLiteral(" (RAM-Disk)");
        case platform::DriveType::Unknown:
            break;
    }
    return QStringLiteral(" (unbekannter Typ)");
}

}  // namespace

void TForm1::FillDriveList() {
    const std::vector<platform::Drive> drives =
        driveSource_ ? driveSource_() : platform::ListDrives();
    int selected = ChooseDirComboBox->currentIndex();
    for (const platform::Drive& drive : drives) {
        if (drive.type == platform::DriveType::CdRom && selected == -1) {
            selected = ChooseDirComboBox->count();
        }
        const std::string root = drive.mountPoint == "/" ? "/" : drive.mountPoint + "/";
        ChooseDirComboBox->addItem(DisplayText(drive.mountPoint) + DriveLabel(drive.type),
                                   QByteArray::fromStdString(root));
    }
    ChooseDirComboBox->setCurrentIndex(selected == -1 ? 0 : selected);
    ChooseDirComboBoxChange();
}

void TForm1::ChooseDirComboBoxChange() {
    if (ChooseDirComboBox->currentIndex() >= 0) {
        setSourcePath(ChooseDirComboBox->currentData(kMountPointRole).toByteArray().toStdString());
    }
}

void TForm1::setSourcePath(const std::string& path) {
    sourcePath_ = path;
    ChooseDirEdit->setText(DisplayText(path));
}

std::string TForm1::sourcePath() const {
    // The edit field shows names that are not UTF-8 with replacement characters: the
    // bytes behind it are kept apart, as long as the text is the one set with them.
    if (ChooseDirEdit->text() == DisplayText(sourcePath_)) {
        return sourcePath_;
    }
    return ChooseDirEdit->text().toLocal8Bit().toStdString();
}

void TForm1::ChooseDirClick() {
    ChooseDirEdit->setEnabled(!ChooseDirEdit->isEnabled());
    ChooseDirButton->setEnabled(!ChooseDirButton->isEnabled());
    SetEnabledLook(ChooseDirEdit, ChooseDirButton->isEnabled());
}

void TForm1::ChooseDirButtonClick() {
    if (chooseDirDialog_ == nullptr) {
        return;
    }
    try {
        chooseDirDialog_->DirectoryListBox1->setDirectory(sourcePath());
    } catch (const EInOutError&) {
        CurrentPrompter().message(
            BoxKind::Error,
            QStringLiteral("Dieses Laufwerk konnte nicht gelesen werden!\r\n\r\nMöglicherweise ist "
                           "kein Medium eingelegt oder es ist nicht formatiert."));
        return;
    }
    if (CurrentPrompter().runDialog(*chooseDirDialog_) == QDialog::Accepted) {
        setSourcePath(chooseDirDialog_->DirectoryListBox1->directory());
    }
}

void TForm1::ForwardToInputClick() {
    PageControl1->setCurrentWidget(Sheet_Input);
    StartInputPanel->show();
    InputPreview->clear();
    StopInput->hide();
    ReInput->hide();
}

void TForm1::StartInputPanelClick() {
    if (runActive_) {
        // Runs never nest: the stopped run finishes first, then this one starts.
        restartPending_ = true;
        return;
    }
    runActive_ = true;
    const bool forwardBefore = ForwardToFiles->isEnabled();
    BackToChooseDir->setEnabled(false);
    ForwardToFiles->setEnabled(false);
    bool completed = false;
    do {
        restartPending_ = false;
        completed = runReading();
    } while (restartPending_ && !releaseScanListAfterRun_);
    BackToChooseDir->setEnabled(true);
    ForwardToFiles->setEnabled(forwardBefore || completed);
    runActive_ = false;
    if (releaseScanListAfterRun_) {
        ScanList.reset();
        releaseScanListAfterRun_ = false;
    }
}

bool TForm1::runReading() {
    InputState = 2;
    StartInputPanel->hide();
    InputPreview->clear();
    pendingTrace_.clear();
    InputText->setText(QStringLiteral("lese ein .."));
    ShowInputCounts(0, 0);
    Animate1->play();
    ReInput->hide();
    StopInput->show();
    std::string source = sourcePath();
    if (source.empty() || source.back() != '/') {
        source.push_back('/');
    }
    spurfix::ScanList discarded;
    ReadSource(source, ScanList ? *ScanList : discarded, *this);
    flushTrace();
    const bool completed = InputState != 3;
    InputText->setText(completed ? QStringLiteral("Einlesen erfolgreich beendet!")
                                 : QStringLiteral("Einlesen abgebrochen!"));
    Animate1->stop();
    StopInput->hide();
    InputState = 1;
    return completed;
}

void TForm1::StopInputClick() {
    InputState = 3;
    StopInput->hide();
    ReInput->show();
}

void TForm1::BackToChooseDirClick() {
    StartInputPanel->show();
    InputText->clear();
    InputPreview->clear();
    ShowInputCounts(0, 0);
    if (ScanList) {
        ScanList->clear();
    }
    Animate1->stop();
    ForwardToFiles->setEnabled(false);
    PageControl1->setCurrentWidget(Sheet_Drive);
}

void TForm1::folderEntered(std::string_view folderPath) {
    if (!pendingTrace_.isEmpty()) {
        pendingTrace_.append(QLatin1Char('\n'));
    }
    pendingTrace_.append(DisplayText(folderPath));
}

void TForm1::flushTrace() {
    if (!pendingTrace_.isEmpty()) {
        InputPreview->appendPlainText(pendingTrace_);
        pendingTrace_.clear();
    }
}

void TForm1::ShowInputCounts(int32_t files, int32_t folders) {
    // The labels always hold the latest counts, but are drawn at most once per frame:
    // a label with updates disabled takes its new text without asking to be painted.
    const bool drawNow = !repaintClock_.isValid() || repaintClock_.hasExpired(kRepaintIntervalMs);
    if (InputFilesFound->updatesEnabled() != drawNow) {
        InputFilesFound->setUpdatesEnabled(drawNow);
        InputDirsFound->setUpdatesEnabled(drawNow);
    }
    if (files != shownCounts_.files) {
        shownCounts_.files = files;
        InputFilesFound->setText(QString::number(files));
    }
    if (folders != shownCounts_.folders) {
        shownCounts_.folders = folders;
        InputDirsFound->setText(QString::number(folders));
    }
    if (!drawNow && !lateCountsRepaint_.isActive()) {
        // The last counts of a burst are drawn a frame later, whatever follows.
        lateCountsRepaint_.start();
    }
    if (drawNow) {
        repaintClock_.start();
        flushTrace();
        InputFilesFound->repaint();
        InputDirsFound->repaint();
        update();
        repaint();
        if (!isActiveWindow()) {
            raise();
        }
    }
    QCoreApplication::processEvents();
}

}  // namespace spurfix::ui
