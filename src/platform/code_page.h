// Conversion between narrow text in the system code page (UTF-8 on Linux) and
// wide UTF-16 text. Both directions read up to the first zero byte or unit and
// never past the end of the input; ill-formed input is replaced, not refused.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

// UTF-8 to UTF-16. Each maximal ill-formed part of a sequence (stray
// continuation byte, truncated or overlong sequence, encoded surrogate, value
// above U+10FFFF) becomes one U+FFFD.
std::u16string NarrowToWide(std::string_view narrow);

// UTF-16 to UTF-8. A surrogate without its partner becomes '?'.
std::string WideToNarrow(std::u16string_view wide);

}  // namespace varnel
