#include "platform/mount_type.h"

#include <gtest/gtest.h>

namespace spurfix::platform {
namespace {

TEST(MountType, TheTypeOfTheMountOfTheDevice) {
    const std::string_view mountinfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "66 46 0:40 / /media/cd rw,nosuid,nodev,relatime - fuse.fuseiso fuseiso rw\n"
        "70 22 11:0 / /media/Mein\\040Stick rw master:3 - vfat /dev/sr0 ro\n"
        "71 22 0:41 / /mnt rw shared:7 master:2 - fuse\\040x /dev/fuse rw\n"
        "72 22 8:17 /sub /srv rw - btrfs /dev/sdb1 rw";
    EXPECT_EQ(FileSystemTypeIn(mountinfo, "8:1"), "ext4");
    EXPECT_EQ(FileSystemTypeIn(mountinfo, "0:40"), "fuse.fuseiso");
    EXPECT_EQ(FileSystemTypeIn(mountinfo, "11:0"), "vfat");
    EXPECT_EQ(FileSystemTypeIn(mountinfo, "0:41"), "fuse x");
    EXPECT_EQ(FileSystemTypeIn(mountinfo, "8:17"), "btrfs");
    EXPECT_EQ(FileSystemTypeIn(mountinfo, "8:2"), "");
    EXPECT_EQ(FileSystemTypeIn(mountinfo, "0:4"), "");
}

TEST(MountType, ThisMachinesMounts) {
    EXPECT_EQ(FileSystemTypeOf("/proc/self"), "proc");
    EXPECT_EQ(FileSystemTypeOf("/no/such/folder"), "");
}

}  // namespace
}  // namespace spurfix::platform
