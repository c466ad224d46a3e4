#include "cli/run_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "diag/reporter.h"
#include "exchange/run_records.h"
#include "exchange/run_settings.h"
#include "platform/record_file.h"

namespace varnel {
namespace {

constexpr int32_t kCommandLineStop = 1;

std::unique_ptr<RecordFile> OpenFile(Reporter& reporter, const char* what, const std::string& path,
                                     RecordFile::OpenMode mode) {
  std::string error;
  std::unique_ptr<RecordFile> file = RecordFile::Open(path, mode, &error);
  if (!file)
    reporter.err() << "ERROR: Cannot use " << path << " as the " << what << ": " << error
                   << EndLine;
  return file;
}

}  // namespace

std::optional<int32_t> OpenDnList(Reporter& reporter, const RunSettings& settings,
                                  std::ifstream* file) {
  const std::string& path = settings.dnListPath;
  if (path.empty()) return std::nullopt;
  // A folder opens as a stream and then reads nothing, as if it were empty.
  struct stat info {};
  int error = 0;
  if (stat(path.c_str(), &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  } else {
    errno = 0;
    file->open(path, std::ios::binary);
    if (!file->is_open()) error = errno != 0 ? errno : EIO;
  }
  if (error == 0) return std::nullopt;
  reporter.err() << "ERROR: Cannot read the DN list " << path << ": " << std::strerror(error)
                 << EndLine;
  return kCommandLineStop;
}

std::optional<int32_t> OpenRunRecords(Reporter& reporter, const RunSettings& settings,
                                      RunRecords* records) {
  const std::string* paths[] = {&settings.undoPath, &settings.reportPath, &settings.failedPath};
  for (size_t i = 0; i < 3; ++i) {
    for (size_t j = i + 1; j < 3; ++j) {
      if (!paths[i]->empty() && *paths[i] == *paths[j]) {
        reporter.err() << "ERROR: -undo, -report and -failed must name different files." << EndLine;
        return kCommandLineStop;
      }
    }
  }
  if (!settings.undoPath.empty()) {
    std::unique_ptr<RecordFile> file =
        OpenFile(reporter, "undo file", settings.undoPath, RecordFile::OpenMode::kMustBeNew);
    if (!file) return kCommandLineStop;
    records->undo = std::make_unique<UndoJournal>(std::move(file));
  }
  if (!settings.reportPath.empty()) {
    std::unique_ptr<RecordFile> file =
        OpenFile(reporter, "report file", settings.reportPath, RecordFile::OpenMode::kReplace);
    if (!file) return kCommandLineStop;
    records->report = std::make_unique<ItemReport>(std::move(file));
  }
  if (!settings.failedPath.empty()) {
    records->failedLines = OpenFile(reporter, "failed-lines file", settings.failedPath,
                                    RecordFile::OpenMode::kReplace);
    if (!records->failedLines) return kCommandLineStop;
  }
  return std::nullopt;
}

}  // namespace varnel
