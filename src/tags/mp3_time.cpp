#include "tags/mp3_time.h"

#include <mpg123.h>
#include <sys/types.h>
#include <tiostream.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace spurfix::tags {

namespace {

// The file's bytes, read in one go: a frame count reads every byte anyway, and
// libmpg123 asks for each frame's header and body one by one.
struct Bytes {
    TagLib::ByteVector data;
    size_t position = 0;
};

ssize_t ReadBytes(void* handle, void* buffer, size_t count) {
    auto& bytes = *static_cast<Bytes*>(handle);
    const size_t got = std::min(count, bytes.data.size() - bytes.position);
    std::memcpy(buffer, bytes.data.data() + bytes.position, got);
    bytes.position += got;
    return static_cast<ssize_t>(got);
}

off_t SeekInBytes(void* handle, off_t offset, int whence) {
    auto& bytes = *static_cast<Bytes*>(handle);
    const auto size = static_cast<off_t>(bytes.data.size());
    off_t target = offset;
    if (whence == SEEK_CUR) {
        target += static_cast<off_t>(bytes.position);
    } else if (whence == SEEK_END) {
        target += size;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if (target < 0 || target > size) {
        return -1;
    }
    bytes.position = static_cast<size_t>(target);
    return target;
}

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};

// One decoder handle per thread, made once: making one costs more than counting the
// frames of a short song.
mpg123_handle* ThreadHandle() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    thread_local const std::unique_ptr<mpg123_handle, HandleDeleter> handle = [] {
        int error = MPG123_OK;
        mpg123_handle* made = mpg123_new(nullptr, &error);
        if (made != nullptr) {
            // The tags are TagLib's: libmpg123 only skips them.
            mpg123_param(made, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0.0);
            mpg123_replace_reader_handle(made, ReadBytes, SeekInBytes, nullptr);
        }
        return std::unique_ptr<mpg123_handle, HandleDeleter>(made);
    }();
    return handle.get();
}

// A frame count of a larger file is not attempted (its time stays unknown): at
// 128 kbit/s this is more than four hours.
constexpr long kLargestFile = 256L << 20;

}  // namespace

int32_t ScannedMp3Milliseconds(TagLib::IOStream& stream) {
    mpg123_handle* mh = ThreadHandle();
    const long length = stream.length();
    if (mh == nullptr || length <= 0 || length > kLargestFile) {
        return -1;
    }
    stream.seek(0, TagLib::IOStream::Beginning);
    Bytes bytes{stream.readBlock(static_cast<unsigned long>(length)), 0};
    if (mpg123_open_handle(mh, &bytes) != MPG123_OK) {
        return -1;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    off_t samples = -1;
    if (mpg123_scan(mh) == MPG123_OK &&
        mpg123_getformat(mh, &rate, &channels, &encoding) == MPG123_OK && rate > 0) {
        samples = mpg123_length(mh);
    }
    mpg123_close(mh);
    if (samples <= 0) {
        return -1;
    }
    const int64_t milliseconds = static_cast<int64_t>(samples) * 1000 / rate;
    return milliseconds > INT32_MAX ? -1 : static_cast<int32_t>(milliseconds);
}

}  // namespace spurfix::tags
