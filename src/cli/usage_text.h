// The fixed texts printed on standard error: the banner at the start of a run,
// the hint after a bad command line and the full usage text.
#pragma once

#include <span>
#include <string_view>

namespace varnel {

inline constexpr std::string_view kProgramName = "Varnel";
inline constexpr std::string_view kVersionText = "V01.03.00cpp";
inline constexpr std::string_view kDateText = "December 2004";

// Empty line, "Varnel <version> <credit> <date>", empty line.
void PrintBanner();

// The one-line pointer to the usage text. The caller ends the run with
// status 1.
void PrintHint();

// The full usage text. The caller ends the run with status 1.
void PrintUsage();

// The usage text as written: one entry per write, in order.
std::span<const std::string_view> UsageTextItems();

}  // namespace varnel
