// Preview mode's comment lines, the status line that lines on its terminal
// erase and draw again, and output that could not be written.
#include "diag/reporter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/full_buffer.h"

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

// Standard error is the terminal; standard output goes to a file.
TEST(ReporterTest, StatusLineIsErasedForALineOnTheTerminalAndDrawnAgainBelowIt) {
  std::ostringstream out, err;
  Reporter reporter(out, err);
  reporter.ShowStatus("ignored");  // no status line yet
  EXPECT_EQ(err.str(), "");
  reporter.EnableStatusLine();
  reporter.ShowStatus("1/60");
  reporter.err() << "WARN: w" << EndLine;
  reporter.err() << "WARN: ";
  reporter.err() << "v" << std::flush;  // not ended: the line stays erased
  reporter.err() << EndLine;
  reporter.ShowStatus("2/60");
  reporter.out() << "line" << EndLine;  // elsewhere: the line stays drawn
  reporter.data() << "dn: x\n" << std::flush;
  reporter.ClearStatus();
  reporter.err() << "ERROR: e" << EndLine;  // cleared: not drawn again
  reporter.ClearStatus();
  EXPECT_EQ(err.str(),
            "\r1/60\033[K\r\033[KWARN: w\n\r1/60\033[K\r\033[KWARN: v\n\r1/60\033[K"
            "\r2/60\033[K\r\033[KERROR: e\n");
  EXPECT_EQ(out.str(), "line\ndn: x\n");
}

// Both streams on one terminal: a partial line on either holds the meter back.
TEST(ReporterTest, StatusLineWithStandardOutputOnTheTerminalToo) {
  std::ostringstream out, err;
  Reporter reporter(out, err);
  reporter.CommentOutput();
  reporter.EnableStatusLine(true);
  reporter.ShowStatus("1/60");
  reporter.out() << "   DN: x..." << std::flush;
  reporter.ShowStatus("2/60");  // the line is open: kept for its end
  EXPECT_EQ(err.str(), "\r1/60\033[K\r\033[K");
  reporter.out() << EndLine;
  reporter.data() << "dn: x\n\n" << std::flush;
  EXPECT_EQ(err.str(), "\r1/60\033[K\r\033[K\r2/60\033[K\r\033[K\r2/60\033[K");
  EXPECT_EQ(out.str(), "#    DN: x...\ndn: x\n\n");
}

// Holds what is written until it is flushed.
struct HeldBuffer : std::stringbuf {
  int sync() override {
    flushed += str();
    str("");
    return 0;
  }
  std::string flushed;
};

TEST(ReporterTest, ErrorLineFlushesStandardOutputFirstWithTheStatusLineToo) {
  HeldBuffer held;
  std::ostream out(&held);
  std::ostringstream err;
  err.tie(&out);  // as the run's standard error is
  Reporter reporter(out, err);
  reporter.EnableStatusLine();
  reporter.out() << "   DN: x...";
  reporter.err() << "ERROR: e" << EndLine;
  EXPECT_EQ(held.flushed, "   DN: x...");
}

// Lines held at start-up come out as if they had been written at once.
TEST(ReporterTest, HeldLinesAreShownInTheOrderTheyWereAdded) {
  std::ostringstream both;
  Reporter reporter(both, both);
  ItemLines lines = reporter.Lines();
  lines.Out("Looking for Server...");
  lines.Err("LDAP_SEARCH_S: 0x1\n");
  lines.Err("\n");
  lines.Out("ERROR: not found");
  lines.ErrLine("Extended Error: (x)");
  reporter.Show(lines);
  EXPECT_EQ(both.str(),
            "Looking for Server...\nLDAP_SEARCH_S: 0x1\n\nERROR: not found\nExtended Error: (x)\n");
  EXPECT_EQ(lines.out(), "Looking for Server...\nERROR: not found\n");
}

using varnel::testing::FullBuffer;

TEST(ReporterTest, AFailedWriteOnEitherStreamIsLostOutput) {
  enum Writer { kOut, kData, kErr };
  for (const bool statusLine : {false, true}) {
    for (const Writer writer : {kOut, kData, kErr}) {
      SCOPED_TRACE(::testing::Message() << "status line " << statusLine << ", writer " << writer);
      FullBuffer full(4);
      std::ostringstream good;
      std::ostream failing(&full);
      Reporter reporter(writer == kErr ? good : failing, writer == kErr ? failing : good);
      reporter.CommentOutput();
      if (statusLine) reporter.EnableStatusLine(true);
      EXPECT_FALSE(reporter.lostOutput());
      std::ostream& stream = writer == kOut    ? reporter.out()
                             : writer == kData ? reporter.data()
                                               : reporter.err();
      stream << "a long line" << EndLine;
      EXPECT_TRUE(reporter.lostOutput());
    }
  }
}

}  // namespace
}  // namespace varnel
