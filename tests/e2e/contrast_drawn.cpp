// On a real X server, in a light and in a dark palette: the heading, a label, a link and
// the marks of a check box and a radio button stand out from what lies behind them, as
// drawn. Each is measured in a screenshot: the colour behind it is the one most of its
// area has, and its own colour is the one that differs most from that one; their
// contrast ratio (WCAG) is at least 4.5:1 for text and 3:1 for marks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextEdit>
#include <cmath>
#include <map>

#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

double Luminance(QRgb colour) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(colour)) + 0.7152 * channel(qGreen(colour)) +
           0.0722 * channel(qBlue(colour));
}

double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of what is drawn in `area` of the widget against its background.
double DrawnContrast(QWidget* widget, const QRect& area, const QString& shot) {
    const QPoint topLeft = widget->mapToGlobal(area.topLeft());
    const QImage image = widget->screen()
                             ->grabWindow(0, topLeft.x(), topLeft.y(), area.width(), area.height())
                             .toImage();
    image.save(shot);
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y) | 0xff000000];
        }
    }
    const QRgb background = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                                return a.second < b.second;
                            })->first;
    double most = 1;
    for (const auto& [colour, count] : counts) {
        most = std::max(most, Contrast(colour, background));
    }
    return most;
}

QPalette DarkPalette() {
    // As dark themes have it (qt6ct's "darker", Breeze Dark, Adwaita dark).
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::AlternateBase, QColor(0x42, 0x42, 0x42));
    dark.setColor(QPalette::ToolTipBase, QColor(0x4a, 0x4a, 0x3a));
    dark.setColor(QPalette::ToolTipText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x45, 0x45, 0x45));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x5a, 0xa0, 0xf0));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return dark;
}

class ContrastDrawn : public WizardTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        light = QApplication::palette();
        if (GetParam()) {
            QApplication::setPalette(DarkPalette());
        }
        WizardTest::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QDir().mkpath(QStringLiteral(SPURFIX_SCREENSHOT_DIR));
    }
    void TearDown() override {
        WizardTest::TearDown();
        QApplication::setPalette(light);
    }
    QString shot(const QString& what) const {
        return QStringLiteral(SPURFIX_SCREENSHOT_DIR "/contrast_%1_%2.png")
            .arg(GetParam() ? QStringLiteral("dark") : QStringLiteral("light"), what);
    }
    // Waits until the window shows what it draws now.
    static void WaitUntilShown(QWidget* window) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QImage drawn = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
                const QPoint at = window->mapToGlobal(QPoint(0, 0));
                const QImage shown =
                    window->screen()
                        ->grabWindow(0, at.x(), at.y(), window->width(), window->height())
                        .toImage()
                        .convertToFormat(QImage::Format_RGB32);
                return drawn == shown;
            },
            10000));
    }
    static QRect MarkOf(QAbstractButton* button, QStyle::SubElement element) {
        QStyleOptionButton option;
        option.initFrom(button);
        return button->style()->subElementRect(element, &option, button).adjusted(-2, -2, 2, 2);
    }
    QPalette light;
};

TEST_P(ContrastDrawn, TextsAndMarksStandOut) {
    UserClick(form->ForwardToChooseDir);
    QWidget* window = form.get();
    WaitUntilShown(window);
    window->screen()->grabWindow(window->winId()).save(shot(QStringLiteral("source_page")));
    struct Case {
        const char* what;
        QWidget* widget;
        QRect area;
        double least;
    };
    QLabel* label = form->findChild<QLabel*>(QStringLiteral("StaticText4"));
    QLabel* heading = form->findChild<QLabel*>(QStringLiteral("StaticText5"));
    ASSERT_TRUE(label != nullptr && heading != nullptr);
    const std::vector<Case> sourcePage = {
        {"heading", heading, heading->rect().adjusted(3, 3, -3, -3), 4.5},
        {"label", label, label->rect(), 4.5},
        {"radio_button", form->ChooseDir, MarkOf(form->ChooseDir, QStyle::SE_RadioButtonIndicator),
         3},
    };
    for (const Case& c : sourcePage) {
        EXPECT_GE(DrawnContrast(c.widget, c.area, shot(QString::fromLatin1(c.what))), c.least)
            << c.what;
    }

    form->PageControl1->setCurrentWidget(form->Sheet_Files);
    WaitUntilShown(window);
    window->screen()->grabWindow(window->winId()).save(shot(QStringLiteral("files_page")));
    ASSERT_FALSE(form->FilesWithJustTitle->isChecked());
    EXPECT_GE(DrawnContrast(form->FilesWithJustTitle,
                            MarkOf(form->FilesWithJustTitle, QStyle::SE_CheckBoxIndicator),
                            shot(QStringLiteral("check_box"))),
              3);

    about->show();
    WaitUntilShown(about.get());
    about->screen()->grabWindow(about->winId()).save(shot(QStringLiteral("about_box")));
    const std::vector<Case> aboutBox = {
        {"about_title", about->Label1, about->Label1->rect(), 4.5},
        {"about_version", about->Label2, about->Label2->rect(), 4.5},
        {"about_text", about->Memo1, about->Memo1->rect(), 4.5},
        {"link", about->Label6, about->Label6->rect(), 4.5},
    };
    for (const Case& c : aboutBox) {
        EXPECT_GE(DrawnContrast(c.widget, c.area, shot(QString::fromLatin1(c.what))), c.least)
            << c.what;
    }
    about->hide();
}

INSTANTIATE_TEST_SUITE_P(Palettes, ContrastDrawn, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });

}  // namespace
}  // namespace spurfix::ui::test
