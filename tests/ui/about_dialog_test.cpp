#include <QDesktopServices>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>

#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

class LinkCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

using AboutDialogTest = WizardTest;

TEST_F(AboutDialogTest, ShownModallyFromTheWelcomePage) {
    prompter.onDialog = [this](QDialog& dialog) {
        EXPECT_EQ(&dialog, about.get());
        return 1;
    };
    Click(form->AboutButton);
    EXPECT_EQ(prompter.dialogsRun, 1);
    EXPECT_EQ(page(), form->Sheet_About);
}

TEST_F(AboutDialogTest, BorderlessBoxWithItsTexts) {
    EXPECT_EQ(about->size(), QSize(351, 323));
    EXPECT_TRUE(about->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(about->Label1->text(), QStringLiteral("Spurfix"));
    EXPECT_EQ(about->Label2->text(), QStringLiteral("v2.0"));
    EXPECT_FALSE(about->Label3->text().isEmpty());
    const QStringList memo1 = about->Memo1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(memo1.size(), 7);
    EXPECT_TRUE(memo1[1].isEmpty() && memo1[5].isEmpty());
    EXPECT_EQ(memo1[6], QStringLiteral("Für Kritik oder Anregungen schreibe mir eine E-Mail an:"));
    EXPECT_EQ(about->Memo2->toPlainText(),
              QStringLiteral("\noder besuche mich im Internet unter:"));
    EXPECT_TRUE(about->Label6->text().endsWith(QStringLiteral("@example.org")));
    EXPECT_TRUE(about->Label7->text().contains(QStringLiteral("example.org")));
    EXPECT_EQ(about->Label6->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(about->SpeedButton1->geometry(), QRect(325, 4, 18, 18));
}

TEST_F(AboutDialogTest, LinksOpenThroughTheDesktopAndTheBoxStays) {
    LinkCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    about->show();
    QTest::mouseClick(about->Label6, Qt::LeftButton);
    QTest::mouseClick(about->Label7, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.opened,
              (QList<QUrl>{QUrl(QStringLiteral("mailto:spurfix@example.org")),
                           QUrl(QStringLiteral("https://www.example.org/spurfix"))}));
    EXPECT_TRUE(about->isVisible());
    about->hide();
}

TEST_F(AboutDialogTest, OnlyTheCloseButtonClosesIt) {
    about->show();
    QTest::keyClick(about.get(), Qt::Key_Escape);
    QTest::keyClick(about.get(), Qt::Key_Return);
    EXPECT_TRUE(about->isVisible());
    QTest::mouseClick(about->SpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(about->result(), 1);
}

}  // namespace
}  // namespace spurfix::ui::test

#include "about_dialog_test.moc"
