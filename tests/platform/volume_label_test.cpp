#include "platform/volume_label.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_tree.h"

namespace spurfix::platform {
namespace {

using test::TempTree;

// An ISO 9660 image as far as its label goes: 16 empty sectors, then the primary
// volume descriptor with the volume identifier padded with blanks.
std::string IsoImage(const std::string& volumeName) {
    std::string image(17 * 2048, '\0');
    std::string descriptor(2048, '\0');
    descriptor[0] = 1;
    descriptor.replace(1, 5, "CD001");
    descriptor[6] = 1;
    const std::string padded = (volumeName + std::string(32, ' ')).substr(0, 32);
    descriptor.replace(40, 32, padded);
    image.replace(16 * 2048, 2048, descriptor);
    return image;
}

std::string Line(const std::string& number, const std::string& mountPoint, const std::string& type,
                 const std::string& source) {
    return "30 1 " + number + " / " + mountPoint + " rw - " + type + " " + source + " rw\n";
}

TEST(VolumeLabel, FromTheDeviceLabelOrTheImage) {
    TempTree tree;
    tree.folder("by-label");
    // udev's name for "MP3 Sammlung", linked to a device: /dev/null stands for the disc.
    ASSERT_EQ(symlink("/dev/null", tree.path("by-label/MP3\\x20Sammlung").c_str()), 0);
    tree.file("Hörbuch.iso", IsoImage("HOERBUCH_2"));
    tree.file("kaputt.iso", std::string(40000, 'x'));
    tree.file("kurz.iso", "CD001");
    const std::string byLabel = tree.path("by-label");
    const std::string mountinfo =
        Line("8:1", "/", "ext4", "/dev/sda1") +
        Line("1:3", "/media/anna/MP3\\040CD", "iso9660", "/dev/sr0") +
        Line("0:50", "/home/anna/hb", "fuse.fuseiso", tree.path("Hörbuch.iso")) +
        Line("0:51", "/home/anna/k", "fuse.fuseiso", tree.path("kaputt.iso")) +
        Line("0:52", "/home/anna/kurz", "fuse.fuseiso", tree.path("kurz.iso")) +
        Line("0:53", "/mnt/zweimal", "fuse.fuseiso", tree.path("kaputt.iso")) +
        Line("0:54", "/mnt/zweimal", "fuse.fuseiso", tree.path("Hörbuch.iso")) +
        Line("0:55", "/mnt/netz", "nfs4", "server:/export");
    const struct {
        std::string mountPoint;
        std::string label;
    } cases[] = {
        {"/media/anna/MP3 CD", "MP3 Sammlung"},  // by the device's number
        {"/home/anna/hb", "HOERBUCH_2"},         // from the image's descriptor
        {"/home/anna/k", ""},                    // no descriptor
        {"/home/anna/kurz", ""},                 // too short
        {"/mnt/zweimal", "HOERBUCH_2"},          // the later mount is the one seen
        {"/mnt/netz", ""},                       // no device, no image
        {"/", ""},                               // a device without a label
        {"/gibt/es/nicht", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VolumeLabelFrom(mountinfo, c.mountPoint, byLabel), c.label) << c.mountPoint;
    }
    EXPECT_EQ(VolumeLabelFrom(mountinfo, "/media/anna/MP3 CD", tree.path("fehlt")), "");
}

TEST(VolumeLabel, AFolderThatIsNoMountHasNone) {
    EXPECT_EQ(VolumeLabel("/gibt/es/nicht"), "");
}

}  // namespace
}  // namespace spurfix::platform
