#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace spurfix::platform {

// Case-insensitive, locale-aware order of byte texts (UTF-8; ill-formed bytes compare
// as U+FFFD). Texts the locale finds equal are ordered by their bytes, so that the
// order is total and a text always sorts before every longer text it begins.
class Collator {
  public:
    // `icuLocale` such as "de_DE"; an empty name collates as German.
    explicit Collator(const std::string& icuLocale);
    ~Collator();
    // A copy of its own, for another thread.
    Collator(const Collator& other);
    Collator& operator=(const Collator&) = delete;

    [[nodiscard]] int compare(std::string_view a, std::string_view b) const;
    [[nodiscard]] bool less(std::string_view a, std::string_view b) const {
        return compare(a, b) < 0;
    }

  private:
    UCollator* collator_;
};

// The ICU locale for collation from LC_ALL, LC_COLLATE or LANG, as the C library would
// choose it. The C and POSIX locales collate as German, the program's language.
std::string CollationLocaleFromEnvironment();

}  // namespace spurfix::platform
