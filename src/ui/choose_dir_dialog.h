#pragma once

#include <QDialog>
#include <QListWidget>
#include <string>

class QPushButton;

namespace spurfix::ui {

// The folders from "/" down to the current folder, each indented by its depth, then the
// current folder's sub-folders one level deeper, with the desktop's folder icon. A
// double-click, Right or Ctrl+Enter makes the selected entry the current folder; Left or
// Backspace goes up one level, Home to the drive's root; typing selects the folder whose
// name begins with what was typed. Enter alone is left to the dialog: it means OK.
class DirectoryListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    // Throws EInOutError when the folder cannot be listed; the list stays as it was.
    void setDirectory(const std::string& path);
    // Without a trailing "/", except "/" itself.
    [[nodiscard]] const std::string& directory() const { return directory_; }
    // The folder the user selected in the list, or the current folder.
    [[nodiscard]] std::string selectedDirectory() const;

    // The root of the drive the folder lies on, where Home goes; "/" unless set.
    void setDriveRoot(const std::string& root);

    [[nodiscard]] static std::string PathOf(const QListWidgetItem* item);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Opens `path` as the current folder; an unreadable one gives the error box.
    void open(const std::string& path);

    std::string directory_ = "/";
    std::string driveRoot_ = "/";
};

// The folder chooser. "OK" and Enter choose the folder selected in the list.
class TChooseDirDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TChooseDirDialog(QWidget* parent = nullptr);

    DirectoryListBox* DirectoryListBox1;
    QPushButton* Button1;
    QPushButton* Button2;
};

}  // namespace spurfix::ui
