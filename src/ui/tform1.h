#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/directory_walk.h"
#include "engine/line_list.h"
#include "engine/list_options.h"
#include "engine/song_info.h"
#include "platform/drives.h"
#include "ui/background_work.h"
#include "ui/dialog_seam.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QAbstractButton;

namespace spurfix::ui {

class FolderTraceModel;
class FolderTraceView;
class PreviewModel;
class TagOptionsDialog;
class SearchAnimation;
class TChooseDirDialog;
class TForm2;

// The wizard's main window: seven pages, the option controls, and the lists of a run.
class TForm1 : public QWidget, private WalkObserver {
    Q_OBJECT
  public:
    static constexpr int kDesignedClientHeight = 264;
    static constexpr int kTabRowHeight = 16;

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    void attachDialogs(TChooseDirDialog* chooseDirDialog, TForm2* aboutDialog);
    // Where the drive list comes from; the machine's mount points unless a test says.
    void setDriveSource(std::function<std::vector<platform::Drive>()> source);

    // State of the reading: 0 before the first, 2 while one runs, 3 once a stop is
    // requested, 1 after one has ended.
    int16_t InputState = 0;
    // The lines of the last reading; emptied when the window closes.
    spurfix::ScanList ScanList;
    SaveRequest SaveDialog1;

    [[nodiscard]] bool isReading() const { return runActive_; }
    [[nodiscard]] const PreviewModel& previewModel() const { return *previewModel_; }
    // The source path as bytes, as the reading will take it; the edit field shows it.
    [[nodiscard]] const std::string& sourcePath() const { return sourcePath_; }
    // The source page as the user would leave it after choosing `folder` (an absolute
    // path) in the folder chooser: "nur innerhalb dieses Verzeichnisses einlesen:" with
    // that folder, and the drive that holds it selected.
    void openFolder(const std::string& folder);
    // Runs `work` on a worker thread while the bottom bar shows its progress (`what`: 12
    // von 100) and "Abbrechen", and the window stays responsive but takes no other input.
    // True when the work ran to its end; false when the user stopped it (the work sees
    // cancelled() and may throw exporting::Cancelled). What the work throws is thrown here.
    bool runInBackground(const QString& what, const BackgroundWork& work);
    [[nodiscard]] bool isWorkingInBackground() const { return runningWork_ != nullptr; }

    QFrame* Panel1;
    QStackedWidget* PageControl1;
    QWidget* Sheet_About;
    QWidget* Sheet_Drive;
    QWidget* Sheet_Input;
    QWidget* Sheet_Files;
    QWidget* Sheet_Dirs;
    QWidget* Sheet_Preview;
    QWidget* Sheet_Output;

    // Welcome page.
    QPlainTextEdit* Memo2;
    QPushButton* AboutButton;
    QPushButton* ForwardToChooseDir;
    // Source page.
    QLabel* StaticText4;
    QComboBox* ChooseDirComboBox;
    QRadioButton* UseMainDir;
    QRadioButton* ChooseDir;
    QLineEdit* ChooseDirEdit;
    QPushButton* ChooseDirButton;
    QPushButton* BackToAbout;
    QPushButton* ForwardToInput;
    // Reading page.
    QLabel* StaticText6;
    QGroupBox* Input;
    SearchAnimation* Animate1;
    QLabel* InputText;
    QLabel* InputDirsFound;
    QLabel* StaticText8;
    QLabel* InputFilesFound;
    QLabel* StaticText7;
    QPushButton* StopInput;
    QPushButton* ReInput;
    QFrame* StartInputPanel;
    QLabel* StaticText2;
    QPushButton* StartInput;
    FolderTraceView* InputPreview;
    QPushButton* BackToChooseDir;
    QPushButton* ForwardToFiles;
    // Files page.
    QCheckBox* FilesWithoutExtension;
    QCheckBox* FilesWithoutTrackNr;
    QCheckBox* FilesWithJustTitle;
    QRadioButton* UseMP3sOnly;
    QRadioButton* UseAllFiles;
    QRadioButton* UseSpecificFiles;
    QListWidget* AllowFiles;
    QPushButton* AllowFilesAdd;
    QPushButton* AllowFilesRemove;
    // "Tags …" opens the tag options, whose controls live in their dialog.
    QPushButton* ButtonTags;
    TagOptionsDialog* tagOptionsDialog;
    QCheckBox* TitlesFromTags;
    QLineEdit* TagTitleTemplate;
    QCheckBox* ShowPlayingTimes;
    QPushButton* BackToInput;
    QPushButton* ForwardToDirs;
    // Folders page.
    QCheckBox* UseDirLabels;
    QLineEdit* DirLabelTemplate;
    QPushButton* ButtonDirTmplHelp;
    QCheckBox* CountFiles;
    QRadioButton* CountPerVolume;
    QRadioButton* CountPerDir;
    QCheckBox* CheckSortData;
    QPushButton* BackToFiles;
    QPushButton* ForwardToPreview;
    // Preview page.
    QComboBox* PlayOrder;
    QLabel* PlayerHint;
    QListView* Preview;
    QPushButton* BackToDirs;
    QPushButton* ForwardToOutput;
    // Output page.
    QLabel* StaticText9;
    QFrame* Panel15;
    QGroupBox* GroupBox1;
    QLabel* StaticText1;
    QRadioButton* OutputAsText;
    QRadioButton* OutputAsPlaylist;
    QRadioButton* OutputAsInsert;
    QRadioButton* OutputAsCopy;
    QRadioButton* OutputAsImage;
    QRadioButton* CopyWithFolders;
    QRadioButton* CopyInOneFolder;
    QWidget* Panel16;
    QPushButton* BackToPreview;
    QPushButton* SaveButton;

