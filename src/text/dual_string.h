// A text held as wide UTF-16, with narrow (system code page) text made from it
// on demand: the form in which text crosses the directory-object boundary.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

class DualString {
 public:
  DualString() = default;
  // Converts narrow text, read up to its first zero byte.
  explicit DualString(std::string_view narrow);
  // Copies wide text up to its first zero unit.
  explicit DualString(std::u16string_view wide);

  // Replaces the wide text with the conversion of `narrow`.
  void AssignNarrow(std::string_view narrow);

  // Rebuilds the narrow text from the wide text and returns a copy.
  std::string Narrow();
  // Rebuilds the narrow text and returns its zero-terminated bytes, valid
  // until the next rebuild or the end of the object.
  const char* NarrowCStr();
  // The zero-terminated wide text, valid until the wide text changes.
  const char16_t* WideCStr() const { return wide_.c_str(); }
  const std::u16string& Wide() const { return wide_; }

 private:
  void RebuildNarrow();

  std::u16string wide_;
  std::string narrow_;
};

}  // namespace varnel
