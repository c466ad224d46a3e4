#include "diag/reporter.h"

#include "diag/stream_filters.h"

namespace varnel {

Reporter::Reporter(std::ostream& out, std::ostream& err, ReportSettings settings)
    : outTarget_(out), errTarget_(err), data_(&out), out_(&out), err_(&err), settings_(settings) {}

Reporter::~Reporter() = default;

ItemLines Reporter::Lines() const {
  ItemLines lines;
  lines.quiet = settings_.quiet;
  lines.debug = settings_.debug;
  return lines;
}

void Reporter::Show(const ItemLines& lines) {
  lines.InOrder([this](std::string_view text) { *out_ << text << std::flush; },
                [this](std::string_view text) { *err_ << text << std::flush; });
}

void Reporter::CommentOutput() {
  commentBuffer_ = std::make_unique<CommentLineBuffer>(outTarget_.rdbuf());
  commentStream_ = std::make_unique<std::ostream>(commentBuffer_.get());
  out_ = commentStream_.get();
}

void Reporter::EnableStatusLine(bool outputOnTerminal) {
  auto erase = [this] { EraseStatus(); };
  auto draw = [this] { DrawStatus(); };
  errGuard_ = std::make_unique<HookedBuffer>(errTarget_.rdbuf(), erase, draw);
  errGuarded_ = std::make_unique<std::ostream>(errGuard_.get());
  errGuarded_->tie(errTarget_.tie());  // standard output first, as without the line
  err_ = errGuarded_.get();
  if (!outputOnTerminal) return;
  outGuard_ = std::make_unique<HookedBuffer>(out_->rdbuf(), erase, draw);
  dataGuard_ = std::make_unique<HookedBuffer>(outTarget_.rdbuf(), erase, draw);
  outGuarded_ = std::make_unique<std::ostream>(outGuard_.get());
  dataGuarded_ = std::make_unique<std::ostream>(dataGuard_.get());
  out_ = outGuarded_.get();
  data_ = dataGuarded_.get();
}

void Reporter::ShowStatus(std::string_view text) {
  if (!statusLineEnabled()) return;
  statusText_ = text;
  statusShown_ = false;  // drawn over in place
  out_->flush();         // what standard output holds appears above the line
  DrawStatus();
}

void Reporter::ClearStatus() {
  statusText_.clear();
  EraseStatus();
}

void Reporter::EraseStatus() {
  if (!statusShown_) return;
  statusShown_ = false;
  errTarget_ << "\r\033[K" << std::flush;
}

void Reporter::DrawStatus() {
  if (statusShown_ || statusText_.empty()) return;
  for (const HookedBuffer* guard : {errGuard_.get(), outGuard_.get(), dataGuard_.get()}) {
    if (guard != nullptr && guard->lineOpen()) return;
  }
  errTarget_ << '\r' << statusText_ << "\033[K" << std::flush;
  statusShown_ = true;
}

bool Reporter::lostOutput() const {
  for (const std::ostream* stream : {&outTarget_, &errTarget_, commentStream_.get(),
                                     outGuarded_.get(), errGuarded_.get(), dataGuarded_.get()}) {
    if (stream != nullptr && stream->bad()) return true;
  }
  return false;
}

void Reporter::Flush() {
  for (std::ostream* stream : {outGuarded_.get(), dataGuarded_.get(), commentStream_.get(),
                               errGuarded_.get(), &outTarget_, &errTarget_}) {
    if (stream != nullptr) stream->flush();
  }
}

std::ostream& EndLine(std::ostream& os) {
  os.put('\n');
  os.flush();
  return os;
}

}  // namespace varnel
