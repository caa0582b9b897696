#include "platform/drives.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_tree.h"

namespace spurfix::platform {
namespace {

using test::TempTree;

// A sysfs of block devices: sda (fixed disk) with partition sda1, sdb (removable)
// with sdb1, the optical drive sr0.
class Sysfs {
  public:
    Sysfs() {
        disk("sda", "8:0", "0", {{"sda1", "8:1"}, {"sda2", "8:2"}});
        disk("sdb", "8:16", "1", {{"sdb1", "8:17"}});
        disk("sr0", "11:0", "1", {});
    }
    [[nodiscard]] std::string root() const { return tree_.path("sys"); }

  private:
    void disk(const std::string& name, const std::string& number, const std::string& removable,
              std::initializer_list<std::pair<std::string, std::string>> partitions) {
        const std::string folder = "sys/devices/block/" + name;
        tree_.folder(folder);
        tree_.folder("sys/dev/block");
        tree_.folder("sys/class/block");
        tree_.file(folder + "/removable", removable + "\n");
        tree_.link(tree_.path(folder), "sys/dev/block/" + number);
        tree_.link(tree_.path(folder), "sys/class/block/" + name);
        for (const auto& [partition, partitionNumber] : partitions) {
            tree_.folder(folder + "/" + partition);
            tree_.file(folder + "/" + partition + "/partition", "1\n");
            tree_.link(tree_.path(folder + "/" + partition), "sys/dev/block/" + partitionNumber);
            tree_.link(tree_.path(folder + "/" + partition), "sys/class/block/" + partition);
        }
    }
    TempTree tree_;
};

std::string Line(int id, const std::string& number, const std::string& mountPoint,
                 const std::string& type, const std::string& source) {
    return std::to_string(id) + " 1 " + number + " / " + mountPoint + " rw,relatime shared:1 - " +
           type + " " + source + " rw\n";
}

using Listing = std::vector<std::pair<std::string, DriveType>>;

Listing Parse(const std::string& mountinfo, const Sysfs& sysfs,
              const std::string& unreadable = "") {
    Listing listing;
    for (const Drive& drive : ParseDrives(mountinfo, sysfs.root(), [&](const std::string& path) {
             return path != unreadable;
         })) {
        listing.emplace_back(drive.mountPoint, drive.type);
    }
    return listing;
}

TEST(Drives, ListsWhatAUserCallsADrive) {
    const Sysfs sysfs;
    const std::string mountinfo =
        Line(20, "8:1", "/", "ext4", "/dev/sda1") + Line(21, "0:21", "/proc", "proc", "proc") +
        Line(22, "0:22", "/sys", "sysfs", "sysfs") + Line(23, "0:5", "/dev", "devtmpfs", "udev") +
        Line(24, "0:23", "/dev/pts", "devpts", "devpts") +
        Line(25, "0:24", "/run", "tmpfs", "tmpfs") +
        Line(26, "0:25", "/sys/fs/cgroup", "cgroup2", "cgroup2") +
        Line(27, "8:2", "/home", "ext4", "/dev/sda2") +
        Line(28, "7:0", "/snap/core/1", "squashfs", "/dev/loop0") +
        Line(29, "8:17", "/media/anna/USB\\040STICK", "vfat", "/dev/sdb1") +
        Line(30, "11:0", "/media/anna/MP3\\040CD", "iso9660", "/dev/sr0") +
        Line(31, "0:40", "/mnt/server", "nfs4", "server:/export") +
        Line(32, "0:41", "/mnt/ram", "tmpfs", "tmpfs") +
        Line(33, "0:42", "/run/user/1000", "tmpfs", "tmpfs") +
        Line(34, "0:43", "/var/lib/docker/overlay2/x/merged", "overlay", "overlay") +
        Line(35, "0:44", "/home/anna/remote", "fuse.sshfs", "anna@host:") +
        Line(36, "0:45", "/run/media/anna/Film", "udf", "/dev/sr1");
    EXPECT_EQ(Parse(mountinfo, sysfs), (Listing{{"/", DriveType::FixedDisk},
                                                {"/home", DriveType::FixedDisk},
                                                {"/media/anna/USB STICK", DriveType::Removable},
                                                {"/media/anna/MP3 CD", DriveType::CdRom},
                                                {"/mnt/server", DriveType::Network},
                                                {"/mnt/ram", DriveType::RamDisk},
                                                {"/home/anna/remote", DriveType::Network},
                                                {"/run/media/anna/Film", DriveType::CdRom}}));
}

// What a file manager shows the user too: FUSE mounts they made (a disc image, an
// archive, a phone, a stick's file system), RAM disks and FUSE below their home or
// /tmp; not the desktop's own FUSE services, not other users' FUSE mounts elsewhere.
TEST(Drives, TheUsersOwnMountsAndWhatLiesBelowTheirHome) {
    const Sysfs sysfs;
    const auto fuse = [](int id, const std::string& mountPoint, const std::string& type,
                         const std::string& source, int uid) {
        return std::to_string(id) + " 1 0:" + std::to_string(id) + " / " + mountPoint +
               " rw,nosuid,nodev shared:1 - " + type + " " + source +
               " rw,user_id=" + std::to_string(uid) + ",group_id=" + std::to_string(uid) + "\n";
    };
    const std::string mountinfo =
        Line(20, "8:1", "/", "ext4", "/dev/sda1") +
        fuse(40, "/home/anna/cd", "fuse.fuseiso", "/home/anna/Musik.iso", 1000) +
        fuse(41, "/tmp/zip", "fuse.fuse-zip", "fuse-zip", 1000) +
        fuse(42, "/home/anna/Handy", "fuse.jmtpfs", "jmtpfs", 1000) +
        fuse(43, "/run/user/1000/doc", "fuse.portal", "portal", 1000) +
        fuse(44, "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse", 1000) +
        fuse(45, "/srv/bert", "fuse.sshfs2", "bert", 1001) +
        fuse(46, "/mnt/fremd", "fuse.archivemount", "a.tar", 1001) +
        fuse(47, "/home/anna/stick", "fuse.fusefat", "/home/anna/stick.img", 1000) +
        fuse(48, "/var/lib/lxcfs", "fuse.lxcfs", "lxcfs", 1000) +
        Line(49, "0:60", "/home/anna/ram", "tmpfs", "tmpfs") +
        Line(50, "0:61", "/tmp/ram", "tmpfs", "tmpfs") +
        Line(51, "0:62", "/tmp", "tmpfs", "tmpfs") +
        Line(52, "0:63", "/home/anna2/ram", "tmpfs", "tmpfs") +
        Line(53, "0:64", "/home/anna/proc", "proc", "proc") +
        Line(54, "0:65", "/sys/fs/fuse/connections", "fusectl", "fusectl");
    Listing listing;
    for (const Drive& drive : ParseDrives(
             mountinfo, sysfs.root(), [](const std::string&) { return true; },
             DriveUser{1000, "/home/anna"})) {
        listing.emplace_back(drive.mountPoint, drive.type);
    }
    EXPECT_EQ(listing, (Listing{{"/", DriveType::FixedDisk},
                                {"/home/anna/cd", DriveType::CdRom},
                                {"/tmp/zip", DriveType::Archive},
                                {"/home/anna/Handy", DriveType::Removable},
                                {"/mnt/fremd", DriveType::Archive},
                                {"/home/anna/stick", DriveType::Removable},
                                {"/home/anna/ram", DriveType::RamDisk},
                                {"/tmp/ram", DriveType::RamDisk}}));
}

TEST(Drives, MountedTwiceListedOnceWithTheLaterType) {
    const Sysfs sysfs;
    const std::string mountinfo = Line(20, "0:30", "/", "overlay", "overlay") +
                                  Line(21, "8:1", "/mnt/data", "ext4", "/dev/sda1") +
                                  Line(22, "0:31", "/mnt/data", "tmpfs", "tmpfs");
    EXPECT_EQ(Parse(mountinfo, sysfs),
              (Listing{{"/", DriveType::Unknown}, {"/mnt/data", DriveType::RamDisk}}));
}

TEST(Drives, UnreadableMountPointAndBrokenLines) {
    const Sysfs sysfs;
    const std::string mountinfo = "garbage\n\n" + Line(20, "8:1", "/", "ext4", "/dev/sda1") +
                                  Line(21, "8:17", "/media/x", "vfat", "/dev/sdb1");
    EXPECT_EQ(Parse(mountinfo, sysfs, "/media/x"),
              (Listing{{"/", DriveType::FixedDisk}, {"/media/x", DriveType::Unreadable}}));
}

TEST(Drives, PseudoFileSystemsAreNoDrives) {
    const Sysfs sysfs;
    // "/" is always a drive, unless the kernel's own state is mounted there.
    EXPECT_EQ(Parse(Line(20, "0:21", "/", "proc", "proc") +
                        Line(21, "8:17", "/media/stick", "vfat", "/dev/sdb1") +
                        Line(22, "0:22", "/media/stick", "sysfs", "sysfs"),
                    sysfs),
              Listing{});
}

TEST(Drives, ThisMachineHasARootAndNoPseudoFileSystem) {
    const std::vector<Drive> drives = ListDrives();
    EXPECT_TRUE(std::any_of(drives.begin(), drives.end(),
                            [](const Drive& d) { return d.mountPoint == "/"; }));
    for (const Drive& drive : drives) {
        EXPECT_NE(drive.mountPoint, "/proc");
        EXPECT_NE(drive.mountPoint, "/sys");
        EXPECT_EQ(drive.mountPoint.rfind("/sys/", 0), std::string::npos) << drive.mountPoint;
    }
}

}  // namespace
}  // namespace spurfix::platform
