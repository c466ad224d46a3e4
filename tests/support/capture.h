// What a piece of the program printed, kept as text for the test to check.
//
// Code that prints through a Reporter gets a CapturedReporter; a whole run,
// which writes to descriptors 1 and 2 itself, runs inside CapturePrinted.
#pragma once

#include <functional>
#include <streambuf>
#include <string>

#include "diag/reporter.h"

namespace varnel::testing {

// Keeps what is written to it, and adds it to a text shared with another
// buffer so that the order of the two streams' writes can be seen.
class KeepingBuffer : public std::streambuf {
 public:
  explicit KeepingBuffer(std::string& both) : both_(both) {}
  // What was written since the last call.
  std::string Take();

 protected:
  int overflow(int c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  std::string text_;
  std::string& both_;
};

// The streams come first, so that they exist before the reporter over them.
struct CapturedStreams {
  std::string both;
  KeepingBuffer outBuffer{both};
  KeepingBuffer errBuffer{both};
  std::ostream outStream{&outBuffer};
  std::ostream errStream{&errBuffer};
};

// A Reporter over two streams kept in memory. TakeOut() and TakeErr() hand over
// what was written to each since they were last asked; Both() is everything
// written to either, in order, since the reporter was made.
class CapturedReporter : private CapturedStreams, public Reporter {
 public:
  explicit CapturedReporter(ReportSettings settings = {})
      : Reporter(outStream, errStream, settings) {}

  std::string TakeOut() { return outBuffer.Take(); }
  std::string TakeErr() { return errBuffer.Take(); }
  const std::string& Both() const { return both; }
};

struct Printed {
  std::string out;
  std::string err;
};

// Runs `body` with standard output and standard error (the descriptors, and
// the C and C++ streams on them) going to temporary files, and gives back
// what was written to each.
Printed CapturePrinted(const std::function<void()>& body);

}  // namespace varnel::testing
