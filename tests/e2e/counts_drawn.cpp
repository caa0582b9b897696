// On a real X server: while a long reading runs, the two counts are on the screen in
// every frame. The label areas are read back from the X server many times during the
// reading, and each sample must show the drawn digits of both counts.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "long_reading_on_screen.h"

namespace spurfix::ui::test {
namespace {

// Whether the X server shows the label as the label draws itself now, pixel for pixel
// (within a little for rounding): its current text, whatever the digits and the font.
bool ShownAsItDrawsItself(const QLabel* label, std::string& why) {
    const QImage onScreen = OnScreen(label);
    const QImage itself =
        const_cast<QLabel*>(label)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (onScreen.size() != itself.size()) {
        why = "the label's area could not be read";
        return false;
    }
    int differing = 0;
    for (int y = 0; y < itself.height(); ++y) {
        for (int x = 0; x < itself.width(); ++x) {
            const QRgb a = onScreen.pixel(x, y);
            const QRgb b = itself.pixel(x, y);
            const int difference =
                std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b))});
            differing += difference > 24 ? 1 : 0;
        }
    }
    if (differing > 0) {
        why = std::to_string(differing) + " pixels differ from \"" + label->text().toStdString() +
              "\"";
        return false;
    }
    return true;
}

// Whether the label draws anything at all: an empty label would match an empty screen.
bool DrawsInk(const QLabel* label) {
    const QImage itself = const_cast<QLabel*>(label)->grab().toImage();
    const QRgb background = itself.pixel(0, 0);
    for (int y = 0; y < itself.height(); ++y) {
        for (int x = 0; x < itself.width(); ++x) {
            if (itself.pixel(x, y) != background) {
                return true;
            }
        }
    }
    return false;
}

// Some 300,000 files in 300 folders.
class CountsDrawn : public LongReadingOnScreen {
  protected:
    CountsDrawn() : LongReadingOnScreen("", 300) {}
};

TEST_F(CountsDrawn, BothCountsAreOnTheScreenInEveryFrame) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ForwardToInput);
    QTest::qWait(50);
    struct Sample {
        std::string files;  // why the file count was not on the screen, or ""
        std::string folders;
    };
    std::vector<Sample> samples;
    QElapsedTimer sinceSample;
    sinceSample.start();
    const auto sampler = DuringEveryUpdate([&] {
        // A frame is 16 ms: a sample every 5 ms or so looks at every frame.
        if (sinceSample.elapsed() >= 5 && form->isReading()) {
            Sample sample;
            if (!DrawsInk(form->InputFilesFound) ||
                !ShownAsItDrawsItself(form->InputFilesFound, sample.files)) {
                sample.files += " (file count)";
            }
            if (!DrawsInk(form->InputDirsFound) ||
                !ShownAsItDrawsItself(form->InputDirsFound, sample.folders)) {
                sample.folders += " (folder count)";
            }
            samples.push_back(sample);
            sinceSample.restart();
        }
    });
    UserClick(form->StartInput);
    ASSERT_EQ(form->InputFilesFound->text(), QStringLiteral("300000"));
    std::cout << samples.size() << " samples during the reading\n";
    ASSERT_GE(samples.size(), 20U) << "the reading was too short to sample";
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].files, "") << "sample " << i << ": no file count on the screen";
        EXPECT_EQ(samples[i].folders, "") << "sample " << i << ": no folder count on the screen";
    }
}

}  // namespace
}  // namespace spurfix::ui::test
