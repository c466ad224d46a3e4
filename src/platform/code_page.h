// Conversion of wide UTF-16 text to narrow text in the system code page (UTF-8
// on Linux). It reads up to the first zero unit and never past the end of the
// input; ill-formed input is replaced, not refused.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

// UTF-16 to UTF-8. A surrogate without its partner becomes '?'.
std::string WideToNarrow(std::u16string_view wide);

}  // namespace varnel
