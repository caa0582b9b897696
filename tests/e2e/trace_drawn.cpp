// On a real X server: while a long reading of deep paths runs, the folder trace shows
// its lines from their start in every frame. The trace's area is read back from the X
// server many times during the reading. What counts as drawn is what differs from the
// empty view as the X server showed it before the reading: no ink threshold, no glyph
// shapes, no font size enter the check.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <iostream>
#include <map>

#include "long_reading_on_screen.h"
#include "ui/folder_trace.h"

namespace spurfix::ui::test {
namespace {

// The colour most pixels of the image have.
QRgb Background(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

// What one sample shows: the drawn lines (runs of pixel rows with anything drawn) and,
// of them, those with nothing drawn in the left quarter, where every line begins.
struct Drawn {
    int lines = 0;
    int withoutStart = 0;
};

Drawn Lines(const QImage& image, QRgb background) {
    Drawn drawn;
    bool inLine = false;
    bool lineHasStart = false;
    const auto endLine = [&] {
        if (inLine) {
            ++drawn.lines;
            drawn.withoutStart += lineHasStart ? 0 : 1;
        }
        inLine = false;
        lineHasStart = false;
    };
    for (int y = 0; y < image.height(); ++y) {
        bool any = false;
        bool left = false;
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) {
                any = true;
                left = left || x < image.width() / 4;
            }
        }
        if (!any) {
            endLine();
            continue;
        }
        inLine = true;
        lineHasStart = lineHasStart || left;
    }
    endLine();
    return drawn;
}

// Some 200,000 files in 200 folders below a deep path of long names, so that every line
// is wider than the trace.
class TraceDrawn : public LongReadingOnScreen {
  protected:
    TraceDrawn()
        : LongReadingOnScreen(
              "Sammlung aller Lieder der ganzen Familie/Aufnahmen aus den Jahren "
              "davor/Noch eine Ebene mit einem langen Namen/",
              200) {}
};

TEST_F(TraceDrawn, LinesAreShownFromTheirStartInEveryFrame) {
    UserClick(form->ForwardToChooseDir);
    UserClick(form->ForwardToInput);
    QWidget* viewport = form->InputPreview->viewport();
    // The empty trace, once the X server shows what the view draws.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return OnScreen(viewport) ==
                   viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
        },
        10000));
    const QRgb background = Background(OnScreen(viewport));
    ASSERT_EQ(Lines(OnScreen(viewport), background).lines, 0) << "the trace is empty at first";

    std::vector<Drawn> samples;
    QImage saved;
    QElapsedTimer sinceSample;
    sinceSample.start();
    const auto sampler = DuringEveryUpdate([&] {
        // A frame is 16 ms: a sample every 5 ms or so looks at every frame.
        if (sinceSample.elapsed() >= 5 && form->isReading()) {
            const QImage shot = OnScreen(viewport);
            samples.push_back(Lines(shot, background));
            if (samples.size() == 40) {
                saved = OnScreen(form.get());
            }
            sinceSample.restart();
        }
    });
    UserClick(form->StartInput);
    ASSERT_EQ(form->InputFilesFound->text(), QStringLiteral("200000"));
    std::cout << samples.size() << " samples during the reading\n";
    ASSERT_GE(samples.size(), 40U) << "the reading was too short to sample";
    QDir().mkpath(QStringLiteral(SPURFIX_SCREENSHOT_DIR));
    saved.save(QStringLiteral(SPURFIX_SCREENSHOT_DIR "/trace_during_reading.png"));

    // The first frames may come before the first line is drawn; from the first frame
    // that shows a line on, every frame shows lines, each with its beginning.
    size_t first = 0;
    while (first < samples.size() && samples[first].lines == 0) {
        ++first;
    }
    ASSERT_LE(first + 20, samples.size()) << "the trace stayed empty until sample " << first;
    for (size_t i = first; i < samples.size(); ++i) {
        EXPECT_GT(samples[i].lines, 0) << "sample " << i << ": an empty trace";
        EXPECT_EQ(samples[i].withoutStart, 0)
            << "sample " << i << ": " << samples[i].withoutStart << " of " << samples[i].lines
            << " lines without their beginning";
    }
    // The lines are wider than the trace: what the view shows of each is shortened.
    const QString last = form->InputPreview->lines().constLast();
    EXPECT_GT(form->InputPreview->fontMetrics().horizontalAdvance(last), viewport->width());
}

}  // namespace
}  // namespace spurfix::ui::test
