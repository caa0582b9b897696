// The main window's construction: its frame and the seven pages with their controls.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>

#include "ui/fonts.h"
#include "ui/page_frame.h"
#include "ui/preview_model.h"
#include "ui/search_animation.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

namespace {

template <class Control>
Control* Make(QWidget* parent, const QString& name, const QRect& geometry) {
    auto* control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

template <class Control>
Control* MakeWithText(QWidget* parent, const QString& name, const QString& text,
                      const QRect& geometry) {
    auto* control = Make<Control>(parent, name, geometry);
    control->setText(text);
    return control;
}

QGroupBox* MakeContentBox(QWidget* page, const QString& name) {
    return Make<QGroupBox>(page, name, QRect(kBorder, kContentTop, kInnerWidth, kContentHeight));
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Spurfix v2.0 beta (#061124)"));
    setFont(WindowFont());
    setFixedSize(kWidth, kDesignedClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(kWidth / 2, kDesignedClientHeight / 2));
    }

    // The pages sit below the row their tabs took at design; the first activation
    // removes that row.
    PageControl1 = Make<QStackedWidget>(this, QStringLiteral("PageControl1"),
                                        QRect(0, kTabRowHeight, kWidth, kHeight));
    Panel1 = Make<QFrame>(this, QStringLiteral("Panel1"), QRect(0, 0, kWidth, 1));
    Panel1->raise();

    buildAboutPage();
    buildDrivePage();
    buildInputPage();
    buildFilesPage();
    buildDirsPage();
    buildPreviewPage();
    buildOutputPage();
    PageControl1->setCurrentWidget(Sheet_About);
    connectHandlers();
}

void TForm1::buildAboutPage() {
    Sheet_About = MakePage(PageControl1, QStringLiteral("Sheet_About"));
    PageControl1->addWidget(Sheet_About);
    MakeTitleBand(Sheet_About, QStringLiteral("StaticText3"), QStringLiteral(" Spurfix"));
    Memo2 = Make<QPlainTextEdit>(Sheet_About, QStringLiteral("Memo2"),
                                 QRect(kBorder, kContentTop, kInnerWidth, kContentHeight));
    Memo2->setFrameStyle(QFrame::NoFrame);
    // Editable, but the keyboard starts at the buttons.
    Memo2->setFocusPolicy(Qt::ClickFocus);
    Memo2->setFont(ArialFont(15, true, true));
    Memo2->setPlainText(
        QStringLiteral("Herzlich Willkommen bei Spurfix !\n"
                       "\n"
                       "Mit diesem Programm kannst du die \n"
                       "Lieder auf deinen MP3-CDs einlesen und \n"
                       "mit einer dreistelligen Ziffer versehen, \n"
                       "um sie direkt durch einen MP3-Player \n"
                       "anwählen zu können."));
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = Memo2->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    Memo2->setPalette(palette);

    QWidget* bar = MakeBottomBar(Sheet_About, QStringLiteral("BarAbout"));
    AboutButton = MakeButton(bar, QStringLiteral("AboutButton"), QStringLiteral("Über"), false);
    AboutButton->setGeometry(0, 2, kButtonWidth, kButtonHeight);
    ForwardToChooseDir =
        MakeForwardButton(bar, QStringLiteral("ForwardToChooseDir"), QStringLiteral("Starten >>"));
}

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
}

void TForm1::buildInputPage() {
    Sheet_Input = MakePage(PageControl1, QStringLiteral("Sheet_Input"));
    PageControl1->addWidget(Sheet_Input);
    StaticText6 =
        MakeTitleBand(Sheet_Input, QStringLiteral("StaticText6"), QStringLiteral(" Einlesen"));
    Input = Make<QGroupBox>(Sheet_Input, QStringLiteral("Input"),
                            QRect(kBorder, kContentTop, kInnerWidth, 76));
    Animate1 = Make<SearchAnimation>(Input, QStringLiteral("Animate1"), QRect(8, 10, 64, 58));
    InputText = Make<QLabel>(Input, QStringLiteral("InputText"), QRect(80, 8, 150, 16));
    InputDirsFound = MakeWithText<QLabel>(Input, QStringLiteral("InputDirsFound"),
                                          QStringLiteral("0"), QRect(80, 30, 62, 16));
    InputDirsFound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StaticText8 = MakeWithText<QLabel>(Input, QStringLiteral("StaticText8"),
                                       QStringLiteral("Verzeichnisse"), QRect(146, 30, 80, 16));
    InputFilesFound = MakeWithText<QLabel>(Input, QStringLiteral("InputFilesFound"),
                                           QStringLiteral("0"), QRect(80, 50, 62, 16));
    InputFilesFound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Fixed sizes: a new count then asks no layout to be redone.
    InputDirsFound->setFixedSize(InputDirsFound->size());
    InputFilesFound->setFixedSize(InputFilesFound->size());
    StaticText7 = MakeWithText<QLabel>(Input, QStringLiteral("StaticText7"),
                                       QStringLiteral("Dateien"), QRect(146, 50, 80, 16));
    StopInput = MakeButton(Input, QStringLiteral("StopInput"), QStringLiteral("Abbrechen"), false);
    StopInput->setGeometry(230, 26, 88, 26);
    StopInput->hide();
    ReInput = MakeButton(Input, QStringLiteral("ReInput"), QStringLiteral("Neu Einlesen"), false);
    ReInput->setGeometry(230, 26, 88, 26);
    ReInput->hide();

    StartInputPanel = Make<QFrame>(Input, QStringLiteral("StartInputPanel"), QRect(76, 4, 247, 68));
    StartInputPanel->setAutoFillBackground(true);
    StaticText2 = MakeWithText<QLabel>(StartInputPanel, QStringLiteral("StaticText2"),
                                       QStringLiteral("Klicke hier um das Einlesen zu starten:"),
                                       QRect(4, 6, 239, 16));
    StartInput = MakeButton(StartInputPanel, QStringLiteral("StartInput"),
                            QStringLiteral("Einlesen"), false);
    StartInput->setGeometry(68, 30, 110, 28);
    StartInputPanel->installEventFilter(this);

    InputPreview =
        Make<QPlainTextEdit>(Sheet_Input, QStringLiteral("InputPreview"),
                             QRect(kBorder, kContentTop + 80, kInnerWidth, kContentHeight - 80));
    InputPreview->setReadOnly(true);
    InputPreview->setLineWrapMode(QPlainTextEdit::NoWrap);
    InputPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    QWidget* bar = MakeBottomBar(Sheet_Input, QStringLiteral("BarInput"));
    BackToChooseDir = MakeBackButton(bar, QStringLiteral("BackToChooseDir"), true);
    ForwardToFiles =
        MakeForwardButton(bar, QStringLiteral("ForwardToFiles"), QStringLiteral("Weiter >>"));
    ForwardToFiles->setEnabled(false);
}

void TForm1::buildFilesPage() {
    Sheet_Files = MakePage(PageControl1, QStringLiteral("Sheet_Files"));
    PageControl1->addWidget(Sheet_Files);
    MakeTitleBand(Sheet_Files, QStringLiteral("StaticText10"), QStringLiteral(" Dateien"));
    QGroupBox* box = MakeContentBox(Sheet_Files, QStringLiteral("GroupBoxFiles"));
    FilesWithoutExtension =
        MakeWithText<QCheckBox>(box, QStringLiteral("FilesWithoutExtension"),
                                QStringLiteral("Erweiterung entfernen"), QRect(8, 8, 180, 18));
    FilesWithoutExtension->setChecked(true);
    FilesWithoutTrackNr =
        MakeWithText<QCheckBox>(box, QStringLiteral("FilesWithoutTrackNr"),
                                QStringLiteral("Tracknummern entfernen"), QRect(8, 28, 180, 18));
    FilesWithoutTrackNr->setChecked(true);
    FilesWithJustTitle =
        MakeWithText<QCheckBox>(box, QStringLiteral("FilesWithJustTitle"),
                                QStringLiteral("nur Titel listen"), QRect(8, 48, 180, 18));
    UseMP3sOnly =
        MakeWithText<QRadioButton>(box, QStringLiteral("UseMP3sOnly"),
                                   QStringLiteral("nur MP3 Dateien listen"), QRect(8, 82, 180, 18));
    UseMP3sOnly->setChecked(true);
    UseAllFiles =
        MakeWithText<QRadioButton>(box, QStringLiteral("UseAllFiles"),
                                   QStringLiteral("alle Dateien listen"), QRect(8, 102, 180, 18));
    UseSpecificFiles = MakeWithText<QRadioButton>(box, QStringLiteral("UseSpecificFiles"),
                                                  QStringLiteral("nur gewählte Dateien listen"),
                                                  QRect(8, 122, 180, 18));
    auto* filterGroup = new QButtonGroup(box);
    for (QRadioButton* button : {UseMP3sOnly, UseAllFiles, UseSpecificFiles}) {
        filterGroup->addButton(button);
    }

    AllowFiles = Make<QListWidget>(box, QStringLiteral("AllowFiles"), QRect(196, 8, 123, 118));
    for (const char* extension : {"mp3", "wav", "jpg", "jpeg", "mpg", "avi"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(extension), AllowFiles);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    AllowFiles->setEnabled(false);
    SetEnabledLook(AllowFiles, false);
    AllowFilesAdd =
        MakeButton(box, QStringLiteral("AllowFilesAdd"), QStringLiteral("Zufügen"), false);
    AllowFilesAdd->setGeometry(196, 130, 60, 24);
    AllowFilesAdd->setEnabled(false);
    AllowFilesRemove =
        MakeButton(box, QStringLiteral("AllowFilesRemove"), QStringLiteral("Entfernen"), false);
    AllowFilesRemove->setGeometry(259, 130, 60, 24);
    AllowFilesRemove->setEnabled(false);

    QWidget* bar = MakeBottomBar(Sheet_Files, QStringLiteral("BarFiles"));
    BackToInput = MakeBackButton(bar, QStringLiteral("BackToInput"), true);
    ForwardToDirs =
        MakeForwardButton(bar, QStringLiteral("ForwardToDirs"), QStringLiteral("Weiter >>"));
}

void TForm1::buildDirsPage() {
    Sheet_Dirs = MakePage(PageControl1, QStringLiteral("Sheet_Dirs"));
    PageControl1->addWidget(Sheet_Dirs);
    MakeTitleBand(Sheet_Dirs, QStringLiteral("StaticText11"), QStringLiteral(" Verzeichnisse"));
    QGroupBox* box = MakeContentBox(Sheet_Dirs, QStringLiteral("GroupBoxDirs"));
    UseDirLabels = MakeWithText<QCheckBox>(
        box, QStringLiteral("UseDirLabels"),
        QStringLiteral("Verzeichnisse nach diesem Schema einfügen"), QRect(8, 8, 310, 18));
    UseDirLabels->setChecked(true);
    DirLabelTemplate =
        Make<QLineEdit>(box, QStringLiteral("DirLabelTemplate"), QRect(26, 30, 254, 24));
    DirLabelTemplate->setText(QStringLiteral("[%NAME%]"));
    SetEnabledLook(DirLabelTemplate, true);
    ButtonDirTmplHelp = MakeWithText<QPushButton>(box, QStringLiteral("ButtonDirTmplHelp"),
                                                  QStringLiteral("?"), QRect(286, 30, 32, 24));
    ButtonDirTmplHelp->setAutoDefault(true);
    CountFiles = MakeWithText<QCheckBox>(
        box, QStringLiteral("CountFiles"),
        QStringLiteral("Dateien in den Verzeichnissen nummerieren"), QRect(8, 64, 310, 18));
    CountFiles->setChecked(true);
    CountPerVolume = MakeWithText<QRadioButton>(box, QStringLiteral("CountPerVolume"),
                                                QStringLiteral("globale Nummerierung der Dateien"),
                                                QRect(26, 84, 290, 18));
    CountPerVolume->setChecked(true);
    CountPerDir = MakeWithText<QRadioButton>(
        box, QStringLiteral("CountPerDir"),
        QStringLiteral("Nummerierung der Dateien pro Verzeichnis"), QRect(26, 104, 290, 18));
    auto* countGroup = new QButtonGroup(box);
    countGroup->addButton(CountPerVolume);
    countGroup->addButton(CountPerDir);
    CheckSortData = MakeWithText<QCheckBox>(box, QStringLiteral("CheckSortData"),
                                            QStringLiteral("Verzeichnisse und Dateien sortieren"),
                                            QRect(8, 134, 310, 18));
    CheckSortData->setChecked(true);

    QWidget* bar = MakeBottomBar(Sheet_Dirs, QStringLiteral("BarDirs"));
    BackToFiles = MakeBackButton(bar, QStringLiteral("BackToFiles"), true);
    ForwardToPreview =
        MakeForwardButton(bar, QStringLiteral("ForwardToPreview"), QStringLiteral("Weiter >>"));
}

void TForm1::buildPreviewPage() {
    Sheet_Preview = MakePage(PageControl1, QStringLiteral("Sheet_Preview"));
    PageControl1->addWidget(Sheet_Preview);
    MakeTitleBand(Sheet_Preview, QStringLiteral("StaticText12"), QStringLiteral(" Vorschau"));
    Preview = Make<QListView>(Sheet_Preview, QStringLiteral("Preview"),
                              QRect(kBorder, kContentTop, kInnerWidth, kContentHeight));
    // Every line has the same height, so that a million lines scroll without measuring.
    Preview->setUniformItemSizes(true);
    Preview->setLayoutMode(QListView::Batched);
    Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    previewModel_ = new PreviewModel(this);
    Preview->setModel(previewModel_);

    QWidget* bar = MakeBottomBar(Sheet_Preview, QStringLiteral("BarPreview"));
    BackToDirs = MakeBackButton(bar, QStringLiteral("BackToDirs"), true);
    ForwardToOutput =
        MakeForwardButton(bar, QStringLiteral("ForwardToOutput"), QStringLiteral("Weiter >>"));
}

void TForm1::buildOutputPage() {
    Sheet_Output = MakePage(PageControl1, QStringLiteral("Sheet_Output"));
    PageControl1->addWidget(Sheet_Output);
    StaticText9 =
        MakeTitleBand(Sheet_Output, QStringLiteral("StaticText9"), QStringLiteral(" Ausgeben"));
    Panel15 = Make<QFrame>(Sheet_Output, QStringLiteral("Panel15"),
                           QRect(kBorder, kBorder + kTitleHeight, kInnerWidth, 8));
    GroupBox1 = Make<QGroupBox>(Sheet_Output, QStringLiteral("GroupBox1"),
                                QRect(kBorder, kBorder + kTitleHeight + 8, kInnerWidth,
                                      kBarTop - (kBorder + kTitleHeight + 8)));
    StaticText1 =
        MakeWithText<QLabel>(GroupBox1, QStringLiteral("StaticText1"),
                             QStringLiteral("Daten exportieren:"), QRect(12, 14, 200, 16));
    OutputAsText =
        MakeWithText<QRadioButton>(GroupBox1, QStringLiteral("OutputAsText"),
                                   QStringLiteral("als Textdatei"), QRect(12, 36, 200, 18));
    OutputAsText->setChecked(true);
    OutputAsText->setEnabled(false);
    Panel16 = MakeBottomBar(Sheet_Output, QStringLiteral("Panel16"));
    BackToPreview = MakeBackButton(Panel16, QStringLiteral("BackToPreview"), true);
    SaveButton =
        MakeForwardButton(Panel16, QStringLiteral("SaveButton"), QStringLiteral("Fertig!"));
}

}  // namespace spurfix::ui
