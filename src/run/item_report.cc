#include "run/item_report.h"

#include <nlohmann/json.hpp>

namespace varnel {
namespace {

const char* OutcomeName(ItemOutcome outcome) {
  switch (outcome) {
    case ItemOutcome::kOk:
      return "ok";
    case ItemOutcome::kFailed:
      return "failed";
    case ItemOutcome::kNotProcessed:
      return "not processed";
    case ItemOutcome::kUnchanged:
      return "unchanged";
    case ItemOutcome::kPlanned:
      return "planned";
    case ItemOutcome::kUnknown:
      return "unknown";
  }
  return "failed";
}

// One JSON line. Bytes that are not UTF-8 (a DN may hold any) become U+FFFD,
// so the line stays valid JSON.
std::string JsonLine(size_t lineNumber, const std::string& dn, const std::string& storedDn,
                     const std::string& overrideText, const ItemResult& result,
                     const std::string& action) {
  nlohmann::ordered_json object;
  object["line"] = lineNumber;
  object["dn"] = dn;
  object["stored_dn"] = storedDn;
  object["override"] = overrideText;
  object["outcome"] = OutcomeName(result.outcome);
  object["status"] = result.status;
  object["message"] = result.message;
  object["action"] = action;
  object["changed"] = result.changed;
  object["diagnostic"] = result.diagnostic;
  if (result.rolledBack) object["rolled_back"] = true;
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

Outcome ItemReport::Append(const std::string& line) {
  std::string error;
  if (!file_->Append(line, false, &error)) return Outcome::Varnel(-1, error);
  return Outcome::Ok();
}

Outcome ItemReport::WriteSkippedBefore(size_t lineNumber) {
  if (skipped_ == nullptr) return Outcome::Ok();
  for (; nextSkipped_ < skipped_->size(); ++nextSkipped_) {
    const SkippedLine& line = (*skipped_)[nextSkipped_];
    if (line.lineNumber >= lineNumber) break;
    const ItemResult result{ItemOutcome::kFailed, "", ExitStatus(Outcome::Varnel(-1)),
                            line.reason,          {}, ""};
    if (Outcome written = Append(JsonLine(line.lineNumber, "", "", "", result, action_));
        !written.ok())
      return written;
  }
  return Outcome::Ok();
}

Outcome ItemReport::Write(const WorkItem& item, const ItemResult& result) {
  if (Outcome written = WriteSkippedBefore(item.lineNumber); !written.ok()) return written;
  return Append(
      JsonLine(item.lineNumber, item.dn, result.storedDn, item.overrideText, result, action_));
}

Outcome ItemReport::Finish() { return WriteSkippedBefore(static_cast<size_t>(-1)); }

}  // namespace varnel
