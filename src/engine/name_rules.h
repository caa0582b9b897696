#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace spurfix {

// Removes a leading track number with the character behind it and the separators
// (space, "-", ".", "_") that follow.
std::string StripTrackNumber(std::string_view name);

// Keeps the part of the name behind the last place where two title separators
// (space or "-") stand side by side.
std::string ExtractTitle(std::string_view name);

// The value in decimal, filled in front with `fill` up to `width` characters.
std::string PadLeft(int32_t value, int32_t width, char fill);

// Both name rules give a tail of their argument: these give it without a copy.
std::string_view TrackNumberStripped(std::string_view name);
std::string_view TitleExtracted(std::string_view name);

}  // namespace spurfix
