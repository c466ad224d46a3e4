// Opens the files a run reads and writes beside its standard streams (the
// DN list of -f; -undo, -report, -failed) before the directory is touched,
// so that a file that cannot be used ends the run before anything has
// changed.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>

namespace varnel {

class Reporter;
struct RunRecords;
struct RunSettings;

// Fills *records. Returns the exit status (1) after an error line when a file
// cannot be opened, an undo file is not empty, or two switches name the same
// file; nullopt when the run goes on.
// Opens the -f file into *file when settings name one. Returns the exit
// status (1) after an error line when it cannot be read; nullopt otherwise.
std::optional<int32_t> OpenDnList(Reporter& reporter, const RunSettings& settings,
                                  std::ifstream* file);

std::optional<int32_t> OpenRunRecords(Reporter& reporter, const RunSettings& settings,
                                      RunRecords* records);

}  // namespace varnel
