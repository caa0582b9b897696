// The source page: the drive list and the choice of one folder.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QStackedWidget>

#include "engine/in_out_error.h"
#include "ui/byte_text.h"
#include "ui/choose_dir_dialog.h"
#include "ui/dialog_seam.h"
#include "ui/error_display.h"
#include "ui/fonts.h"
#include "ui/page_frame.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

namespace {

constexpr int kMountPointRole = Qt::UserRole;

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
        case platform::DriveType::Archive:
            return QStringLiteral(" (Archiv)");
        case platform::DriveType::Unknown:
            break;
    }
    return QStringLiteral(" (unbekannter Typ)");
}

}  // namespace

void TForm1::buildDrivePage() {
    Sheet_Drive = MakePage(PageControl1, QStringLiteral("Sheet_Drive"));
    PageControl1->addWidget(Sheet_Drive);
    MakeTitleBand(Sheet_Drive, QStringLiteral("StaticText5"), QStringLiteral(" Quelle wählen"));
    QGroupBox* box = MakeContentBox(Sheet_Drive, QStringLiteral("GroupBoxDrive"));
    StaticText4 = MakeWithText<QLabel>(box, QStringLiteral("StaticText4"),
                                       QStringLiteral("Wähle hier das einzulesende Laufwerk:"),
                                       QRect(10, 10, 305, 16));
    ChooseDirComboBox =
        Make<QComboBox>(box, QStringLiteral("ChooseDirComboBox"), QRect(10, 30, 307, 24));
    ChooseDirComboBox->setFont(CourierFont(12));
    ChooseDirComboBox->setEditable(false);
    UseMainDir = MakeWithText<QRadioButton>(box, QStringLiteral("UseMainDir"),
                                            QStringLiteral("gesamtes Laufwerk einlesen"),
                                            QRect(10, 64, 305, 18));
    UseMainDir->setChecked(true);
    ChooseDir = MakeWithText<QRadioButton>(
        box, QStringLiteral("ChooseDir"),
        QStringLiteral("nur innerhalb dieses Verzeichnisses einlesen:"), QRect(10, 86, 305, 18));
    ChooseDirEdit = Make<QLineEdit>(box, QStringLiteral("ChooseDirEdit"), QRect(28, 110, 249, 24));
    ChooseDirEdit->setReadOnly(true);
    ChooseDirEdit->setEnabled(false);
    SetEnabledLook(ChooseDirEdit, false);
    ChooseDirButton = MakeWithText<QPushButton>(box, QStringLiteral("ChooseDirButton"),
                                                QStringLiteral("..."), QRect(283, 110, 34, 24));
    ChooseDirButton->setEnabled(false);

    QWidget* bar = MakeBottomBar(Sheet_Drive, QStringLiteral("BarDrive"));
    BackToAbout = MakeBackButton(bar, QStringLiteral("BackToAbout"), false);
    ForwardToInput =
        MakeForwardButton(bar, QStringLiteral("ForwardToInput"), QStringLiteral("Weiter >>"));

    connect(ChooseDirComboBox, qOverload<int>(&QComboBox::activated), this,
            [this] { RunGuarded([this] { ChooseDirComboBoxChange(); }); });
    // A radio button reports its click only when it becomes selected.
    for (QRadioButton* choice : {UseMainDir, ChooseDir}) {
        connect(choice, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected) {
                RunGuarded([this] { ChooseDirClick(); });
            }
        });
    }
    onClick(ChooseDirButton, &TForm1::ChooseDirButtonClick);
    onClick(BackToAbout, &TForm1::BackToAboutClick);
    onClick(ForwardToInput, &TForm1::ForwardToInputClick);
}

std::vector<platform::Drive> TForm1::currentDrives() const {
    return driveSource_ ? driveSource_() : platform::ListDrives();
}

