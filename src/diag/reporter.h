// The one place a run's lines go through: the two standard streams and the
// quiet (-q) and debug (-d) settings that decide which lines are shown. The
// run driver makes one and hands it down; no layer below it touches a
// stream or a process-wide flag of its own.
//
// Two modes change where lines go. In preview mode every line written to
// out() becomes an LDIF comment, and data() carries the records themselves.
// With a status line, a one-line meter can be drawn on standard error. What
// is written to the terminal it is on (standard error, and standard output
// when that is a terminal too) erases it first, and once that line has
// ended and been flushed the meter is drawn again below it; standard output
// that goes elsewhere leaves it alone.
//
// A write that fails on either stream is kept: lostOutput() tells the run
// that what it shows is no longer seen.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "diag/item_lines.h"

namespace varnel {

class CommentLineBuffer;
class HookedBuffer;

struct ReportSettings {
  bool quiet = false;  // no banner, no progress and informational lines
  bool debug = false;  // the "DEBUG:" traces
};

class Reporter {
 public:
  Reporter(std::ostream& out, std::ostream& err, ReportSettings settings = {});
  ~Reporter();
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // Set by the command-line stage once the switches are read.
  void Configure(ReportSettings settings) { settings_ = settings; }

  bool quiet() const { return settings_.quiet; }
  bool debug() const { return settings_.debug; }

  // Standard output and standard error; a line ends with EndLine.
  std::ostream& out() { return *out_; }
  std::ostream& err() { return *err_; }
  // Standard output as it is, for machine-readable records.
  std::ostream& data() { return *data_; }

  // Empty lines to hold, with this reporter's settings.
  ItemLines Lines() const;
  // Writes held lines as they were added, each piece flushed, so that the
  // two streams interleave as if they had been written at once.
  void Show(const ItemLines& lines);

  // Preview mode: from now on every line of out() is written as "# " and the
  // line. Call before EnableStatusLine.
  void CommentOutput();
  // Lets ShowStatus draw on standard error, which must be a terminal;
  // `outputOnTerminal` when standard output is a terminal as well.
  void EnableStatusLine(bool outputOnTerminal = false);
  bool statusLineEnabled() const { return errGuard_ != nullptr; }
  // Draws `text` in place of the status line and keeps it there; nothing
  // without a status line. While a line on the terminal is not yet ended
  // the text is drawn once it is.
  void ShowStatus(std::string_view text);
  // Erases the status line for good (until the next ShowStatus).
  void ClearStatus();

  // A write to standard output or standard error has failed: the stream the
  // run was given, or one of the filters in front of it, is bad. Cheap
  // enough to ask after every item.
  bool lostOutput() const;
  // Flushes both streams and everything in front of them.
  void Flush();

 private:
  std::ostream& outTarget_;
  std::ostream& errTarget_;
  std::ostream* data_;
  std::ostream* out_;
  std::ostream* err_;
  ReportSettings settings_;
  std::string statusText_;  // what ShowStatus drew last; empty once cleared
  bool statusShown_ = false;

  void EraseStatus();
  // Draws the kept text when no line is open on the terminal.
  void DrawStatus();

  std::unique_ptr<CommentLineBuffer> commentBuffer_;
  std::unique_ptr<std::ostream> commentStream_;
  std::unique_ptr<HookedBuffer> outGuard_;
  std::unique_ptr<HookedBuffer> errGuard_;
  std::unique_ptr<HookedBuffer> dataGuard_;
  std::unique_ptr<std::ostream> outGuarded_;
  std::unique_ptr<std::ostream> errGuarded_;
  std::unique_ptr<std::ostream> dataGuarded_;
};

// Writes a line feed and flushes the stream.
std::ostream& EndLine(std::ostream& os);

}  // namespace varnel
