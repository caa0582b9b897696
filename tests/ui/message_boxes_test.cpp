#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "engine/in_out_error.h"
#include "engine/list_file.h"
#include "support/temp_tree.h"
#include "ui/application_title.h"
#include "ui/error_display.h"
#include "ui/save_file_dialog.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

TEST(MessageBoxes, BuiltAsTheyAreShown) {
    struct BoxCase {
        BoxKind kind;
        QString caption;
        QMessageBox::Icon icon;
        QStringList buttons;
        QString escape;
    };
    const BoxCase cases[] = {
        {BoxKind::Error, "Fehler", QMessageBox::Critical, {"OK"}, "OK"},
        {BoxKind::Confirmation,
         "Bestätigung",
         QMessageBox::Question,
         {"OK", "Abbrechen"},
         "Abbrechen"},
        {BoxKind::Plain, ApplicationTitle(), QMessageBox::NoIcon, {"OK"}, "OK"},
        {BoxKind::DefaultError, ApplicationTitle(), QMessageBox::Critical, {"OK"}, "OK"},
    };
    for (const BoxCase& c : cases) {
        const auto box = BuildMessageBox(c.kind, QStringLiteral("Zeile 1\r\n\r\nZeile 2"));
        EXPECT_EQ(box->windowTitle(), c.caption);
        EXPECT_EQ(box->icon(), c.icon);
        QStringList buttons;
        for (QAbstractButton* button : box->buttons()) {
            buttons << button->text();
        }
        buttons.sort();
        QStringList expected = c.buttons;
        expected.sort();
        EXPECT_EQ(buttons, expected) << c.caption.toStdString();
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("OK"));
        ASSERT_NE(box->escapeButton(), nullptr);
        EXPECT_EQ(box->escapeButton()->text(), c.escape);
        EXPECT_EQ(box->text(), QStringLiteral("Zeile 1\n\nZeile 2"));
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    }
}

TEST(MessageBoxes, InputBoxAndSaveDialog) {
    const auto input =
        BuildInputBox(QStringLiteral("Erweiterung hinfügen"), QStringLiteral("Frage"), {});
    EXPECT_EQ(input->windowTitle(), QStringLiteral("Erweiterung hinfügen"));
    EXPECT_EQ(input->labelText(), QStringLiteral("Frage"));
    EXPECT_EQ(input->okButtonText(), QStringLiteral("OK"));
    EXPECT_EQ(input->cancelButtonText(), QStringLiteral("Abbrechen"));

    const auto save = BuildSaveDialog(
        {QStringLiteral("spurfix.txt"), QStringLiteral("txt"), QStringLiteral("Textdatei (*.txt)")},
        [](const QString&) {});
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->defaultSuffix(), QStringLiteral("txt"));
    EXPECT_EQ(save->nameFilters(), QStringList{QStringLiteral("Textdatei (*.txt)")});
    EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
    // Qt's own dialog speaks German once the translation is loaded.
    QStringList texts;
    for (const QPushButton* button : save->findChildren<QPushButton*>()) {
        texts << button->text().remove(QLatin1Char('&'));
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Speichern")))
        << texts.join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Abbrechen")))
        << texts.join(QLatin1Char(',')).toStdString();
}

// The real prompter's save dialog reports a missing folder as an error box.
// A box is centred as it is shown, once its size is known.
TEST(MessageBoxes, CentredOnTheScreen) {
    for (const BoxKind kind : {BoxKind::Confirmation, BoxKind::Error, BoxKind::Plain}) {
        const auto box = BuildMessageBox(
            kind, QStringLiteral("Die Daten wurden erfolgreich exportiert!\r\n\r\nKlicken sie "
                                 "[OK] um zurück zum Anfang zu kommen oder [Abbrechen] um Spurfix "
                                 "zu beenden."));
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        const QPoint centre = box->screen()->availableGeometry().center();
        const QPoint boxCentre = box->frameGeometry().center();
        EXPECT_LE(std::abs(boxCentre.x() - centre.x()), 1) << boxCentre.x() << " vs " << centre.x();
        EXPECT_LE(std::abs(boxCentre.y() - centre.y()), 1) << boxCentre.y() << " vs " << centre.y();
        box->hide();
    }
}

