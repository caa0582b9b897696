#pragma once

#include <gtest/gtest.h>

#include <QStringList>

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "ui/about_dialog.h"
#include "ui/choose_dir_dialog.h"
#include "ui/dialog_seam.h"
#include "ui/tform1.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace spurfix::ui::test {

// Answers the program's dialogs instead of a person, and records what was asked.
class FakePrompter : public Prompter {
  public:
    struct Message {
        BoxKind kind;
        QString text;
    };

    FakePrompter() { SetPrompter(this); }
    ~FakePrompter() override { SetPrompter(nullptr); }
    FakePrompter(const FakePrompter&) = delete;
    FakePrompter& operator=(const FakePrompter&) = delete;

    Answer message(BoxKind kind, const QString& text) override;
    std::optional<QString> askText(const QString& caption, const QString& prompt,
                                   const QString& initial) override;
    std::optional<QString> askSaveFileName(const SaveRequest& request) override;
    std::optional<QString> askFolder(const QString& caption, const QString& initial) override;
    int runDialog(QDialog& dialog) override;

    std::vector<Message> messages;
    std::deque<Answer> answers;                    // for message boxes; OK when empty
    std::deque<std::optional<QString>> texts;      // for the input box; cancelled when empty
    std::deque<std::optional<QString>> fileNames;  // for the save dialog; cancelled when empty
    std::vector<SaveRequest> saveRequests;
    std::deque<std::optional<QString>> folders;  // for the folder dialog; cancelled when empty
    std::vector<QString> folderCaptions;
    std::vector<QString> textCaptions;
    std::function<int(QDialog&)> onDialog;  // for the chooser and the about box
    int dialogsRun = 0;
};

// The three windows as the program makes them, with a fixed drive list.
class WizardTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Clicks a button with the mouse; it must be enabled and shown.
    static void Click(QAbstractButton* button);
    [[nodiscard]] QWidget* page() const;
    // On the source page, picks the drive whose list entry begins with `mountPoint`, as
    // a person does: a click opens the list, the arrows move, Enter takes the entry.
    void ChooseDrive(const std::string& mountPoint);
    // On the source page, chooses `folder` as a person does: the drive that holds it,
    // "nur innerhalb dieses Verzeichnisses einlesen:", "...", then double-clicks in
    // the folder chooser from the drive down to the folder, and OK.
    void ChooseFolder(const std::string& folder);
    // Chooses `folder`, goes on to the reading page and reads it, all with the mouse;
    // waits until the run has ended.
    void ReadFolder(const std::string& folder);
    // The preview's lines as the list shows them.
    [[nodiscard]] QStringList previewLines() const;

    FakePrompter prompter;
    // The machine's own drives instead of `drives`.
    bool machineDrives = false;
    std::vector<platform::Drive> drives = {{"/", platform::DriveType::FixedDisk},
                                           {"/media/cd", platform::DriveType::CdRom},
                                           {"/media/stick", platform::DriveType::Removable}};
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TChooseDirDialog> chooser;
    std::unique_ptr<TForm2> about;

  private:
    bool endRequested_ = false;  // the window asked the application to end
};

// A person's mouse and keyboard: events go to the window system, so a click reaches
// whatever lies under the pointer (nothing when a modal dialog blocks it) and a key
// goes to whatever has the focus.
void UserClick(QWidget* widget, QPoint at = QPoint(-1, -1));
void UserDoubleClick(QWidget* widget, QPoint at = QPoint(-1, -1));
void UserKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// One press and release of the left button at the time stamp `milliseconds`: the
// second of two such clicks within the double-click interval is a double click.
void UserClickAt(QWidget* widget, ulong milliseconds);
// Pastes the text from the clipboard into the focused field.
void UserPaste(const QString& text);

// In the folder chooser, double-clicks from its current folder to `target` (an absolute
// path without a trailing "/"), by way of "/" when the target is not below it.
void GoDownTo(DirectoryListBox* list, const std::string& target);

// How many times pending events are processed while `work` runs.
int EventPasses(const std::function<void()>& work);

// Calls `action` inside every progress update from now for as long as the returned
// object lives.
std::unique_ptr<QObject> DuringEveryUpdate(std::function<void()> action);

// Calls `action` inside the n-th progress update from now: the pending events that a
// reading processes at every update are counted.
void DuringUpdate(int n, std::function<void()> action);

}  // namespace spurfix::ui::test
