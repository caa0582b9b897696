#include "support/file_rights.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace spurfix::test {

namespace {
constexpr unsigned kFileRights =
    (1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH) | (1U << CAP_FOWNER);

bool Get(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

bool Set(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}
}  // namespace

FileRightsDropped::FileRightsDropped() {
    __user_cap_data_struct data[2]{};
    if (!Get(data) || (data[0].effective & kFileRights) == 0) {
        return;
    }
    effective_[0] = data[0].effective;
    effective_[1] = data[1].effective;
    data[0].effective &= ~kFileRights;
    dropped_ = Set(data);
}

FileRightsDropped::~FileRightsDropped() {
    if (!dropped_) {
        return;
    }
    __user_cap_data_struct data[2]{};
    if (Get(data)) {
        data[0].effective = effective_[0];
        data[1].effective = effective_[1];
        Set(data);
    }
}

}  // namespace spurfix::test
