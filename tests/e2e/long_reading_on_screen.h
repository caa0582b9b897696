// A wizard shown on a real X server over a tree big enough that its reading lasts many
// frames: what the screen shows during the reading can be sampled.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <string>
#include <utility>

#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {

// The widget's area as the X server shows it now.
inline QImage OnScreen(const QWidget* widget) {
    const QPoint topLeft = widget->mapToGlobal(QPoint(0, 0));
    return widget->screen()
        ->grabWindow(0, topLeft.x(), topLeft.y(), widget->width(), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// `folders` folders of 1,000 empty songs each, below `prefix` (a path ending in "/" or
// empty), offered as a CD drive. On a tmpfs of the test's own, where its mount namespace
// allows one, they are made and removed in a second.
class LongReadingOnScreen : public WizardTest {
  protected:
    LongReadingOnScreen(std::string prefix, int folders)
        : prefix_(std::move(prefix)), folders_(folders) {}

    void SetUp() override {
        if (std::getenv("SPURFIX_PRIVATE_MOUNTS") != nullptr) {
            mounted_ = mount("spurfix", tree.root().c_str(), "tmpfs", 0, "mode=0700") == 0;
        }
        for (int folder = 0; folder < folders_; ++folder) {
            const std::string name = prefix_ + "Album " + std::to_string(folder);
            tree.folder(name);
            const int fd = open(tree.path(name).c_str(), O_RDONLY | O_DIRECTORY);
            ASSERT_GE(fd, 0);
            for (int file = 0; file < 1000; ++file) {
                const std::string song = std::to_string(file) + " - Lied.mp3";
                close(openat(fd, song.c_str(), O_WRONLY | O_CREAT, 0644));
            }
            close(fd);
        }
        drives = {{tree.root().substr(0, tree.root().size() - 1), platform::DriveType::CdRom}};
        WizardTest::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override {
        WizardTest::TearDown();
        if (mounted_) {
            umount(tree.root().c_str());
        }
    }

    spurfix::test::TempTree tree;

  private:
    std::string prefix_;
    int folders_;
    bool mounted_ = false;
};

}  // namespace spurfix::ui::test
