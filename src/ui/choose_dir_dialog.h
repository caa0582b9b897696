#pragma once

#include <QDialog>
#include <QListWidget>
#include <string>

class QPushButton;

namespace spurfix::ui {

// The folders from "/" down to the current folder, indented, then the current folder's
// sub-folders one level deeper. A double-click makes an entry the current folder.
class DirectoryListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    // Throws EInOutError when the folder cannot be listed; the list stays as it was.
    void setDirectory(const std::string& path);
    // Without a trailing "/", except "/" itself.
    [[nodiscard]] const std::string& directory() const { return directory_; }

    [[nodiscard]] static std::string PathOf(const QListWidgetItem* item);

  private:
    std::string directory_ = "/";
};

// The folder chooser.
class TChooseDirDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TChooseDirDialog(QWidget* parent = nullptr);

    DirectoryListBox* DirectoryListBox1;
    QPushButton* Button1;
    QPushButton* Button2;
};

}  // namespace spurfix::ui
