#include "cli/run_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "cli/command_line.h"
#include "diag/reporter.h"
#include "exchange/run_settings.h"
#include "platform/record_file.h"
#include "run/run_records.h"

namespace varnel {
namespace {

void PrintCannotUse(Reporter& reporter, const char* what, const std::string& path,
                    const std::string& reason) {
  reporter.err() << "ERROR: Cannot use " << path << " as the " << what << ": " << reason << EndLine;
}

std::unique_ptr<RecordFile> OpenFile(Reporter& reporter, FileSystem& files, const char* what,
                                     const std::string& path, RecordFile::OpenMode mode) {
  std::string error;
  std::unique_ptr<RecordFile> file = RecordFile::Open(files, path, mode, &error);
  if (!file) PrintCannotUse(reporter, what, path, error);
  return file;
}

void PrintSameFile(Reporter& reporter) {
  reporter.err() << "ERROR: -undo, -report and -failed must name different files." << EndLine;
}

}  // namespace

bool DnListFile::Open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "rbe"));
  if (!file_) return false;
  struct stat info {};
  regular_ = fstat(fileno(file_.get()), &info) == 0 && S_ISREG(info.st_mode);
  buffer_ = std::make_unique<__gnu_cxx::stdio_sync_filebuf<char>>(file_.get());
  stream_.rdbuf(buffer_.get());
  return true;
}

Outcome OpenDnList(Reporter& reporter, const RunSettings& settings, DnListFile* file) {
  const std::string& path = settings.dnListPath;
  if (path.empty()) return Outcome::Ok();
  // A folder opens as a stream and then reads nothing, as if it were empty.
  struct stat info {};
  int error = 0;
  if (stat(path.c_str(), &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  } else {
    errno = 0;
    if (!file->Open(path)) error = errno != 0 ? errno : EIO;
  }
  if (error == 0) return Outcome::Ok();
  reporter.err() << "ERROR: Cannot read the DN list " << path << ": " << std::strerror(error)
                 << EndLine;
  return CommandLineStop();
}

Outcome OpenRunFiles(Reporter& reporter, const RunSettings& settings, FileSystem& files,
                     const std::optional<FileIdentity>& input, RunFiles* opened) {
  // One name given twice is refused before anything is opened (or created).
  const std::string* paths[] = {&settings.undoPath, &settings.reportPath, &settings.failedPath};
  for (size_t i = 0; i < 3; ++i) {
    for (size_t j = i + 1; j < 3; ++j) {
      if (!paths[i]->empty() && *paths[i] == *paths[j]) {
        PrintSameFile(reporter);
        return CommandLineStop();
      }
    }
  }
  struct Wanted {
    const char* what;
    const std::string& path;
    RecordFile::OpenMode mode;
    std::unique_ptr<RecordFile>& file;
  };
  Wanted wanted[] = {
      {"undo file", settings.undoPath, RecordFile::OpenMode::kMustBeNew, opened->undo},
      {"report file", settings.reportPath, RecordFile::OpenMode::kReplace, opened->report},
      {"failed-lines file", settings.failedPath, RecordFile::OpenMode::kReplace,
       opened->failedLines},
  };
  for (Wanted& file : wanted) {
    if (file.path.empty()) continue;
    file.file = OpenFile(reporter, files, file.what, file.path, file.mode);
    if (!file.file) return CommandLineStop();
    // Written while the list is read, it would lose the lines not read yet.
    if (input && file.file->identity() == *input) {
      PrintCannotUse(reporter, file.what, file.path,
                     settings.dnListPath.empty() ? "the file is also the standard input"
                                                 : "the file is also the DN list (-f)");
      return CommandLineStop();
    }
  }
  // Two names of one file ("./mix" and "mix", a link): the same file.
  for (size_t i = 0; i < 3; ++i) {
    for (size_t j = i + 1; j < 3; ++j) {
      if (wanted[i].file && wanted[j].file &&
          wanted[i].file->identity() == wanted[j].file->identity()) {
        PrintSameFile(reporter);
        return CommandLineStop();
      }
    }
  }
  return Outcome::Ok();
}

Outcome BeginRunRecords(Reporter& reporter, RunFiles&& opened, RunRecords* records) {
  struct Owned {
    const char* what;
    RecordFile* file;
  };
  const Owned owned[] = {{"undo file", opened.undo.get()},
                         {"report file", opened.report.get()},
                         {"failed-lines file", opened.failedLines.get()}};
  for (const Owned& file : owned) {
    std::string error;
    if (file.file == nullptr || file.file->Begin(&error)) continue;
    PrintCannotUse(reporter, file.what, file.file->path(), error);
    return Outcome::Varnel(-1, std::string("cannot use the ") + file.what + ": " + error);
  }
  if (opened.undo) records->undo = std::make_unique<UndoJournal>(std::move(opened.undo));
  if (opened.report) records->report = std::make_unique<ItemReport>(std::move(opened.report));
  records->failedLines = std::move(opened.failedLines);
  return Outcome::Ok();
}

}  // namespace varnel
