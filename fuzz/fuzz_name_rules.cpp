// The name rules on any bytes: each gives a tail of its argument, and the rules hold
// for what they keep.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/name_rules.h"

namespace {
void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
bool IsTitleSeparator(char c) {
    return c == ' ' || c == '-';
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const std::string stripped = spurfix::StripTrackNumber(name);
    Check(name.ends_with(stripped));
    Check(name.empty() || (name[0] >= '0' && name[0] <= '9') || stripped == name);
    if (!stripped.empty() && stripped != name) {
        const char first = stripped[0];
        Check(first != ' ' && first != '-' && first != '.' && first != '_');
    }
    const std::string title = spurfix::ExtractTitle(name);
    Check(name.ends_with(title));
    for (size_t i = 1; i < title.size(); ++i) {
        Check(!(IsTitleSeparator(title[i - 1]) && IsTitleSeparator(title[i])));
    }
    if (size >= 8) {
        int32_t value;
        int32_t width;
        std::memcpy(&value, data, 4);
        std::memcpy(&width, data + 4, 4);
        width %= 64;
        const std::string padded = spurfix::PadLeft(value, width, '0');
        Check(padded.ends_with(std::to_string(value)));
        Check(width <= 0 || padded.size() >= static_cast<size_t>(width));
    }
    return 0;
}
