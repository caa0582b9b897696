#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace spurfix::test {

// MPEG-1 Layer III frames of silence, made here so that tests and benchmark need no
// recorded music. At 48 kHz a frame holds 1152 samples, 24 ms, and its size in bytes is
// three times its bit rate in kbit/s, without padding. A mono frame whose side
// information is all zero decodes to silence.
inline constexpr int32_t kMp3FrameMilliseconds = 24;

inline int Mp3BitrateIndex(int kbps) {
    const int rates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    for (int i = 1; i < 15; ++i) {
        if (rates[i] == kbps) {
            return i;
        }
    }
    return 9;
}

inline std::string Mp3Frame(int kbps) {
    std::string frame(static_cast<size_t>(3 * kbps), '\0');
    frame[0] = static_cast<char>(0xFF);
    frame[1] = static_cast<char>(0xFB);                                 // MPEG-1, Layer III, no CRC
    frame[2] = static_cast<char>(Mp3BitrateIndex(kbps) << 4 | 1 << 2);  // 48 kHz
    frame[3] = static_cast<char>(0xC0);                                 // mono
    return frame;
}

inline void PutBigEndian(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
    }
}

enum class VbrHeader { None, Xing, Info };

// The audio of an MP3 file: one frame per entry of `kbps`, led by a frame that carries a
// Xing or Info header counting them, if asked for.
inline std::string Mp3Audio(const std::vector<int>& kbps, VbrHeader header) {
    std::string audio;
    for (const int rate : kbps) {
        audio += Mp3Frame(rate);
    }
    if (header == VbrHeader::None) {
        return audio;
    }
    std::string first = Mp3Frame(128);
    const size_t at = 4 + 17;  // after the side information of a mono MPEG-1 frame
    first.replace(at, 4, header == VbrHeader::Xing ? "Xing" : "Info");
    PutBigEndian(first, at + 4, 0x3);  // frame count and byte count present
    PutBigEndian(first, at + 8, static_cast<uint32_t>(kbps.size()));
    PutBigEndian(first, at + 12, static_cast<uint32_t>(first.size() + audio.size()));
    return first + audio;
}

// `frames` frames alternating between a high and a low bit rate, led by a high one: a
// length guessed from the first frame is far too short.
inline std::vector<int> VariableRates(size_t frames) {
    std::vector<int> rates(frames);
    for (size_t i = 0; i < frames; ++i) {
        rates[i] = i % 3 == 0 ? 320 : 32;
    }
    return rates;
}

inline std::vector<int> ConstantRates(size_t frames, int kbps = 128) {
    return std::vector<int>(frames, kbps);
}

}  // namespace spurfix::test
