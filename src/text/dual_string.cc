#include "text/dual_string.h"

#include "platform/code_page.h"

namespace varnel {

DualString::DualString(std::string_view narrow) : wide_(NarrowToWide(narrow)) {}

DualString::DualString(std::u16string_view wide) : wide_(wide.substr(0, wide.find(u'\0'))) {}

void DualString::AssignNarrow(std::string_view narrow) { wide_ = NarrowToWide(narrow); }

std::string DualString::Narrow() {
  RebuildNarrow();
  return narrow_;
}

const char* DualString::NarrowCStr() {
  RebuildNarrow();
  return narrow_.c_str();
}

void DualString::RebuildNarrow() { narrow_ = WideToNarrow(wide_); }

}  // namespace varnel
