// The item report of a run (-report): JSON Lines, one object per input item
// in input order, written as each item ends, so that a script can tell what
// became of every line even when the run is cut short. Input lines that
// could not be taken appear in their place as failed items.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "diag/outcome.h"
#include "exchange/work_item.h"
#include "platform/record_file.h"
#include "run/item_result.h"

namespace varnel {

class ItemReport {
 public:
  explicit ItemReport(std::unique_ptr<RecordFile> file) : file_(std::move(file)) {}

  // The run's action, as every line names it.
  void SetAction(std::string action) { action_ = std::move(action); }
  // The skipped lines of the run, written in their place among the items.
  void SetSkippedLines(const std::vector<SkippedLine>* skipped) { skipped_ = skipped; }

  // Writes the item's object (after any skipped line that came before it).
  // When the file cannot be written: a failure (-1) whose text is the reason.
  Outcome Write(const WorkItem& item, const ItemResult& result);
  // Writes the skipped lines not written yet.
  Outcome Finish();

  const std::string& path() const { return file_->path(); }

 private:
  Outcome WriteSkippedBefore(size_t lineNumber);
  Outcome Append(const std::string& line);

  std::unique_ptr<RecordFile> file_;
  const std::vector<SkippedLine>* skipped_ = nullptr;
  size_t nextSkipped_ = 0;
  std::string action_;
};

}  // namespace varnel
