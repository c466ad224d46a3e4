#include "run/run_records.h"

#include "diag/reporter.h"

namespace varnel {
namespace {

Outcome WriteFailure(Reporter& reporter, const char* what, const std::string& path,
                     const std::string& error) {
  reporter.err() << "ERROR: Cannot write the " << what << " " << path << ": " << error << EndLine;
  return Outcome::Varnel(-1, std::string("cannot write the ") + what + ": " + error);
}

}  // namespace

Outcome RunRecords::ItemEnded(Reporter& reporter, const WorkItem& item, const ItemResult& result) {
  std::string error;
  if (report && !report->Write(item, result, &error))
    return WriteFailure(reporter, "report file", report->path(), error);
  if (failedLines && ToRunAgain(result.outcome) &&
      !failedLines->Append(item.inputLine + "\n", false, &error))
    return WriteFailure(reporter, "failed-lines file", failedLines->path(), error);
  return Outcome::Ok();
}

Outcome RunRecords::Finish(Reporter& reporter) {
  std::string error;
  if (report && !report->Finish(&error))
    return WriteFailure(reporter, "report file", report->path(), error);
  return Outcome::Ok();
}

}  // namespace varnel
