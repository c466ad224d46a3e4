// Opens the files a run writes beside its output (-undo, -report, -failed)
// before the directory is touched, so that a file that cannot be written
// ends the run before anything has changed.
#pragma once

#include <cstdint>
#include <optional>

namespace varnel {

class Reporter;
struct RunRecords;
struct RunSettings;

// Fills *records. Returns the exit status (1) after an error line when a file
// cannot be opened, an undo file is not empty, or two switches name the same
// file; nullopt when the run goes on.
std::optional<int32_t> OpenRunRecords(Reporter& reporter, const RunSettings& settings,
                                      RunRecords* records);

}  // namespace varnel
