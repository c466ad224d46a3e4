// The lines one piece of work shows, held as text: what goes to standard
// output and what goes to standard error, each in the order added, with the
// quiet (-q) and debug (-d) settings that decide which are kept. A work
// item's lines are held so while it is planned, written and recovered; the
// run shows them in the item's turn, standard output first. Nothing here
// touches a stream.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel {

class ItemLines {
 public:
  bool quiet = false;  // the informational lines are left out
  bool debug = false;  // the "DEBUG:" traces are kept

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

  // Standard output: text as it is, or one line.
  void OutText(std::string_view text) { out_.append(text); }
  void Out(std::string_view line) {
    out_.append(line);
    out_ += '\n';
  }
  // One informational line of standard output, left out when quiet.
  void Info(std::string_view line) {
    if (!quiet) Out(line);
  }
  // One trace line of standard output, kept only with debug.
  void Trace(std::string_view line) {
    if (debug) Out(line);
  }
  // Standard error: text as it is (a line brings its own line feed), or one
  // line.
  void Err(std::string_view text) {
    if (text.empty()) return;
    if (errAt_.empty() || errAt_.back().first != out_.size())
      errAt_.emplace_back(out_.size(), err_.size());
    err_.append(text);
  }
  void ErrLine(std::string_view line) {
    Err(line);
    Err("\n");
  }
  // Gives the text of both streams, piece by piece, in the order it was
  // added: `out(text)` and `err(text)`.
  template <typename OutFn, typename ErrFn>
  void InOrder(OutFn out, ErrFn err) const {
    size_t outDone = 0;
    for (size_t i = 0; i < errAt_.size(); ++i) {
      const auto [outBefore, errFrom] = errAt_[i];
      const size_t errTo = i + 1 < errAt_.size() ? errAt_[i + 1].second : err_.size();
      if (outBefore > outDone) out(std::string_view(out_).substr(outDone, outBefore - outDone));
      err(std::string_view(err_).substr(errFrom, errTo - errFrom));
      outDone = outBefore;
    }
    if (out_.size() > outDone) out(std::string_view(out_).substr(outDone));
  }

 private:
  std::string out_;
  std::string err_;
  // Where standard error was added to: how much standard output came before,
  // and where in err_ that text begins.
  std::vector<std::pair<size_t, size_t>> errAt_;
};

}  // namespace varnel
