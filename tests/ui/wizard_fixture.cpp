#include "wizard_fixture.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
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

std::optional<QString> FakePrompter::askFolder(const QString& caption, const QString&) {
    folderCaptions.push_back(caption);
    return TakeFront(folders);
}

int FakePrompter::runDialog(QDialog& dialog) {
    ++dialogsRun;
    QWidget* active = QApplication::activeWindow();
    const int result = onDialog ? onDialog(dialog) : QDialog::Rejected;
    // As after a real modal dialog, the window that opened it is active again.
    if (active != nullptr && !active->isActiveWindow()) {
        active->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(active));
    }
    return result;
}

void WizardTest::SetUp() {
    form = std::make_unique<TForm1>();
    chooser = std::make_unique<TChooseDirDialog>();
    about = std::make_unique<TForm2>();
    form->attachDialogs(chooser.get(), about.get());
    if (!machineDrives) {
        form->setDriveSource([this] { return drives; });
    }
    QObject::connect(form.get(), &TForm1::terminationRequested, [this] { endRequested_ = true; });
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
}

void WizardTest::TearDown() {
    form.reset();
    if (endRequested_) {
        // The program asked the application to end, outside its event loop here: until the
        // loop runs once, every event loop of this thread would return at once, and the
        // next test's background work would find its window deaf.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
    chooser.reset();
    about.reset();
    // Whatever a test opened, it closed: no window is left for the next test.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(window->isVisible())
            << "a window was left open: " << window->metaObject()->className() << " "
            << window->objectName().toStdString();
    }
}

void WizardTest::Click(QAbstractButton* button) {
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    ASSERT_TRUE(button->isVisible()) << button->objectName().toStdString() << " is not shown";
    // A check box or radio button reacts to its box and its text, not to the empty room
    // its place may have beyond them: a person clicks the box.
    const bool boxed = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
    UserClick(button, boxed ? QPoint(8, button->height() / 2) : QPoint(-1, -1));
}

QWidget* WizardTest::page() const {
    return form->PageControl1->currentWidget();
}

namespace {
// Why a click on `widget` may not reach it: what the window shows at its place, and
// which window has the focus, a popup or a modal dialog.
std::string WhatTakesClicks(QWidget* widget) {
    QWidget* window = widget->window();
    const QPoint at = widget->mapTo(window, QPoint(8, widget->height() / 2));
    const QWidget* under = window->childAt(at);
    const auto name = [](const QObject* object) {
        return object == nullptr ? std::string("none")
                                 : std::string(object->metaObject()->className()) + " " +
                                       object->objectName().toStdString();
    };
    return "enabled " + std::to_string(widget->isEnabled()) + ", visible " +
           std::to_string(widget->isVisible()) + ", under the click: " + name(under) +
           ", focus window: " + name(QGuiApplication::focusWindow()) +
           ", popup: " + name(QApplication::activePopupWidget()) +
           ", modal: " + name(QGuiApplication::modalWindow()) +
           ", window exposed: " + std::to_string(window->windowHandle()->isExposed());
}
}  // namespace

void WizardTest::ChooseDrive(const std::string& mountPoint) {
    QComboBox* combo = form->ChooseDirComboBox;
    const int wanted =
        combo->findText(QString::fromStdString(mountPoint) + QLatin1Char(' '), Qt::MatchStartsWith);
    ASSERT_GE(wanted, 0) << mountPoint << " is not in the drive list";
    // The arrows and Enter go to the list only once it is open: to a closed drive box the
    // arrows would change the drive as well, but Enter would go on to the next page.
    for (int tries = 0; tries < 3 && QApplication::activePopupWidget() == nullptr; ++tries) {
        UserClick(combo);
        (void)QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000);
    }
    ASSERT_NE(QApplication::activePopupWidget(), nullptr)
        << "the drive list does not open: " << WhatTakesClicks(combo);
    // On an X server the list is shown a moment after it opens; a person's keys wait for it.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(QApplication::activePopupWidget()->windowHandle()));
    const int steps = wanted - combo->currentIndex();
    for (int i = 0; i < std::abs(steps); ++i) {
        UserKey(steps > 0 ? Qt::Key_Down : Qt::Key_Up);
    }
    UserKey(Qt::Key_Return);
    ASSERT_EQ(combo->currentIndex(), wanted);
    // On an X server the list closes a moment later: a click before that only closes it.
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 30000))
        << "the drive list stays open";
}

