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
  // Each file is kept as long as it can be: a report that breaks must not
  // cost the lines to run again, nor the other way round. A broken file gets
  // one error line and nothing more.
  Outcome outcome;
  if (report && !reportBroken_) {
    if (const Outcome written = report->Write(item, result); !written.ok()) {
      reportBroken_ = true;
      outcome = WriteFailure(reporter, "report file", report->path(), written.text());
    }
  }
  std::string error;
  if (failedLines && !failedBroken_ && ToRunAgain(result.outcome) &&
      !failedLines->Append(item.inputLine + "\n", false, &error)) {
    failedBroken_ = true;
    const Outcome failed = WriteFailure(reporter, "failed-lines file", failedLines->path(), error);
    if (outcome.ok()) outcome = failed;
  }
  return outcome;
}

Outcome RunRecords::Finish(Reporter& reporter) {
  if (!report || reportBroken_) return Outcome::Ok();
  const Outcome written = report->Finish();
  if (!written.ok()) return WriteFailure(reporter, "report file", report->path(), written.text());
  return Outcome::Ok();
}

}  // namespace varnel
