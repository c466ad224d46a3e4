// The fixed texts of the command line: the banner at the start of a run, the
// hint after a bad command line, the full usage text and the version line.
#pragma once

#include <ostream>
#include <string_view>

namespace varnel {

class Reporter;

inline constexpr std::string_view kProgramName = "Varnel";
inline constexpr std::string_view kVersionText = "V01.03.00cpp";
inline constexpr std::string_view kDateText = "December 2004";

// Empty line, "Varnel <version> <credit> <date>", empty line.
void PrintBanner(Reporter& reporter);

// The one-line pointer to the usage text. The caller ends the run with
// status 1.
void PrintHint(Reporter& reporter);

// The full usage text, on standard error unless another stream is given.
// After -help or /? the caller ends the run with status 1, after --help with 0.
void PrintUsage(std::ostream& out);

// "varnel <version>" and a line feed, for --version.
void PrintVersion(std::ostream& out);

}  // namespace varnel
