#pragma once

#include <string>
#include <string_view>

namespace spurfix::platform {

// The label of the medium mounted at `mountPoint` (without a trailing "/"): the file
// system's name as udev lists it in /dev/disk/by-label for the mount's device, else the
// volume name in the ISO 9660 primary volume descriptor of the mount's source when it
// is a readable image or device (a disc image mounted with FUSE). "" when unknown.
std::string VolumeLabel(const std::string& mountPoint);

// The same from the given mount table text and by-label folder.
std::string VolumeLabelFrom(std::string_view mountinfo, const std::string& mountPoint,
                            const std::string& byLabelFolder);

// The volume name of an ISO 9660 image or device, trailing blanks removed; "" when it
// cannot be read or holds no primary volume descriptor.
std::string Iso9660VolumeName(const std::string& imageOrDevice);

}  // namespace spurfix::platform
