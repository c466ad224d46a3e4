// Opens the files a run reads and writes beside its standard streams (the
// DN list of -f; -undo, -report, -failed) before the directory is touched,
// so that a file that cannot be used ends the run before anything has
// changed; and empties the record files only when the run's processing
// begins, so that a run that never starts leaves those of an earlier one as
// they were.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ext/stdio_sync_filebuf.h>
#include <istream>
#include <memory>
#include <optional>

#include "diag/outcome.h"
#include "platform/file_system.h"
#include "platform/record_file.h"

namespace varnel {

class Reporter;
struct RunRecords;
struct RunSettings;

// The run's files, opened and checked, each null when its switch is absent.
struct RunFiles {
  std::unique_ptr<RecordFile> undo;
  std::unique_ptr<RecordFile> report;
  std::unique_ptr<RecordFile> failedLines;
};

// The -f list, read through C stdio as standard input is: a read that waits
// for more (a pipe, a FIFO) returns when a signal asks the run to stop,
// where a file stream would wait on.
class DnListFile {
 public:
  // False with errno set when the file cannot be opened.
  bool Open(const std::string& path);
  std::istream& stream() { return stream_; }
  // The file is a regular one (not a pipe or a device).
  bool regular() const { return regular_; }

 private:
  struct Closer {
    void operator()(FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<FILE, Closer> file_;
  std::unique_ptr<__gnu_cxx::stdio_sync_filebuf<char>> buffer_;
  std::istream stream_{nullptr};
  bool regular_ = false;
};

// Opens the -f file into *file when settings name one. Returns
// CommandLineStop() after an error line when it cannot be read; ok otherwise.
Outcome OpenDnList(Reporter& reporter, const RunSettings& settings, DnListFile* file);

// Fills *opened. Returns CommandLineStop() after an error line when a file
// cannot be opened or is not a regular file, an undo file is not empty or is
// in use by another run, two switches name the same file, or a file is the
// run's standard input (`input`, when known); ok when the run goes on.
Outcome OpenRunFiles(Reporter& reporter, const RunSettings& settings, FileSystem& files,
                     const std::optional<FileIdentity>& input, RunFiles* opened);

// Processing begins: empties the files an earlier run may have filled and
// hands them to *records. A failure (-1) after an error line when one cannot
// be emptied.
Outcome BeginRunRecords(Reporter& reporter, RunFiles&& opened, RunRecords* records);

}  // namespace varnel
