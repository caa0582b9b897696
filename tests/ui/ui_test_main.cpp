#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/spurfix_application.h"

int main(int argc, char** argv) {
    // Window tests run offscreen; the end-to-end tests are given an X server.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The sorted lists of these tests rely on German collation.
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    ::testing::InitGoogleTest(&argc, argv);
    spurfix::ui::SpurfixApplication application(argc, argv);
    spurfix::ui::InstallGermanTranslation(application);
    spurfix::ui::ApplyLook(application);
    return RUN_ALL_TESTS();
}
