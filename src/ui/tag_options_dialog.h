#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace spurfix::ui {

// The options for titles and playing times from the songs' tags, opened by "Tags …" on
// the files page, which has no room for them. It keeps its controls between showings:
// the window reads the options from them.
class TagOptionsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TagOptionsDialog(QWidget* parent = nullptr);

    QCheckBox* TitlesFromTags;
    QLineEdit* TagTitleTemplate;
    QPushButton* ButtonTagTmplHelp;
    QCheckBox* ShowPlayingTimes;
    QPushButton* ButtonOk;
    QPushButton* ButtonCancel;

    // Shows the dialog through the dialog seam; "Abbrechen" leaves the options as they were.
    void ask();

  private:
    void TitlesFromTagsClick();
    void ButtonTagTmplHelpClick();
};

}  // namespace spurfix::ui
