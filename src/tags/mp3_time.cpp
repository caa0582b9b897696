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

// libmpg123 reads through TagLib's stream, so that a file is opened once and a file
// held in memory is read the same way.
ssize_t ReadFromStream(void* handle, void* buffer, size_t count) {
    auto& stream = *static_cast<TagLib::IOStream*>(handle);
    const TagLib::ByteVector block = stream.readBlock(static_cast<unsigned long>(count));
    const size_t got = std::min<size_t>(block.size(), count);
    std::memcpy(buffer, block.data(), got);
    return static_cast<ssize_t>(got);
}

off_t SeekInStream(void* handle, off_t offset, int whence) {
    auto& stream = *static_cast<TagLib::IOStream*>(handle);
    const long length = stream.length();
    long target = 0;
    switch (whence) {
        case SEEK_SET:
            target = static_cast<long>(offset);
            break;
        case SEEK_CUR:
            target = stream.tell() + static_cast<long>(offset);
            break;
        case SEEK_END:
            target = length + static_cast<long>(offset);
            break;
        default:
            return -1;
    }
    if (target < 0 || target > length) {
        return -1;
    }
    stream.seek(target, TagLib::IOStream::Beginning);
    return static_cast<off_t>(target);
}

void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

}  // namespace

int32_t ScannedMp3Milliseconds(TagLib::IOStream& stream) {
    InitialiseOnce();
    int error = MPG123_OK;
    const std::unique_ptr<mpg123_handle, HandleDeleter> handle(mpg123_new(nullptr, &error));
    if (!handle) {
        return -1;
    }
    mpg123_handle* mh = handle.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    stream.seek(0, TagLib::IOStream::Beginning);
    if (mpg123_replace_reader_handle(mh, ReadFromStream, SeekInStream, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &stream) != MPG123_OK || mpg123_scan(mh) != MPG123_OK) {
        return -1;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0) {
        return -1;
    }
    const off_t samples = mpg123_length(mh);
    if (samples <= 0) {
        return -1;
    }
    const int64_t milliseconds = static_cast<int64_t>(samples) * 1000 / rate;
    return milliseconds > INT32_MAX ? -1 : static_cast<int32_t>(milliseconds);
}

}  // namespace spurfix::tags
