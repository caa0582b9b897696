#include "platform/collation.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace spurfix::platform {

Collator::Collator(const std::string& icuLocale) {
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open(icuLocale.empty() ? "de" : icuLocale.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator_ = ucol_open("de", &status);
    }
    if (U_FAILURE(status) || collator_ == nullptr) {
        throw std::runtime_error("ICU collator unavailable");
    }
    // Secondary strength: accents count, case does not.
    ucol_setStrength(collator_, UCOL_SECONDARY);
}

Collator::Collator(const Collator& other) {
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_clone(other.collator_, &status);
    if (U_FAILURE(status) || collator_ == nullptr) {
        throw std::runtime_error("ICU collator cannot be copied");
    }
}

Collator::~Collator() {
    ucol_close(collator_);
}

namespace {
// The length of the prefix two texts share, eight bytes at a time: sorting compares
// paths whose first tens of bytes are equal.
size_t SharedPrefixLength(std::string_view a, std::string_view b) {
    const size_t length = std::min(a.size(), b.size());
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= length; i += 8) {
            uint64_t x = 0;
            uint64_t y = 0;
            std::memcpy(&x, a.data() + i, 8);
            std::memcpy(&y, b.data() + i, 8);
            if (x != y) {
                return i + static_cast<size_t>(std::countr_zero(x ^ y)) / 8;
            }
        }
    }
    while (i < length && a[i] == b[i]) {
        ++i;
    }
    return i;
}
}  // namespace

int Collator::compare(std::string_view a, std::string_view b) const {
    // Paths share long folder prefixes. Nothing before a "/" can combine with what
    // follows it, so an equal prefix up to a "/" that both texts hold orders nothing.
    const size_t shared = SharedPrefixLength(a, b);
    const void* slashAt = shared > 0 ? memrchr(a.data(), '/', shared) : nullptr;
    if (slashAt != nullptr && slashAt != a.data()) {
        const auto slash = static_cast<size_t>(static_cast<const char*>(slashAt) - a.data());
        a.remove_prefix(slash);
        b.remove_prefix(slash);
    }
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(collator_, a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    if (U_SUCCESS(status) && result != UCOL_EQUAL) {
        return result == UCOL_LESS ? -1 : 1;
    }
    const int bytes = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (bytes != 0) {
        return bytes < 0 ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string CollationLocaleFromEnvironment() {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return "de";
    }
    return name;
}

}  // namespace spurfix::platform
