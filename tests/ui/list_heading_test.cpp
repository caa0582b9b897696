// The CD insert is headed with the medium's own name where a whole medium was read, and
// with the folder's name otherwise.
#include <sys/mount.h>

#include <QRadioButton>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "support/command_output.h"
#include "support/temp_tree.h"
#include "wizard_fixture.h"

namespace spurfix::ui::test {
namespace {

using spurfix::test::TempTree;

std::string Output(const std::string& command) {
    return spurfix::test::CommandOutput(command);
}

class ListHeadingTest : public WizardTest {
  protected:
    // A medium whose mount names an ISO 9660 image as its source, as a disc image mounted
    // by the user does: a tmpfs takes any source name.
    void SetUp() override {
        if (std::getenv("SPURFIX_PRIVATE_MOUNTS") == nullptr) {
            GTEST_SKIP() << "needs a private mount namespace to mount the medium";
        }
        tree.folder("bild/Lieder");
        tree.file("bild/Lieder/01 - Lied.mp3");
        ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -J -r -V 'SOMMER 2026' -o '" +
                               tree.path("sommer.iso") + "' '" + tree.path("bild") + "'")
                                  .c_str()),
                  0);
        tree.folder("cd");
        ASSERT_EQ(
            mount(tree.path("sommer.iso").c_str(), tree.path("cd").c_str(), "tmpfs", 0, nullptr),
            0);
        mounted = true;
        tree.folder("cd/Lieder");
        tree.file("cd/Lieder/01 - Lied.mp3");
        drives = {{tree.path("cd"), platform::DriveType::CdRom}};
        WizardTest::SetUp();
    }
    void TearDown() override {
        if (form) {
            WizardTest::TearDown();
        }
        if (mounted) {
            umount(tree.path("cd").c_str());
        }
    }
    bool mounted = false;
    // The first line of the exported insert.
    std::string insertHeading(const std::string& pdf) {
        Click(form->ForwardToFiles);
        Click(form->ForwardToDirs);
        Click(form->ForwardToPreview);
        Click(form->ForwardToOutput);
        Click(form->OutputAsInsert);
        prompter.fileNames = {QString::fromStdString(pdf)};
        Click(form->SaveButton);
        const std::string text = Output("pdftotext -l 1 '" + pdf + "' -");
        return text.substr(0, text.find('\n'));
    }
    TempTree tree;
};

// Read as a whole drive, the medium's volume name heads the insert; a folder on it is
// called by the folder's name.
TEST_F(ListHeadingTest, AWholeMediumIsCalledByItsLabelAFolderByItsName) {
    Click(form->ForwardToChooseDir);
    ChooseDrive(tree.path("cd"));
    Click(form->ForwardToInput);
    Click(form->StartInput);
    EXPECT_EQ(insertHeading(tree.path("ganz.pdf")), "SOMMER 2026");

    ReadFolder(tree.path("cd/Lieder"));
    EXPECT_EQ(insertHeading(tree.path("ordner.pdf")), "Lieder");
}

}  // namespace
}  // namespace spurfix::ui::test
