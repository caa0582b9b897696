// The welcome page: the greeting, the about box and the start.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "ui/about_dialog.h"
#include "ui/dialog_seam.h"
#include "ui/fonts.h"
#include "ui/page_frame.h"
#include "ui/tform1.h"

namespace spurfix::ui {

using namespace page_geometry;

void TForm1::buildAboutPage() {
    Sheet_About = MakePage(PageControl1, QStringLiteral("Sheet_About"));
    PageControl1->addWidget(Sheet_About);
    MakeTitleBand(Sheet_About, QStringLiteral("StaticText3"), QStringLiteral(" Spurfix"));
    Memo2 = Make<QPlainTextEdit>(Sheet_About, QStringLiteral("Memo2"),
                                 QRect(kBorder, kContentTop, kInnerWidth, kContentHeight));
    Memo2->setFrameStyle(QFrame::NoFrame);
    // A greeting to read: it takes no focus and shows no text cursor, so that the keyboard
    // starts at "Starten >>" and the mouse pointer stays an arrow over it.
    Memo2->setReadOnly(true);
    Memo2->setTextInteractionFlags(Qt::NoTextInteraction);
    Memo2->setFocusPolicy(Qt::NoFocus);
    Memo2->viewport()->setCursor(Qt::ArrowCursor);
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

    onClick(AboutButton, &TForm1::AboutButtonClick);
    onClick(ForwardToChooseDir, &TForm1::ForwardToChooseDirClick);
}

void TForm1::AboutButtonClick() {
    if (aboutDialog_ != nullptr) {
        CurrentPrompter().runDialog(*aboutDialog_);
    }
}

void TForm1::ForwardToChooseDirClick() {
    showPage(Sheet_Drive);
}

}  // namespace spurfix::ui
