#pragma once

#include <QDialog>
#include <QLabel>

class QFrame;
class QTextEdit;
class QToolButton;

namespace spurfix::ui {

// Asks the desktop to open a link (a "mailto:" address or a web address) with the
// program registered for it; a failure is ignored.
void OpenLink(const QString& link);

// A label that reacts to a click like a link.
class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;
  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The borderless about box.
class TForm2 : public QDialog {
    Q_OBJECT
  public:
    static inline const QString kMailAddress = QStringLiteral("spurfix@example.org");
    static inline const QString kWebAddress = QStringLiteral("www.example.org/spurfix");
    static inline const QString kWebUrl = QStringLiteral("https://www.example.org/spurfix");

    explicit TForm2(QWidget* parent = nullptr);

    QFrame* Panel1;
    QFrame* Panel2;
    QFrame* Panel3;
    QFrame* Panel4;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Panel5;
    QToolButton* SpeedButton1;
    QTextEdit* Memo1;
    LinkLabel* Label6;
    QTextEdit* Memo2;
    LinkLabel* Label7;

  public slots:
    void Label6Click();
    void Label7Click();
    void SpeedButton1Click();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace spurfix::ui
