#include "run/process_work_items.h"

#include "actions/action.h"
#include "diag/reporter.h"
#include "diag/stopwatch.h"
#include "exchange/run_settings.h"
#include "exchange/work_item.h"
#include "run/item_pipeline.h"
#include "run/run_records.h"

namespace varnel {
namespace {

// The status of a run whose only fault is input lines it could not take.
constexpr int32_t kSkippedInputStatus = -1;

}  // namespace

Outcome ProcessWorkItems(Reporter& reporter, RequestChannel& channel, RunFacts& facts,
                         const Action& action, const RunSettings& settings, const WorkList& work,
                         const TickCounter& ticks, RunRecords& records, const StopRequest& stop,
                         const std::function<void(uint32_t)>& pause) {
  const std::vector<WorkItem>& items = work.items;
  Stopwatch stopwatch(ticks, &reporter);
  if (records.report) {
    records.report->SetAction(action.Name());
    records.report->SetSkippedLines(&work.skipped);
  }
  if (!reporter.quiet()) reporter.out() << action.Banner() << EndLine;
  const RunTally tally = RunItemPipeline(reporter, channel, facts, action, settings, work, ticks,
                                         records, stop, pause);

  reporter.out() << EndLine;
  stopwatch.Stop();
  if (items.size() > 1) {
    reporter.out() << "DNs to Process: " << items.size() << EndLine;
    reporter.out() << "DNs Processed : " << tally.processed << EndLine;
    reporter.out() << "Successful    : " << tally.successful << EndLine;
    reporter.out() << "Errors        : " << tally.errors << EndLine;
  }
  if (settings.showElapsedMs) reporter.out() << "Elapsed MS: " << stopwatch.ElapsedMs() << EndLine;
  if (settings.showElapsed) {
    float seconds = static_cast<float>(stopwatch.ElapsedSeconds());
    reporter.out() << "Time Elapsed (sec): " << seconds << EndLine;
  }
  // Input lines that were skipped are work left undone as much as failures.
  const bool skippedLines = !work.skipped.empty();
  if (tally.errors != 0 || skippedLines || !tally.lastError.ok())
    reporter.out() << "\nThe command completed with errors.\n" << EndLine;
  else
    reporter.out() << "\nThe command completed successfully.\n" << EndLine;
  if (tally.lastError.ok() && skippedLines)
    return Outcome::Varnel(kSkippedInputStatus, "input lines skipped");
  return tally.lastError;
}

}  // namespace varnel
