#pragma once

#include <string>
#include <string_view>

namespace spurfix::platform {

// Lower case of a byte text: ASCII letters always; where the text is valid UTF-8,
// every other letter by Unicode's rules. Bytes of a text that is not valid UTF-8
// other than ASCII letters stay as they are.
std::string LowerCase(std::string_view text);

}  // namespace spurfix::platform
