#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>

namespace spurfix {

// A folder's identity, whatever name, link or bind mount leads to it.
struct FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
    size_t operator()(const FolderId& id) const {
        return std::hash<uint64_t>()(static_cast<uint64_t>(id.inode) * 0x9E3779B97F4A7C15ULL ^
                                     static_cast<uint64_t>(id.device));
    }
};

}  // namespace spurfix
