#include "exchange/process_work_items.h"

#include "diag/reporter.h"
#include "diag/stopwatch.h"
#include "exchange/item_pipeline.h"
#include "exchange/run_records.h"
#include "exchange/run_settings.h"
#include "exchange/work_item.h"

namespace varnel {
namespace {

// The status of a run whose only fault is input lines it could not take.
constexpr int32_t kSkippedInputStatus = -1;

const char* ActionBanner(RunAction action) {
  switch (action) {
    case RunAction::Clear:
      return "Clearing Exchange Attributes...";
    case RunAction::CreateMailbox:
      return "Creating Mailboxes...";
    case RunAction::MailEnable:
      return "Mail Enabling Objects...";
    case RunAction::MoveMailbox:
      return "Moving Mailboxes...";
    case RunAction::Update:
      return "Updating Objects...";
    case RunAction::None:
      break;
  }
  return nullptr;
}

}  // namespace

Outcome ProcessWorkItems(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                         const WorkList& work, const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks,
                         RunRecords& records) {
  const std::vector<WorkItem>& items = work.items;
  Stopwatch stopwatch("t1", ticks, &reporter);
  if (records.report) records.report->SetSkippedLines(&work.skipped);
  if (!reporter.quiet()) {
    if (const char* banner = ActionBanner(settings.action)) reporter.out() << banner << EndLine;
  }
  const RunTally tally = RunItemPipeline(reporter, session, settings, work, exchangeAttributes,
                                         objectService, ticks, records);

  reporter.out() << EndLine;
  stopwatch.Stop("t1");
  if (items.size() > 1) {
    reporter.out() << "DNs to Process: " << items.size() << EndLine;
    reporter.out() << "DNs Processed : " << tally.processed << EndLine;
    reporter.out() << "Successful    : " << tally.successful << EndLine;
    reporter.out() << "Errors        : " << tally.errors << EndLine;
  }
  if (settings.showElapsedMs)
    reporter.out() << "Elapsed MS: " << stopwatch.ElapsedMs("t1") << EndLine;
  if (settings.showElapsed) {
    float seconds = static_cast<float>(stopwatch.ElapsedSeconds("t1"));
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
