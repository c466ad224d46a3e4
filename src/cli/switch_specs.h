// The switches Varnel accepts, in the form SwitchTable::Validate takes:
// ":name" is a flag without a value, a bare name takes a value.
#pragma once

#include <array>
#include <string_view>

namespace varnel {

inline constexpr std::array<std::string_view, 33> kVarnelSwitchSpecs = {
    ":q",         ":d",     ":help",   ":?",      ":v",        ":elapsed",
    ":elapsedms", ":clear", ":cont",   ":unsafe", ":keepmail", ":upd",
    ":hfal",      ":uhfal", "h",       "b",       "cr",        "me",
    "move",       "delim",  "fdelim",  "safety",  "upto",      "internetencoding",
    "quota",      "qb",     ":whatif", "undo",    "report",    "failed",
    "window",     "f",      "rate",
};

// The switches whose value names a file: they take the next argument as it
// is, even when it begins with "/" or "-".
inline constexpr std::array<std::string_view, 4> kPathSwitches = {"undo", "report", "failed", "f"};

}  // namespace varnel
