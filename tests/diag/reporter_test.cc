// Preview mode's comment lines and the status line that other output erases.
#include "diag/reporter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace varnel {
namespace {

TEST(ReporterTest, PreviewTurnsEveryOutputLineIntoACommentButNotTheData) {
  std::ostringstream out, err;
  Reporter reporter(out, err);
  reporter.CommentOutput();
  reporter.out() << "Using server: dc1" << EndLine << EndLine << "   DN: x..." << std::flush;
  reporter.out() << EndLine;
  reporter.data() << "dn: x\nchangetype: modify\n\n";
  reporter.err() << "ERROR: e" << EndLine;
  EXPECT_EQ(out.str(), "# Using server: dc1\n#\n#    DN: x...\ndn: x\nchangetype: modify\n\n");
  EXPECT_EQ(err.str(), "ERROR: e\n");
}

TEST(ReporterTest, StatusLineIsErasedBeforeAnyOtherOutput) {
  std::ostringstream out, err;
  Reporter reporter(out, err);
  reporter.ShowStatus("ignored");  // no status line yet
  EXPECT_EQ(err.str(), "");
  reporter.EnableStatusLine();
  reporter.ShowStatus("1/60");
  reporter.err() << "WARN: w" << EndLine;
  reporter.err() << "WARN: v" << EndLine;  // already erased: no second erase
  reporter.ShowStatus("2/60");
  reporter.out() << "line" << EndLine;
  reporter.ShowStatus("3/60");
  reporter.ClearStatus();
  reporter.ClearStatus();
  EXPECT_EQ(err.str(),
            "\r1/60\033[K\r\033[KWARN: w\nWARN: v\n\r2/60\033[K\r\033[K\r3/60\033[K\r\033[K");
  EXPECT_EQ(out.str(), "line\n");
}

}  // namespace
}  // namespace varnel