void GoDownTo(DirectoryListBox* list, const std::string& target) {
    while (list->directory() != target) {
        const std::string& here = list->directory();
        const size_t from = here == "/" ? 1 : here.size() + 1;
        if (target.rfind(here == "/" ? "/" : here + "/", 0) != 0) {
            UserDoubleClick(list->viewport(), list->visualItemRect(list->item(0)).center());
            continue;  // not on the way: up to "/" first
        }
        const std::string next = target.substr(0, target.find('/', from));
        QListWidgetItem* entry = nullptr;
        for (int i = 0; i < list->count() && entry == nullptr; ++i) {
            entry = DirectoryListBox::PathOf(list->item(i)) == next ? list->item(i) : nullptr;
        }
        if (entry == nullptr) {
            ADD_FAILURE() << next << " is not listed in the chooser";
            return;
        }
        list->scrollToItem(entry);
        UserDoubleClick(list->viewport(), list->visualItemRect(entry).center());
    }
}

void WizardTest::ChooseFolder(const std::string& folder) {
    std::string target = folder;
    while (target.size() > 1 && target.back() == '/') {
        target.pop_back();
    }
    form->PageControl1->setCurrentWidget(form->Sheet_Drive);
    // The drive that holds the folder: the longest mount point it lies below.
    std::string drive;
    for (const platform::Drive& candidate : drives) {
        const std::string root = candidate.mountPoint == "/" ? "/" : candidate.mountPoint + "/";
        if ((target + "/").rfind(root, 0) == 0 && candidate.mountPoint.size() >= drive.size()) {
            drive = candidate.mountPoint;
        }
    }
    ASSERT_FALSE(drive.empty()) << "no drive holds " << target;
    ChooseDrive(drive);
    // On an X server, a click that comes within moments of the drive list closing is now
    // and then lost (about one run in six under load, with the pointer free and no popup
    // left): the person clicks again, as anyone does when a click did not take.
    for (int tries = 0; tries < 5 && !form->ChooseDir->isChecked(); ++tries) {
        Click(form->ChooseDir);
        (void)QTest::qWaitFor([&] { return form->ChooseDir->isChecked(); }, 1000);
    }
    ASSERT_TRUE(form->ChooseDir->isChecked()) << WhatTakesClicks(form->ChooseDir);
    prompter.onDialog = [&](QDialog& dialog) {
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        GoDownTo(chooser->DirectoryListBox1, target);
        UserClick(chooser->Button1);
        const int result = dialog.result();
        dialog.hide();
        return result;
    };
    UserClick(form->ChooseDirButton);
    prompter.onDialog = nullptr;
    ASSERT_EQ(form->sourcePath(), target);
}

QStringList WizardTest::previewLines() const {
    QStringList lines;
    const QAbstractItemModel* model = form->Preview->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        lines << model->index(row, 0).data().toString();
    }
    return lines;
}

void WizardTest::ReadFolder(const std::string& folder) {
    ASSERT_NO_FATAL_FAILURE(ChooseFolder(folder));
    UserClick(form->ForwardToInput);
    UserClick(form->StartInput);
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
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        // On a real X server the pointer is where a person's hand is: events of the server
        // itself (the pointer entering a window as a list closes) carry its place, and one
        // that comes between press and release would end the click elsewhere.
        const QPoint global = window->mapToGlobal(at);
        QCursor::setPos(window->screen(), global);
        (void)QTest::qWaitFor([&] { return QCursor::pos(window->screen()) == global; }, 2000);
    }
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
