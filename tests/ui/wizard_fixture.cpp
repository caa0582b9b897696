#include "wizard_fixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QStackedWidget>

namespace spurfix::ui::test {

namespace {
// An empty queue answers like a cancelled dialog.
std::optional<QString> TakeFront(std::deque<std::optional<QString>>& answers) {
    if (answers.empty() || !answers.front().has_value()) {
        if (!answers.empty()) {
            answers.pop_front();
        }
        return std::nullopt;
    }
    const QString answer = *answers.front();
    answers.pop_front();
    return answer;
}
}  // namespace

Answer FakePrompter::message(BoxKind kind, const QString& text) {
    messages.push_back({kind, text});
    if (answers.empty()) {
        return Answer::Ok;
    }
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> FakePrompter::askText(const QString& caption, const QString& prompt,
                                             const QString&) {
    textCaptions.push_back(caption + QLatin1Char('|') + prompt);
    return TakeFront(texts);
}

std::optional<QString> FakePrompter::askSaveFileName(const SaveRequest& request) {
    saveRequests.push_back(request);
    return TakeFront(fileNames);
}

int FakePrompter::runDialog(QDialog& dialog) {
    ++dialogsRun;
    return onDialog ? onDialog(dialog) : QDialog::Rejected;
}

void WizardTest::SetUp() {
    form = std::make_unique<TForm1>();
    chooser = std::make_unique<TChooseDirDialog>();
    about = std::make_unique<TForm2>();
    form->attachDialogs(chooser.get(), about.get());
    form->setDriveSource([this] { return drives; });
    form->show();
    form->FormActivate();
}

void WizardTest::TearDown() {
    form.reset();
    chooser.reset();
    about.reset();
}

void WizardTest::Click(QAbstractButton* button) {
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    button->click();
}

QWidget* WizardTest::page() const {
    return form->PageControl1->currentWidget();
}

void WizardTest::ReadFolder(const std::string& folder) {
    form->ChooseDirEdit->setText(QString::fromStdString(folder));
    form->ForwardToInputClick();
    Click(form->StartInput);
    ASSERT_FALSE(form->isReading());
}

namespace {
class UpdateCounter : public QObject {
  public:
    UpdateCounter(int remaining, std::function<void()> action)
        : remaining_(remaining), action_(std::move(action)) {}

    void post() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }

  protected:
    void customEvent(QEvent*) override {
        // Events posted while the queue is being worked off wait for the next pass,
        // so one delivery is one progress update.
        if (--remaining_ > 0) {
            post();
            return;
        }
        action_();
        deleteLater();
    }

  private:
    int remaining_;
    std::function<void()> action_;
};
}  // namespace

void DuringUpdate(int n, std::function<void()> action) {
    (new UpdateCounter(n, std::move(action)))->post();
}

}  // namespace spurfix::ui::test
