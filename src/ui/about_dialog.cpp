#include "ui/about_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>

#include "ui/error_display.h"
#include "ui/fonts.h"
#include "ui/page_frame.h"
#include "ui/screen_centre.h"

namespace spurfix::ui {

void OpenLink(const QString& link) {
    QDesktopServices::openUrl(QUrl(link));
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    emit clicked();
}

namespace {

constexpr int kWidth = 351;
constexpr int kHeight = 323;

// The box has the design's own colours in every palette, and so text of its own colour
// on them: black, a dark grey, and blue links, each readable on yellow and on silver.
QColor InfoColour() {
    return InfoYellow();
}

QFrame* MakePanel(QWidget* parent, const QString& name, const QColor& colour) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Base, colour);
    panel->setPalette(palette);
    return panel;
}

QTextEdit* MakeMemo(QWidget* parent, const QString& name, const QString& text, int height) {
    auto* memo = new QTextEdit(parent);
    memo->setObjectName(name);
    memo->setReadOnly(true);
    memo->setFrameStyle(QFrame::NoFrame);
    memo->setFont(ArialFont(12, true, true));
    memo->setFixedHeight(height);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setPlainText(text);
    memo->document()->setDocumentMargin(0);
    memo->selectAll();
    memo->setAlignment(Qt::AlignHCenter);
    memo->setTextCursor(QTextCursor(memo->document()));
    memo->setFocusPolicy(Qt::NoFocus);
    QPalette palette = memo->palette();
    palette.setColor(QPalette::Base, InfoColour());
    palette.setColor(QPalette::Text, Qt::black);
    memo->setPalette(palette);
    memo->viewport()->setCursor(Qt::ArrowCursor);
    return memo;
}

LinkLabel* MakeLink(QWidget* parent, const QString& name, const QString& text) {
    auto* link = new LinkLabel(text, parent);
    link->setObjectName(name);
    link->setAlignment(Qt::AlignCenter);
    QFont font = SansFont(16, true);
    font.setUnderline(true);
    link->setFont(font);
    QPalette palette = link->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    link->setPalette(palette);
    link->setCursor(Qt::PointingHandCursor);
    return link;
}

// The close cross: the symbol font the box was designed with does not exist here.
class CrossLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap));
        const QRectF box = QRectF(rect()).adjusted(5, 5, -5, -5);
        painter.drawLine(box.topLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomLeft());
    }
};

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Form2"));
    setFixedSize(kWidth, kHeight);
    setFont(WindowFont());
    setModal(true);

    Panel1 = MakePanel(this, QStringLiteral("Panel1"), Qt::black);
    Panel1->setGeometry(0, 0, kWidth, kHeight);
    Panel2 = MakePanel(Panel1, QStringLiteral("Panel2"), InfoColour());
    Panel2->setGeometry(1, 1, kWidth - 2, kHeight - 2);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Panel3 = MakePanel(Panel2, QStringLiteral("Panel3"), QColor(0xc0, 0xc0, 0xc0));
    Panel3->setGeometry(1, 1, Panel2->width() - 2, 88);
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel3->setLineWidth(2);

    Label1 = new QLabel(QStringLiteral("Spurfix"), Panel3);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(ArialFont(64, true, true));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setGeometry(0, -4, Panel3->width(), 72);

    Label2 = new QLabel(QStringLiteral("v2.0"), Panel3);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label2->setGeometry(300, 52, 42, 14);
    QPalette grey = Label2->palette();
    grey.setColor(QPalette::WindowText, QColor(0x40, 0x40, 0x40));
    Label2->setPalette(grey);

    Label3 = new QLabel(QStringLiteral("Neuauflage für Linux: Titellisten für MP3-CDs"), Panel3);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label3->setGeometry(0, 67, Panel3->width(), 14);

    Panel5 = new CrossLabel(Panel3);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setGeometry(325, 4, 18, 18);
    SpeedButton1 = new QToolButton(Panel3);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setGeometry(325, 4, 18, 18);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setStyleSheet(
        QStringLiteral("QToolButton { background: transparent; border: none; }"));
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { SpeedButton1Click(); }); });

    Panel4 = MakePanel(Panel2, QStringLiteral("Panel4"), InfoColour());
    Panel4->setGeometry(1, 89, Panel2->width() - 2, Panel2->height() - 90);
    const int inner = Panel4->width() - 16;
    Memo1 = MakeMemo(Panel4, QStringLiteral("Memo1"),
                     QStringLiteral("Diese Ausgabe schrieben die Spurfix-Entwickler.\n"
                                    "\n"
                                    "Sie beruht auf dem gleichnamigen\n"
                                    "früheren Programm, dessen Autor\n"
                                    "die Idee dazu hatte.\n"
                                    "\n"
                                    "Für Kritik oder Anregungen schreibe mir eine E-Mail an:"),
                     121);
    Memo1->setGeometry(8, 8, inner, 121);
    Label6 = MakeLink(Panel4, QStringLiteral("Label6"), kMailAddress);
    Label6->setGeometry(8, 129, inner, 20);
    connect(Label6, &LinkLabel::clicked, this, [this] { RunGuarded([this] { Label6Click(); }); });
    Memo2 = MakeMemo(Panel4, QStringLiteral("Memo2"),
                     QStringLiteral("\noder besuche mich im Internet unter:"), 44);
    Memo2->setGeometry(8, 149, inner, 44);
    Label7 = MakeLink(Panel4, QStringLiteral("Label7"), kWebAddress);
    Label7->setGeometry(8, 193, inner, 20);
    connect(Label7, &LinkLabel::clicked, this, [this] { RunGuarded([this] { Label7Click(); }); });

    CentreOnScreen(*this);
}

void TForm2::Label6Click() {
    OpenLink(QStringLiteral("mailto:") + kMailAddress);
}

void TForm2::Label7Click() {
    OpenLink(kWebUrl);
}

void TForm2::SpeedButton1Click() {
    done(1);
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Esc closes the box: only its close button does.
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

}  // namespace spurfix::ui
