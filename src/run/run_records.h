// What a run keeps beside its output, each part optional: the undo file
// (-undo), the item report (-report) and the lines to run again (-failed).
// The processing loop tells it how each item ended; the files are opened by
// the command-line stage before the directory is touched.
#pragma once

#include <memory>
#include <string>

#include "diag/outcome.h"
#include "exchange/work_item.h"
#include "platform/record_file.h"
#include "run/item_report.h"
#include "run/item_result.h"
#include "run/undo_journal.h"

namespace varnel {

class Reporter;

struct RunRecords {
  std::unique_ptr<UndoJournal> undo;
  std::unique_ptr<ItemReport> report;
  std::unique_ptr<RecordFile> failedLines;

  // Writes the item to the report, and its input line to the lines to run
  // again unless it succeeded. A file that cannot be written gets an error
  // line, and the returned failure stops the run; the other file is still
  // written, for this item and every later one.
  Outcome ItemEnded(Reporter& reporter, const WorkItem& item, const ItemResult& result);
  // Writes what the report still owes (skipped lines after the last item).
  Outcome Finish(Reporter& reporter);

 private:
  bool reportBroken_ = false;
  bool failedBroken_ = false;
};

}  // namespace varnel
