// Where a run's output goes: the progress meter stays drawn on its terminal
// while standard output goes to a file.
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

}  // namespace
}  // namespace varnel::integration
