// Lines made now and shown later: a reporter whose two streams are strings,
// with the run's quiet and debug settings. A plan is made with one, so that
// it prints nothing itself and its lines can be shown in their turn.
#pragma once

#include <sstream>
#include <string>

#include "diag/reporter.h"

namespace varnel {

class HeldLines {
 public:
  explicit HeldLines(ReportSettings settings) : reporter_(out_, err_, settings) {}
  HeldLines(const HeldLines&) = delete;
  HeldLines& operator=(const HeldLines&) = delete;

  Reporter& reporter() { return reporter_; }
  std::string out() const { return out_.str(); }
  std::string err() const { return err_.str(); }

 private:
  std::ostringstream out_;
  std::ostringstream err_;
  Reporter reporter_;
};

}  // namespace varnel
