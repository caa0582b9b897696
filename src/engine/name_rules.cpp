#include "engine/name_rules.h"

namespace spurfix {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsTrackSeparator(char c) {
    return c == ' ' || c == '-' || c == '.' || c == '_';
}
bool IsTitleSeparator(char c) {
    return c == ' ' || c == '-';
}
}  // namespace

std::string_view TrackNumberStripped(std::string_view name) {
    if (name.empty() || !IsDigit(name.front())) {
        return name;
    }
    size_t pos = 0;
    while (pos < name.size() && IsDigit(name[pos])) {
        ++pos;
    }
    ++pos;  // the one character behind the number goes, whatever it is
    while (pos < name.size() && IsTrackSeparator(name[pos])) {
        ++pos;
    }
    return pos < name.size() ? name.substr(pos) : std::string_view{};
}

std::string_view TitleExtracted(std::string_view name) {
    size_t start = 0;
    bool previousWasSeparator = false;
    for (size_t i = 0; i < name.size(); ++i) {
        const bool isSeparator = IsTitleSeparator(name[i]);
        if (previousWasSeparator && isSeparator) {
            start = i + 1;
        }
        previousWasSeparator = isSeparator;
    }
    return name.substr(start);
}

std::string StripTrackNumber(std::string_view name) {
    return std::string(TrackNumberStripped(name));
}

std::string ExtractTitle(std::string_view name) {
    return std::string(TitleExtracted(name));
}

std::string PadLeft(int32_t value, int32_t width, char fill) {
    std::string text = std::to_string(value);
    if (width > 0 && text.size() < static_cast<size_t>(width)) {
        text.insert(0, static_cast<size_t>(width) - text.size(), fill);
    }
    return text;
}

}  // namespace spurfix
