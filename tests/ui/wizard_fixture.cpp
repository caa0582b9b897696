#include "wizard_fixture.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QWindow>

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
    if (!machineDrives) {
        form->setDriveSource([this] { return drives; });
    }
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
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
QWindow* WindowOf(QWidget* widget, QPoint& at) {
    if (at == QPoint(-1, -1)) {
        at = widget->rect().center();
    }
    QWidget* topLevel = widget->window();
    at = widget->mapTo(topLevel, at);
    return topLevel->windowHandle();
}
}  // namespace

void UserClick(QWidget* widget, QPoint at) {
    QWindow* window = WindowOf(widget, at);
    ASSERT_NE(window, nullptr) << widget->objectName().toStdString() << " is not shown";
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
}

void UserDoubleClick(QWidget* widget, QPoint at) {
    QWindow* window = WindowOf(widget, at);
    ASSERT_NE(window, nullptr) << widget->objectName().toStdString() << " is not shown";
    QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, at);
}

void UserKey(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWindow* window = QGuiApplication::focusWindow();
    ASSERT_NE(window, nullptr) << "no window has the focus";
    QTest::keyClick(window, key, modifiers);
}

void UserClickAt(QWidget* widget, ulong milliseconds) {
    QPoint at(-1, -1);
    QWindow* window = WindowOf(widget, at);
    ASSERT_NE(window, nullptr) << widget->objectName().toStdString() << " is not shown";
    const QPointF global = window->mapToGlobal(at);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        qt_handleMouseEvent(window, at, global,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::LeftButton, type, Qt::NoModifier, static_cast<int>(milliseconds));
    }
}

void UserPaste(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    UserKey(Qt::Key_A, Qt::ControlModifier);
    UserKey(Qt::Key_V, Qt::ControlModifier);
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

namespace {
class PassCounter : public QObject {
  public:
    int passes = 0;
    bool counting = true;
    void post() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }

  protected:
    void customEvent(QEvent*) override {
        if (counting) {
            ++passes;
            post();
        }
    }
};
}  // namespace

int EventPasses(const std::function<void()>& work) {
    PassCounter counter;
    counter.post();
    work();
    counter.counting = false;
    QCoreApplication::removePostedEvents(&counter);
    return counter.passes;
}

namespace {
class EveryUpdate : public QObject {
  public:
    explicit EveryUpdate(std::function<void()> action) : action_(std::move(action)) {}
    void post() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }

  protected:
    void customEvent(QEvent*) override {
        action_();
        post();
    }

  private:
    std::function<void()> action_;
};
}  // namespace

std::unique_ptr<QObject> DuringEveryUpdate(std::function<void()> action) {
    auto every = std::make_unique<EveryUpdate>(std::move(action));
    every->post();
    return every;
}

void DuringUpdate(int n, std::function<void()> action) {
    (new UpdateCounter(n, std::move(action)))->post();
}

}  // namespace spurfix::ui::test