  public slots:
    void FormActivate();
    void FormCloseQuery();
    void FormClose();

    void ForwardToChooseDirClick();
    void BackToAboutClick();
    void ForwardToInputClick();
    void BackToChooseDirClick();
    void ForwardToFilesClick();
    void BackToInputClick();
    void ForwardToDirsClick();
    void BackToFilesClick();
    void ForwardToPreviewClick();
    void PlayOrderChange();
    void BackToDirsClick();
    void ForwardToOutputClick();
    void BackToPreviewClick();
    void AboutButtonClick();

    void UseSpecificFilesClick();
    void AllowFilesClick();
    void AllowFilesAddClick();
    void AllowFilesRemoveClick();
    void FilesWithJustTitleClick();
    void ButtonTagsClick();
    void UseDirLabelsClick();
    void ButtonDirTmplHelpClick();
    void CountFilesClick();

    void FillDriveList();
    void ChooseDirComboBoxChange();
    void ChooseDirClick();
    void ChooseDirButtonClick();

    void StartInputPanelClick();
    void StopInputClick();
    void ShowInputCounts(int32_t files, int32_t folders);

    void SaveButtonClick();

  signals:
    // The user ended the program from the output page; the event loop is told to end.
    void terminationRequested();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void buildAboutPage();
    void buildDrivePage();
    void buildInputPage();
    void buildFilesPage();
    void buildDirsPage();
    void buildPreviewPage();
    void buildOutputPage();
    void onClick(QAbstractButton* button, void (TForm1::*handler)());
    // Shows a page and puts the focus on its way forward.
    void showPage(QWidget* page);
    void focusForward();

    void setSourcePath(const std::string& path);
    // The name a CD insert is headed with: the last part of the folder read.
    static QString SourceFolderName(const std::string& sourcePath);
    // What the list is called on paper: the medium's label where a whole medium was read.
    static QString ListHeading(const std::string& sourcePath);
    [[nodiscard]] std::vector<platform::Drive> currentDrives() const;
    // Appends an item per drive; `firstCdRom` becomes the first CD-ROM's index if it is -1.
    void addDriveItems(const std::vector<platform::Drive>& drives, int& firstCdRom);
    void watchMounts();
    void refreshDriveList();
    // One run; true when it ended without a stop.
    bool runReading();
    [[nodiscard]] ListOptions currentListOptions() const;
    void readFileOptions(ListOptions& options) const;
    // The songs' tags and times the options show in `songs`, read where they are not yet
    // known, away from the window's thread; nullptr where the options show none. False
    // when the user stopped the reading.
    bool songFactsFor(const ListOptions& options, const SongInfoTable*& songs);
    void readFolderOptions(ListOptions& options) const;
    // Builds the preview from the scan list and the options of every page, keeps the
    // selected line's song in view, and shows the hint on the players' limits.
    // The list is built away from the window's thread, with "Abbrechen".
    // False where the user stopped the reading of the songs' tags or the build: the list
    // is as it was.
    bool rebuildPreview();
    // The list takes the room the hint below it leaves.
    void placePreviewAndHint();
    // Scrolls the preview to `row` of build number `build` once the list has laid that
    // row out: it lays out a long list in batches, while the window takes input.
    void keepInView(int row, int build);
    // Sets the count labels and appends the trace, and draws them at once.
    void drawProgress();
    void letPendingEventsRun();

    // Reading observer.
    void folderEntered(std::string_view folderPath) override;
    // The walk's progress updates: the counts are drawn once per frame.
    void showCounts(int32_t files, int32_t folders) override;
    [[nodiscard]] bool stopRequested() override { return InputState == 3; }
    void waitingForMedium() override;
    void folderUnreadable(std::string_view folderPath) override;

    TChooseDirDialog* chooseDirDialog_ = nullptr;
    TForm2* aboutDialog_ = nullptr;
    std::function<std::vector<platform::Drive>()> driveSource_;
    std::unique_ptr<platform::MountTableWatch> mountWatch_;
    PreviewModel* previewModel_;
    int previewBuilds_ = 0;
    int builtOrder_ = 0;  // the PlayOrder index the shown list was built in
    std::string sourcePath_;
    std::string lastReadSource_;  // what the scan list was read from
    // The songs' tags (and times, where asked for) read since the last reading: each
    // file is read once per reading.
    SongInfoTable songFacts_;
    bool songFactsHaveTimes_ = false;
    bool activated_ = false;
    bool runActive_ = false;
    bool restartPending_ = false;
    FolderTraceModel* traceModel_ = nullptr;
    WalkCounts latestCounts_;
    WalkCounts shownCounts_;  // what the count labels say
    QElapsedTimer frameClock_;
    QElapsedTimer fetchClock_;
    QTimer lateProgressDraw_;
    WorkProgress* runningWork_ = nullptr;
    bool closeAfterWork_ = false;
};

}  // namespace spurfix::ui