void TForm1::addDriveItems(const std::vector<platform::Drive>& drives, int& firstCdRom) {
    for (const platform::Drive& drive : drives) {
        if (drive.type == platform::DriveType::CdRom && firstCdRom == -1) {
            firstCdRom = ChooseDirComboBox->count();
        }
        const std::string root = drive.mountPoint == "/" ? "/" : drive.mountPoint + "/";
        ChooseDirComboBox->addItem(DisplayText(drive.mountPoint) + DriveLabel(drive.type),
                                   QByteArray::fromStdString(root));
    }
}

void TForm1::FillDriveList() {
    int selected = ChooseDirComboBox->currentIndex();
    addDriveItems(currentDrives(), selected);
    ChooseDirComboBox->setCurrentIndex(selected == -1 ? 0 : selected);
    ChooseDirComboBoxChange();
    watchMounts();
}

void TForm1::watchMounts() {
    if (mountWatch_ != nullptr) {
        return;
    }
    mountWatch_ = std::make_unique<platform::MountTableWatch>();
    if (mountWatch_->fd() < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(mountWatch_->fd(), QSocketNotifier::Exception, this);
    connect(notifier, &QSocketNotifier::activated, this,
            [this] { RunGuarded([this] { refreshDriveList(); }); });
}

// A disc is mounted only when it is inserted: the list follows the mounts while the
// program runs. The selection stays on its drive, and so does the source path. A drive
// that is gone leaves the list, its entry leaves no selection behind, and a source on it
// is no source: the path goes, and the way on waits until the user chooses again.
void TForm1::refreshDriveList() {
    const QVariant selectedRoot = ChooseDirComboBox->currentData(kMountPointRole);
    ChooseDirComboBox->clear();
    int unused = -1;
    addDriveItems(currentDrives(), unused);
    const int selected =
        selectedRoot.isValid() ? ChooseDirComboBox->findData(selectedRoot, kMountPointRole) : -1;
    ChooseDirComboBox->setCurrentIndex(selected);
    if (selectedRoot.isValid() && selected == -1) {
        setSourcePath({});
    }
}

void TForm1::ChooseDirComboBoxChange() {
    if (ChooseDirComboBox->currentIndex() >= 0) {
        setSourcePath(ChooseDirComboBox->currentData(kMountPointRole).toByteArray().toStdString());
    }
}

void TForm1::setSourcePath(const std::string& path) {
    sourcePath_ = path;
    ChooseDirEdit->setText(DisplayText(path));
    ForwardToInput->setEnabled(!path.empty());
}

void TForm1::openFolder(const std::string& folder) {
    // The drive that holds the folder: the longest mount point it lies below.
    int drive = -1;
    size_t longest = 0;
    for (int i = 0; i < ChooseDirComboBox->count(); ++i) {
        const std::string root =
            ChooseDirComboBox->itemData(i, kMountPointRole).toByteArray().toStdString();
        if (folder.rfind(root, 0) == 0 || folder + "/" == root) {
            if (root.size() > longest) {
                longest = root.size();
                drive = i;
            }
        }
    }
    if (drive >= 0) {
        ChooseDirComboBox->setCurrentIndex(drive);
    }
    ChooseDir->setChecked(true);
    setSourcePath(folder);
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
        chooseDirDialog_->DirectoryListBox1->setDriveRoot(
            ChooseDirComboBox->currentData(kMountPointRole).toByteArray().toStdString());
        chooseDirDialog_->DirectoryListBox1->setDirectory(sourcePath());
    } catch (const EInOutError&) {
        CurrentPrompter().message(
            BoxKind::Error,
            QStringLiteral("Dieses Laufwerk konnte nicht gelesen werden!\r\n\r\nMöglicherweise ist "
                           "kein Medium eingelegt oder es ist nicht formatiert."));
        return;
    }
    if (CurrentPrompter().runDialog(*chooseDirDialog_) == QDialog::Accepted) {
        setSourcePath(chooseDirDialog_->DirectoryListBox1->selectedDirectory());
    }
}

void TForm1::BackToAboutClick() {
    showPage(Sheet_About);
}

}  // namespace spurfix::ui
