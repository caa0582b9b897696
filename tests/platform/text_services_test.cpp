#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/collation.h"
#include "platform/text_case.h"

namespace spurfix::platform {
namespace {

TEST(LowerCase, AsciiAlwaysOtherLettersOnlyInValidUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"MP3", "mp3"}, {"Mp3", "mp3"},
        {"ÄÖÜ", "äöü"}, {"WAV\xC4", "wav\xC4"},  // not UTF-8: only the ASCII letters change
        {"", ""},       {"ΣΑ", "σα"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(LowerCase(text), expected) << text;
    }
}

TEST(Collator, CaseInsensitiveWithUmlautsBesideTheirLetters) {
    const Collator collator("de_DE");
    EXPECT_LT(collator.compare("apfel", "Birne"), 0);
    EXPECT_LT(collator.compare("Äpfel", "Birne"), 0);
    EXPECT_LT(collator.compare("Apfel", "Äpfel"), 0);
    EXPECT_EQ(collator.compare("Apfel", "Apfel"), 0);
    // Equal to the locale, ordered by bytes: the order is total.
    EXPECT_NE(collator.compare("apfel", "APFEL"), 0);
    EXPECT_EQ(collator.compare("apfel", "APFEL"), -collator.compare("APFEL", "apfel"));
    // A text sorts before everything that begins with it.
    EXPECT_LT(collator.compare("/E/Pop/", "/E/Pop/\x01"), 0);
    EXPECT_LT(collator.compare("/E/Pop/", "/E/Pop/Live/"), 0);
    EXPECT_LT(collator.compare("\xFF", "\xFF\xFE"), 0);
}

TEST(Collator, LocaleFromTheEnvironment) {
    struct Case {
        const char* lcAll;
        const char* lang;
        std::string expected;
    };
    const Case cases[] = {
        {"", "de_AT.UTF-8", "de_AT"},
        {"sv_SE.UTF-8", "de_DE.UTF-8", "sv_SE"},
        {"", "C.UTF-8", "de"},
        {"POSIX", "", "de"},
        {"", "", "de"},
        {"en_US@euro", "", "en_US"},
    };
    // The variables are the process's: they are put back as they were.
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved;
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }
    for (const Case& c : cases) {
        setenv("LC_ALL", c.lcAll, 1);
        unsetenv("LC_COLLATE");
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(CollationLocaleFromEnvironment(), c.expected) << c.lcAll << " / " << c.lang;
    }
    for (const Saved& variable : saved) {
        if (variable.value) {
            setenv(variable.name, variable.value->c_str(), 1);
        } else {
            unsetenv(variable.name);
        }
    }
}

}  // namespace
}  // namespace spurfix::platform
