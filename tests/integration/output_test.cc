// Where a run's output goes: the progress meter stays drawn on its terminal
// while standard output goes to a file, and output that cannot be written
// (a full disk, a reader that has gone) ends the run with an error line and
// status 255 instead of a success.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

const std::vector<std::string> kPlan = {"-whatif", "-clear", "-unsafe"};

// Sixty contacts with a mail address: each gives a preview record. A
// preview changes nothing, so every test reads the same ones.
const std::string& SixtyContacts() {
  static const std::string dns = [] {
    const std::string ou = FreshOu("output-plan");
    std::string ldif, list;
    for (int i = 0; i < 60; ++i) {
      const std::string cn = "Output Contact " + std::to_string(i);
      const std::string dn = "CN=" + cn + "," + ou;
      ldif += "dn: " + dn + "\nchangetype: add\nobjectClass: contact\ncn: " + cn +
              "\nmail: output" + std::to_string(i) + "@example.com\n\n";
      list += dn + "\n";
    }
    EXPECT_EQ(ApplyLdif(ldif), 0);
    return list;
  }();
  return dns;
}

// Runs the binary under bash, which connects its standard output as `shell`
// says ("$@" is the varnel command line).
ProcessResult RunThroughShell(const std::string& shell, const std::string& input) {
  std::vector<std::string> argv = {"/bin/bash", "-c", "set -o pipefail; " + shell, "bash"};
  const std::vector<std::string> varnel = VarnelCommand(kPlan);
  argv.insert(argv.end(), varnel.begin(), varnel.end());
  return RunProcess(argv, input, SandboxEnv());
}

TEST(OutputIT, MeterStaysDrawnWhileStandardOutputGoesToAFile) {
  const ProcessResult shown = RunVarnelOnTerminal(kPlan, SixtyContacts());
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(Count(shown.out, "\ndn: "), 60u);
  // Drawn over in place each time and erased once, at the end.
  const std::string erase = "\r\033[K";
  EXPECT_EQ(Count(shown.err, erase), 1u) << shown.err;
  ASSERT_GT(shown.err.size(), erase.size());
  EXPECT_EQ(shown.err.substr(shown.err.size() - erase.size()), erase);
  const std::string drawn = shown.err.substr(0, shown.err.size() - erase.size());
  const std::string last = drawn.substr(drawn.rfind('\r') + 1);
  EXPECT_NE(last.find("/60 done, 0 errors, "), std::string::npos) << last;
  EXPECT_EQ(last.substr(last.size() - 3), "\033[K");
}

TEST(OutputIT, LostStandardOutputFailsTheRun) {
  const std::string& dns = SixtyContacts();
  const ProcessResult written = RunVarnel(kPlan, dns);
  ASSERT_EQ(written.status, 0) << written.err;

  const ProcessResult full = RunThroughShell("\"$@\" > /dev/full", dns);
  EXPECT_EQ(full.status, 255);
  EXPECT_EQ(full.err,
            written.err + "ERROR: Cannot write to standard output: No space left on device\n");

  // More than the pipe holds, so the writer is still at it when head has gone.
  std::string many;
  for (int i = 0; i < 20; ++i) many += dns;
  const ProcessResult cut = RunThroughShell("\"$@\" | head -n 1 > /dev/null", many);
  EXPECT_EQ(cut.status, 255) << cut.err;
  EXPECT_EQ(Count(cut.err, "ERROR: Cannot write to standard output: Broken pipe\n"), 1u) << cut.err;
}

}  // namespace
}  // namespace varnel::integration
