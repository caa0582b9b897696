#include "platform/mountinfo_field.h"

namespace spurfix::platform {

namespace {
bool IsOctalDigit(char c) {
    return c >= '0' && c <= '7';
}
}  // namespace

std::string DecodeMountinfoField(std::string_view field) {
    std::string decoded;
    decoded.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctalDigit(field[i + 1]) &&
            IsOctalDigit(field[i + 2]) && IsOctalDigit(field[i + 3])) {
            decoded.push_back(static_cast<char>(
                ((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        } else {
            decoded.push_back(field[i]);
        }
    }
    return decoded;
}

}  // namespace spurfix::platform
