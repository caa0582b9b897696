#include "ui/choose_dir_dialog.h"

#include <QFileIconProvider>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <algorithm>
#include <system_error>

#include "engine/in_out_error.h"
#include "platform/collation.h"
#include "platform/subfolders.h"
#include "ui/byte_text.h"
#include "ui/error_display.h"
#include "ui/fonts.h"
#include "ui/screen_centre.h"

namespace spurfix::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 12;

// Indents each entry by its depth. The names themselves carry no spaces, so that typing
// the first letters of a name finds it.
class IndentingDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + Indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(Indent(index), 0);
    }

  private:
    static int Indent(const QModelIndex& index) {
        return index.data(kDepthRole).toInt() * kIndentPixels;
    }
};

std::string Normalised(std::string path) {
    if (path.empty() || path.front() != '/') {
        path = "/" + path;
    }
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

QListWidgetItem* AddEntry(QListWidget* list, int depth, std::string_view name,
                          const std::string& path) {
    static const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    auto* item = new QListWidgetItem(folderIcon, DisplayText(name), list);
    item->setData(kPathRole, QByteArray::fromStdString(path));
    item->setData(kDepthRole, depth);
    return item;
}

}  // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentingDelegate(this));
    setIconSize(QSize(16, 16));
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { open(PathOf(item)); });
}

void DirectoryListBox::open(const std::string& path) {
    RunGuarded([this, path] { setDirectory(path); });
}

void DirectoryListBox::setDriveRoot(const std::string& root) {
    driveRoot_ = Normalised(root);
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Right && modifiers == Qt::NoModifier) ||
        (enter && modifiers == Qt::ControlModifier)) {
        if (currentItem() != nullptr) {
            open(PathOf(currentItem()));
        }
    } else if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Backspace) &&
               modifiers == Qt::NoModifier) {
        if (directory_ != "/") {
            const size_t slash = directory_.rfind('/');
            open(slash == 0 ? "/" : directory_.substr(0, slash));
        }
    } else if (event->key() == Qt::Key_Home && modifiers == Qt::NoModifier) {
        open(driveRoot_);
    } else {
        QListWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

std::string DirectoryListBox::PathOf(const QListWidgetItem* item) {
    return item->data(kPathRole).toByteArray().toStdString();
}

std::string DirectoryListBox::selectedDirectory() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? directory_ : PathOf(selected.constFirst());
}

void DirectoryListBox::setDirectory(const std::string& path) {
    const std::string folder = Normalised(path);
    std::vector<std::string> subfolders;
    try {
        subfolders = platform::ListSubfolders(folder);
    } catch (const std::system_error& error) {
        throw EInOutError::FromErrno(error.code().value());
    }
    const platform::Collator collator(platform::CollationLocaleFromEnvironment());
    std::sort(subfolders.begin(), subfolders.end(),
              [&](const std::string& a, const std::string& b) { return collator.less(a, b); });

    clear();
    AddEntry(this, 0, "/", "/");
    int depth = 0;
    for (size_t begin = 1; begin < folder.size();) {
        const size_t end = std::min(folder.find('/', begin), folder.size());
        AddEntry(this, ++depth, std::string_view(folder).substr(begin, end - begin),
                 folder.substr(0, end));
        begin = end + 1;
    }
    setCurrentRow(count() - 1);
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    for (const std::string& name : subfolders) {
        AddEntry(this, depth + 1, name, prefix + name);
    }
    directory_ = folder;
}

TChooseDirDialog::TChooseDirDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ChooseDirDialog"));
    setWindowTitle(QStringLiteral("Verzeichnis wählen"));
    // The main window's fixed font: the fixed size fits every text at any system font.
    setFont(WindowFont());
    setFixedSize(392, 178);
    setModal(true);
    setToolTip(
        QStringLiteral("Doppelklick, Pfeil rechts oder Strg+Eingabe: Verzeichnis öffnen\n"
                       "Pfeil links oder Rücktaste: eine Ebene höher\n"
                       "Pos1: zum Anfang des Laufwerks\n"
                       "Eingabe: das gewählte Verzeichnis übernehmen"));
    DirectoryListBox1 = new DirectoryListBox(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setGeometry(8, 8, 288, 162);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(304, 8, 80, 26);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Abbrechen"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(304, 40, 80, 26);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    CentreOnScreen(*this);
}

}  // namespace spurfix::ui
