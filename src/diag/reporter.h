// The one place a run's lines go through: the two standard streams and the
// quiet (-q) and debug (-d) settings that decide which lines are shown. The
// run driver makes one and hands it down; no layer below it touches a
// stream or a process-wide flag of its own.
#pragma once

#include <ostream>

namespace varnel {

struct ReportSettings {
  bool quiet = false;  // no banner, no progress and informational lines
  bool debug = false;  // the "DEBUG:" traces
};

class Reporter {
 public:
  Reporter(std::ostream& out, std::ostream& err, ReportSettings settings = {})
      : out_(out), err_(err), settings_(settings) {}

  // Set by the command-line stage once the switches are read.
  void Configure(ReportSettings settings) { settings_ = settings; }

  bool quiet() const { return settings_.quiet; }
  bool debug() const { return settings_.debug; }

  // Standard output and standard error; a line ends with EndLine.
  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  ReportSettings settings_;
};

// Writes a line feed and flushes the stream.
std::ostream& EndLine(std::ostream& os);

}  // namespace varnel
