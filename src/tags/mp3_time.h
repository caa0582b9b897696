#pragma once

#include <cstdint>

namespace TagLib {
class IOStream;
}

namespace spurfix::tags {

// The exact playing time of the MPEG audio in `stream`, in milliseconds, from a count of
// all its frames (libmpg123's full scan); -1 where no frame is found. This is what an MP3
// without a VBR header needs: its first frame tells nothing about the others.
int32_t ScannedMp3Milliseconds(TagLib::IOStream& stream);

}  // namespace spurfix::tags
