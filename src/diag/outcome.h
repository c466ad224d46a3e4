// The result of one piece of work: a code, the domain the code belongs to and
// the text of the error line that reports it. Every action and the start-up
// end in one; ExitStatus turns the run's last failure into the process exit
// status, the same way for every action.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace varnel {

enum class OutcomeDomain {
  kVarnel,   // the tool's own: -1 for a failed start-up or no mail database, 1 for a bad command
             // line
  kLdap,     // an LDAP result code in the tool's numbering
  kHResult,  // a directory object service (component-object) result code
};

class Outcome {
 public:
  Outcome() = default;  // success
  static Outcome Ok() { return Outcome(); }
  static Outcome Varnel(int32_t code, std::string text = "") {
    return Outcome(code, OutcomeDomain::kVarnel, std::move(text));
  }
  static Outcome Ldap(int32_t code, std::string text = "") {
    return Outcome(code, OutcomeDomain::kLdap, std::move(text));
  }
  static Outcome HResult(int32_t code, std::string text = "") {
    return Outcome(code, OutcomeDomain::kHResult, std::move(text));
  }

  bool ok() const { return code_ == 0; }
  int32_t code() const { return code_; }
  OutcomeDomain domain() const { return domain_; }
  // The error line as printed, without its line end; may be empty.
  const std::string& text() const { return text_; }

 private:
  Outcome(int32_t code, OutcomeDomain domain, std::string text)
      : code_(code), domain_(domain), text_(std::move(text)) {}

  int32_t code_ = 0;
  OutcomeDomain domain_ = OutcomeDomain::kVarnel;
  std::string text_;
};

// The exit status of a run that ended in `outcome`: 0 for success; an LDAP
// code as it is (1..255); a directory-object code that wraps a Win32 error of
// the directory (0x8007xxxx) exits with that error's LDAP code, so that "no
// such object" is 32 and "access denied" 50 whichever way it was met; the
// tool's -1 is 255; anything that does not fit in 8 bits is 254.
int ExitStatus(const Outcome& outcome);

}  // namespace varnel
