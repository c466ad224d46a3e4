// Text helpers shared by every subsystem: ASCII case folding, splitting at a
// delimiter text, strict numbers, quote removal and the control-character
// check. Narrow text is a byte string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Folds only the ASCII letters A-Z to a-z; every other byte is unchanged.
std::string LowerCase(std::string_view text);

// Folds only the ASCII letters a-z to A-Z; every other byte is unchanged.
std::string UpperCase(std::string_view text);

// Appends the fields of `text` separated by `delimiter` to `fields` and
// returns the number of entries `fields` then holds (callers pass an empty
// list, so this is the number of fields). Empty text yields no field;
// consecutive delimiters yield empty fields; one trailing delimiter adds no
// empty field, two add one. Text after the last delimiter is a field of its
// own. Delimiters are found left to right, each search starting after the one
// before, so "aaa" split at "aa" is "" and "a". An empty delimiter yields the
// whole text as one field.
int Split(std::string text, std::string delimiter, std::vector<std::string>* fields);

// Splits like Split into at most `maximum` fields. With fewer fields than
// `maximum` the list is padded with empty fields and the number found is
// returned; with more, the excess is folded back into the last field with its
// delimiters restored and `maximum` is returned. A `maximum` below 1 means no
// limit.
int SplitMax(std::string text, std::string delimiter, std::vector<std::string>* fields,
             int maximum);

// A whole text of decimal digits as a number no greater than `maximum`, or
// nullopt: no sign, blanks, fraction or trailing text is taken, and an empty
// text is no number.
std::optional<uint64_t> ParseDecimal(std::string_view text, uint64_t maximum);

// True when the text holds a control character: a byte below 0x20, DEL
// (0x7F), or one of U+0080 to U+009F written in UTF-8. Such a character in
// an address would end up in a directory value (a line feed, for one).
bool HasControlCharacter(std::string_view text);

// A text from elsewhere (a server's diagnostic, say) made fit to show as one
// line: every control character HasControlCharacter knows becomes a blank,
// and blanks at the end go.
std::string OneLine(std::string_view text);

// Removes every double quote except one escaped by a backslash: in a DN `\"`
// is a quote character of the name. A backslash and the character after it
// are always kept as they stand, so `\\"` keeps both backslashes and drops
// the quote.
std::string RemoveQuotes(std::string_view text);

}  // namespace varnel
