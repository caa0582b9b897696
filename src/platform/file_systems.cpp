#include "platform/file_systems.h"

#include <linux/magic.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>

namespace spurfix::platform {

namespace {

struct PseudoFileSystem {
    int64_t magic;
    std::string_view type;
};

// Some magic numbers are missing from older kernel headers.
constexpr int64_t kCgroup2Magic = 0x63677270;
constexpr int64_t kTracefsMagic = 0x74726163;
constexpr int64_t kBpfMagic = 0xcafe4a11;
constexpr int64_t kEfivarfsMagic = 0xde5e81e4;
constexpr int64_t kBinfmtMagic = 0x42494e4d;
constexpr int64_t kConfigfsMagic = 0x62656570;
constexpr int64_t kFusectlMagic = 0x65735543;
constexpr int64_t kMqueueMagic = 0x19800202;
constexpr int64_t kRdtgroupMagic = 0x07655821;
constexpr int64_t kRpcPipefsMagic = 0x67596969;
constexpr int64_t kNfsdMagic = 0x6e667364;
constexpr int64_t kSelinuxMagic = 0xf97cff8c;
constexpr int64_t kSmackMagic = 0x43415d53;
constexpr int64_t kNsfsMagic = 0x6e736673;

constexpr std::array kPseudoFileSystems{
    PseudoFileSystem{PROC_SUPER_MAGIC, "proc"},
    PseudoFileSystem{SYSFS_MAGIC, "sysfs"},
    PseudoFileSystem{CGROUP_SUPER_MAGIC, "cgroup"},
    PseudoFileSystem{kCgroup2Magic, "cgroup2"},
    PseudoFileSystem{DEBUGFS_MAGIC, "debugfs"},
    PseudoFileSystem{kTracefsMagic, "tracefs"},
    PseudoFileSystem{SECURITYFS_MAGIC, "securityfs"},
    PseudoFileSystem{DEVPTS_SUPER_MAGIC, "devpts"},
    PseudoFileSystem{PSTOREFS_MAGIC, "pstore"},
    PseudoFileSystem{kBpfMagic, "bpf"},
    PseudoFileSystem{kConfigfsMagic, "configfs"},
    PseudoFileSystem{kFusectlMagic, "fusectl"},
    PseudoFileSystem{kMqueueMagic, "mqueue"},
    PseudoFileSystem{HUGETLBFS_MAGIC, "hugetlbfs"},
    PseudoFileSystem{kBinfmtMagic, "binfmt_misc"},
    PseudoFileSystem{kEfivarfsMagic, "efivarfs"},
    PseudoFileSystem{kRdtgroupMagic, "resctrl"},
    PseudoFileSystem{kRpcPipefsMagic, "rpc_pipefs"},
    PseudoFileSystem{kNfsdMagic, "nfsd"},
    PseudoFileSystem{kSelinuxMagic, "selinuxfs"},
    PseudoFileSystem{kSmackMagic, "smackfs"},
    PseudoFileSystem{kNsfsMagic, "nsfs"},
};

}  // namespace

bool IsPseudoFileSystem(int64_t magic) {
    return std::any_of(kPseudoFileSystems.begin(), kPseudoFileSystems.end(),
                       [magic](const PseudoFileSystem& fs) { return fs.magic == magic; });
}

bool IsPseudoFileSystemType(std::string_view type) {
    return std::any_of(kPseudoFileSystems.begin(), kPseudoFileSystems.end(),
                       [type](const PseudoFileSystem& fs) { return fs.type == type; });
}

int64_t FileSystemMagic(int fd) {
    struct statfs info {};
    return fstatfs(fd, &info) == 0 ? static_cast<int64_t>(info.f_type) : 0;
}

}  // namespace spurfix::platform
