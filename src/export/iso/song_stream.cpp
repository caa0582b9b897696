// The song stream: libisofs calls these on its writer thread, one song at a time.
#include "export/iso/song_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace spurfix::exporting {

void SongReading::fail(const std::string& path, int error) {
    const std::lock_guard lock(mutex_);
    if (!failed_.load(std::memory_order_relaxed)) {
        failedPath_ = path;
        failedError_ = error;
        failed_.store(true, std::memory_order_release);
    }
}

std::string SongReading::failedPath() const {
    const std::lock_guard lock(mutex_);
    return failedPath_;
}

int SongReading::failedError() const {
    const std::lock_guard lock(mutex_);
    return failedError_;
}

namespace {

// libisofs's error numbers are unsigned constants; its callbacks return them as int.
constexpr int kReadError = static_cast<int>(ISO_FILE_READ_ERROR);
constexpr int kCannotOpen = static_cast<int>(ISO_FILE_DOESNT_EXIST);
constexpr int kNotOpen = static_cast<int>(ISO_FILE_NOT_OPENED);

// libisofs's struct iso_stream as laid out in C: C++ sees only its name, since its first
// member is called "class". libisofs frees it with free() when its last reference goes.
struct StreamRecord {
    IsoStreamIface* iface;
    int refcount;
    void* data;
};

struct Song {
    std::string path;
    off_t size;
    ino_t id;
    SongReading* reading;
    int fd = -1;
    off_t done = 0;
};

Song& SongOf(IsoStream* stream) {
    return *static_cast<Song*>(reinterpret_cast<StreamRecord*>(stream)->data);
}

int Open(IsoStream* stream) {
    Song& song = SongOf(stream);
    if (song.fd >= 0) {
        return static_cast<int>(ISO_FILE_ALREADY_OPENED);
    }
    song.fd = ::open(song.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (song.fd < 0) {
        song.reading->fail(song.path, errno);
        return kCannotOpen;
    }
    song.done = 0;
    return ISO_SUCCESS;
}

int Close(IsoStream* stream) {
    Song& song = SongOf(stream);
    if (song.fd < 0) {
        return kNotOpen;
    }
    ::close(song.fd);
    song.fd = -1;
    if (song.done == song.size) {
        song.reading->songRead();
    }
    return ISO_SUCCESS;
}

off_t Size(IsoStream* stream) {
    return SongOf(stream).size;
}

// Fills `count` bytes, or what is left of the size the image was planned with. A file
// that ends sooner or goes on longer has changed since: the image would not hold it.
int Read(IsoStream* stream, void* buffer, size_t count) {
    Song& song = SongOf(stream);
    if (song.fd < 0) {
        return kNotOpen;
    }
    const auto wanted =
        static_cast<size_t>(std::min<off_t>(static_cast<off_t>(count), song.size - song.done));
    size_t got = 0;
    while (got < wanted) {
        const ssize_t n = ::read(song.fd, static_cast<char*>(buffer) + got, wanted - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            song.reading->fail(song.path, n < 0 ? errno : 0);
            return kReadError;
        }
        got += static_cast<size_t>(n);
    }
    song.done += static_cast<off_t>(got);
    if (song.done == song.size && got > 0) {
        char probe = 0;
        if (::read(song.fd, &probe, 1) != 0) {
            song.reading->fail(song.path, 0);
            return kReadError;
        }
    }
    return static_cast<int>(got);
}

int IsRepeatable(IsoStream*) {
    return 1;
}

void Id(IsoStream* stream, unsigned int* fsId, dev_t* devId, ino_t* inoId) {
    // A file system id of our own, so that libisofs never takes two songs for one.
    constexpr unsigned int kSpurfixFs = 0x53504652;
    *fsId = kSpurfixFs;
    *devId = 0;
    *inoId = SongOf(stream).id;
}

void Free(IsoStream* stream) {
    Song* song = &SongOf(stream);
    if (song->fd >= 0) {
        ::close(song->fd);
    }
    delete song;
}

IsoStreamIface kSongInterface = {
    0,
    {'u', 's', 'e', 'r'},
    Open,
    Close,
    Size,
    Read,
    IsRepeatable,
    Id,
    Free,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

IsoStream* NewSongStream(const std::string& path, off_t size, ino_t id, SongReading& reading) {
    auto* record = static_cast<StreamRecord*>(std::calloc(1, sizeof(StreamRecord)));
    if (record == nullptr) {
        throw std::bad_alloc();
    }
    record->iface = &kSongInterface;
    record->refcount = 1;
    record->data = new Song{path, size, id, &reading};
    return reinterpret_cast<IsoStream*>(record);
}

}  // namespace spurfix::exporting