TEST(SaveDialog, AcceptsOnlyANameInAnExistingFolder) {
    FakePrompter prompter;
    const auto save = BuildSaveDialog(
        {QStringLiteral("spurfix.txt"), QStringLiteral("txt"), QStringLiteral("Textdatei (*.txt)")},
        [&](const QString& message) { prompter.message(BoxKind::Error, message); });
    save->selectFile(QStringLiteral("/gibt/es/nicht/liste.txt"));
    save->accept();
    EXPECT_EQ(save->result(), QDialog::Rejected);
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::Error);
    const QString text = prompter.messages[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Der Ordner \"")) &&
                text.endsWith(QStringLiteral("/gibt/es/nicht\" existiert nicht.")))
        << text.toStdString();

    spurfix::test::TempTree tree;
    save->selectFile(QString::fromStdString(tree.path("liste.txt")));
    save->accept();
    EXPECT_EQ(save->result(), QDialog::Accepted);
    EXPECT_EQ(prompter.messages.size(), 1U);
}

TEST(ApplicationTitle, FromTheExecutableName) {
    const std::pair<QString, QString> cases[] = {
        {"/usr/bin/spurfix", "spurfix"},
        {"Spurfix.exe", "Spurfix"},
        {"/opt/SPURFIX.Beta.exe", "Spurfix"},
        {"./build/sPuRfIx", "spurfix"},
        {"/a.b/Mein.Programm", "Mein"},
        {".versteckt", ""},
        {"Ä", "Ä"},
    };
    for (const auto& [path, title] : cases) {
        EXPECT_EQ(ApplicationTitleFor(path), title) << path.toStdString();
    }
}

TEST(DefaultErrorDisplay, AppendsAFullStopAfterLaterCharacters) {
    EXPECT_EQ(WithFullStop(QStringLiteral("Dateizugriff verweigert")),
              QStringLiteral("Dateizugriff verweigert."));
    EXPECT_EQ(WithFullStop(QStringLiteral("E/A-Fehler 32")), QStringLiteral("E/A-Fehler 32."));
    EXPECT_EQ(WithFullStop(QStringLiteral("Fertig.")), QStringLiteral("Fertig."));
    EXPECT_EQ(WithFullStop(QStringLiteral("Wirklich!")), QStringLiteral("Wirklich!"));
    EXPECT_EQ(WithFullStop(QStringLiteral("Pfad /")), QStringLiteral("Pfad /."));
    EXPECT_EQ(WithFullStop(QString()), QString());
}

using DefaultErrorTest = WizardTest;

// An event handler that throws: the application object shows the error and goes on. Only
// the program's own German messages are shown as they are, never a library's raw text.
class ThrowingReceiver : public QObject {
  public:
    explicit ThrowingReceiver(std::function<void()> thrower) : thrower_(std::move(thrower)) {}

  protected:
    void customEvent(QEvent*) override { thrower_(); }

  private:
    std::function<void()> thrower_;
};

TEST_F(DefaultErrorTest, WhatLeavesAnEventHandlerIsShownInGerman) {
    const std::pair<std::function<void()>, QString> cases[] = {
        {[] { throw EInOutError(5, "Dateizugriff verweigert"); },
         QStringLiteral("Dateizugriff verweigert.")},
        {[] { throw std::bad_alloc(); }, QStringLiteral("Zu wenig Arbeitsspeicher.")},
        {[] { throw std::system_error(ENOSPC, std::generic_category(), "/x"); },
         QStringLiteral("Zu wenig Speicherplatz.")},
        {[] { throw std::runtime_error("kaputt"); }, QStringLiteral("Unbekannter Fehler.")},
        {[] { throw 42; }, QStringLiteral("Unbekannter Fehler.")},
    };
    for (const auto& [thrower, shown] : cases) {
        prompter.messages.clear();
        ThrowingReceiver receiver(thrower);
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&receiver, &event);
        ASSERT_EQ(prompter.messages.size(), 1U);
        EXPECT_EQ(prompter.messages[0].kind, BoxKind::DefaultError);
        EXPECT_EQ(prompter.messages[0].text, shown);
    }
}

// A window handler that throws, clicked as a person would: the box, and the window
// stays on its page and goes on working.
TEST_F(DefaultErrorTest, AThrowingHandlerShowsTheBoxAndTheProgramGoesOn) {
    form->PageControl1->setCurrentWidget(form->Sheet_Output);
    prompter.fileNames = {QStringLiteral("/gibt/es/nicht/liste.txt")};
    QTest::mouseClick(form->SaveButton, Qt::LeftButton);
    ASSERT_EQ(prompter.messages.size(), 1U);
    EXPECT_EQ(prompter.messages[0].kind, BoxKind::DefaultError);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Ungültiger Dateiname."));
    EXPECT_EQ(page(), form->Sheet_Output);
    QTest::mouseClick(form->BackToPreview, Qt::LeftButton);
    EXPECT_EQ(page(), form->Sheet_Preview);
}

}  // namespace
}  // namespace spurfix::ui::test
