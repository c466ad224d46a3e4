// Hostile and careless input with the real binary: binary junk, NUL bytes,
// over-long lines, CR LF line ends, texts that are not DNs, closed standard
// descriptors and huge arguments. Every run must end on its own within a
// bounded time, without a signal, with clear messages and the right counts.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <thread>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;

constexpr size_t kLineLimit = 10240;  // the line buffer, line feed included
const std::string kTooLong = "WARN: Skipped an input line longer than 10239 characters.\n";
const std::string kHoldsNul = "WARN: Skipped an input line holding a NUL byte.\n";

RunOptions Bounded(int limitSeconds = 60) {
  RunOptions options;
  options.timeout = seconds(limitSeconds);
  return options;
}

// A run that ended by itself, in time, without a signal.
void ExpectCleanEnd(const ProcessResult& r) {
  EXPECT_FALSE(r.timedOut) << "still running after " << r.elapsed.count() << " ms";
  EXPECT_EQ(r.termSignal, 0) << r.err;
}

// What the input rules make of a byte stream: lines end at a line feed (a
// carriage return before it is dropped), empty lines are skipped silently,
// lines that fill the buffer and lines holding a NUL byte with a warning.
struct InputCounts {
  size_t items = 0;
  size_t tooLong = 0;
  size_t withNul = 0;
};

InputCounts CountInput(const std::string& input) {
  InputCounts counts;
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    bool lineFeed = end != std::string::npos;
    if (!lineFeed) end = input.size();
    std::string line = input.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() + (lineFeed ? 1 : 0) >= kLineLimit) {
      ++counts.tooLong;
    } else if (line.empty()) {
    } else if (line.find('\0') != std::string::npos) {
      ++counts.withNul;
    } else if (line.substr(0, line.find('\t')).find_first_not_of('"') == std::string::npos) {
      // A DN field that is empty once quotes are gone: skipped as empty.
    } else {
      ++counts.items;
    }
  }
  return counts;
}

std::string Junk(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string junk;
  for (size_t i = 0; i < size; ++i) junk.push_back(static_cast<char>(byte(random)));
  return junk;
}

TEST(InputIT, BinaryJunkIsCountedAndNoneOfItSucceeds) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::string junk = Junk(48 * 1024, seed);
    InputCounts expected = CountInput(junk);
    ASSERT_GT(expected.items, 0u);
    ASSERT_GT(expected.withNul, 0u);

    // An update without switches writes nothing; junk names no object, so
    // the first item's read fails and the run stops there.
    ProcessResult upd = RunVarnel({"-upd", "-unsafe"}, junk, Account::kAdmin, Bounded());
    ExpectCleanEnd(upd);
    EXPECT_TRUE(upd.status == 32 || upd.status == 34) << upd.status;
    EXPECT_NE(upd.out.find("DN Count: " + std::to_string(expected.items) + "\n"),
              std::string::npos);
    EXPECT_EQ(Count(upd.err, kHoldsNul), expected.withNul);
    EXPECT_EQ(Count(upd.err, kTooLong), expected.tooLong);

    // Clearing reads each object first: junk names none, so every item fails.
    // A line that starts with a TAB is no item: its empty DN would name the
    // root of the directory.
    ProcessResult clear =
        RunVarnel({"-clear", "-cont", "-unsafe", "-q"}, junk, Account::kAdmin, Bounded());
    ExpectCleanEnd(clear);
    EXPECT_NE(clear.status, 0);
    const long failing = static_cast<long>(expected.items);
    EXPECT_EQ(SummaryNumber(clear.out, "DNs Processed : "), static_cast<long>(expected.items))
        << clear.out;
    EXPECT_EQ(SummaryNumber(clear.out, "Successful    : "), 0);
    EXPECT_EQ(SummaryNumber(clear.out, "Errors        : "), failing);
    EXPECT_EQ(Count(clear.err, "LDAP_SEARCH_S: 0x"), static_cast<size_t>(failing))
        << clear.err.substr(0, 2000);
  }
}

TEST(InputIT, LinesWithNulBytesAreSkippedWithAWarning) {
  std::string ou = FreshOu("input-nul");
  std::string a = AddContact(ou, "Nul A", "mail: a@example.com\n");
  std::string b = AddContact(ou, "Nul B", "mail: b@example.com\n");
  std::string c = AddContact(ou, "Nul C", "mail: c@example.com\n");
  // A NUL inside c's DN would cut it short to "CN=Nul C" in the library, so
  // the line must not reach it; nor may a NUL in the data field.
  std::string input = a + "\n" + std::string("CN=Nul C\0,", 10) + ou + "\n" + c +
                      std::string("\tx\0y\n", 5) + b + "\n" + std::string("\0\0\0\n", 4);
  ProcessResult r = RunVarnel({"-clear"}, input, Account::kAdmin, Bounded());
  ExpectCleanEnd(r);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("DN Count: 2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nThe command completed with errors.\n"), std::string::npos) << r.out;
  EXPECT_EQ(Count(r.err, kHoldsNul), 3u) << r.err;
  EXPECT_EQ(ReadValue(a, "mail"), "");
  EXPECT_EQ(ReadValue(b, "mail"), "");
  EXPECT_EQ(ReadValue(c, "mail"), "c@example.com");
}

TEST(InputIT, OverLongLinesAreSkippedAndReadingGoesOn) {
  std::string ou = FreshOu("input-long");
  std::string a = AddContact(ou, "Long A", "mail: a@example.com\n");
  std::string b = AddContact(ou, "Long B", "mail: b@example.com\n");
  std::string megabyte(1024 * 1024, 'a');
  ProcessResult r = RunVarnel({"-clear"}, a + "\n" + megabyte + "\n" + b + "\n" + megabyte,
                              Account::kAdmin, Bounded());
  ExpectCleanEnd(r);
  EXPECT_EQ(r.status, 255) << r.err;
  EXPECT_NE(r.out.find("DN Count: 2\n"), std::string::npos) << r.out;
  EXPECT_EQ(Count(r.err, kTooLong), 2u) << r.err;
  EXPECT_EQ(Count(r.out, "   DN: "), 2u);
  EXPECT_EQ(ReadValue(a, "mail"), "");
  EXPECT_EQ(ReadValue(b, "mail"), "");

  // The limit exactly: 10238 characters and the line feed fit, one more does not.
  std::string fits(kLineLimit - 2, 'x'), fillsBuffer(kLineLimit - 1, 'x');
  ProcessResult edge = RunVarnel({"-upd"}, fits + "\n" + fillsBuffer + "\n" + fits + "\r\n",
                                 Account::kAdmin, Bounded());
  ExpectCleanEnd(edge);
  EXPECT_NE(edge.out.find("DN Count: 2\n"), std::string::npos) << edge.out.substr(0, 300);
  EXPECT_EQ(Count(edge.err, kTooLong), 1u);
}

TEST(InputIT, CrLfLineEndsAreNotPartOfTheDnOrTheData) {
  std::string ou = FreshOu("input-crlf");
  std::string a = AddContact(ou, "Crlf A", "mail: a@example.com\n");
  std::string b = AddContact(ou, "Crlf B", "mail: b@example.com\n");
  ProcessResult r = RunVarnel({"-clear"}, a + "\r\n\r\n" + b + "\r\n", Account::kAdmin, Bounded());
  ExpectCleanEnd(r);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("DN Count: 2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("   DN: " + a + "...\n   DN: " + b + "...\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadValue(a, "mail"), "");
  EXPECT_EQ(ReadValue(b, "mail"), "");

  std::string x = AddContact(ou, "Crlf X"), y = AddContact(ou, "Crlf Y");
  ProcessResult me = RunVarnel({"-me", "x@example.com", "-q"},
                               x + "\r\n" + y + "\ty@example.org\r\n", Account::kAdmin, Bounded());
  ExpectCleanEnd(me);
  ASSERT_EQ(me.status, 0) << me.out << me.err;
  EXPECT_EQ(ReadValue(x, "targetAddress"), "SMTP:x@example.com");
  EXPECT_EQ(ReadValue(y, "targetAddress"), "SMTP:y@example.org");
}

TEST(InputIT, TextsThatAreNotDnsFailOneByOne) {
  std::string ou = FreshOu("input-notdn");
  std::string kept = AddContact(ou, "Not Dn Kept", "mail: kept@example.com\n");
  const std::vector<std::string> bad = {
      "not a dn",
      "cn=",
      "=,=",
      ",,,,",
      "\\",
      "CN=" + std::string(5000, 'r') + "," + ou,
      std::string(9000, '='),
      "CN=Zo\xc3\xab \xc3\x9cnicode \xe2\x82\xac," + ou,  // valid UTF-8, no such object
      "CN=J\xfcrgen," + ou,                               // not UTF-8
      "CN=\x01\x02\x7f," + ou,
      "CN=a+CN=b," + ou,
      "CN=Not Dn Kept,OU=input-notdn,OU=Nowhere," + DomainDn(),
  };
  std::string input;
  for (const std::string& line : bad) input += line + "\n";
  ProcessResult r =
      RunVarnel({"-clear", "-cont", "-safety", "100"}, input, Account::kAdmin, Bounded());
  ExpectCleanEnd(r);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("DN Count: " + std::to_string(bad.size()) + "\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(SummaryNumber(r.out, "Errors        : "), static_cast<long>(bad.size())) << r.out;
  EXPECT_EQ(SummaryNumber(r.out, "Successful    : "), 0);
  EXPECT_EQ(Count(r.err, "LDAP_SEARCH_S: 0x"), bad.size()) << r.err;
  for (const std::string& line : bad)
    EXPECT_NE(r.out.find("   DN: " + line + "..."), std::string::npos);
  EXPECT_EQ(ReadValue(kept, "mail"), "kept@example.com");

  // Without -cont the first one ends the run.
  ProcessResult stop = RunVarnel({"-clear", "-safety", "100"}, input, Account::kAdmin, Bounded());
  ExpectCleanEnd(stop);
  EXPECT_EQ(stop.status, 0x22) << stop.err;  // invalid DN syntax
  EXPECT_NE(stop.out.find("ERROR: Too many Errors, stopping...\n\nDNs to Process: 12\n"
                          "DNs Processed : 1\n"),
            std::string::npos)
      << stop.out;

  // A DN in UTF-8 that does exist is found and changed.
  std::string unicode =
      AddContact(ou, "Zo\xc3\xab \xc3\x9cnicode \xe2\x82\xac", "mail: z@example.com\n");
  ProcessResult found = RunVarnel({"-clear"}, unicode + "\n", Account::kAdmin, Bounded());
  ExpectCleanEnd(found);
  EXPECT_EQ(found.status, 0) << found.err;
  EXPECT_NE(found.out.find("   DN: " + unicode + "...\n"), std::string::npos) << found.out;
  EXPECT_EQ(ReadValue(unicode, "mail"), "");
}

TEST(InputIT, InputArrivingInPartsIsJoined) {
  std::string ou = FreshOu("input-parts");
  std::string a = AddContact(ou, "Parts A", "mail: a@example.com\n");
  std::string b = AddContact(ou, "Parts B", "mail: b@example.com\n");
  std::unique_ptr<LiveProcess> varnel = StartVarnel({"-clear"});
  // The first part ends in the middle of b's DN.
  varnel->Write(a + "\n" + b.substr(0, 10));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(varnel->Output().find("DN Count"), std::string::npos);  // still reading
  varnel->Write(b.substr(10) + "\n");
  ProcessResult r = varnel->Finish(seconds(60));
  ExpectCleanEnd(r);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("DN Count: 2\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadValue(a, "mail"), "");
  EXPECT_EQ(ReadValue(b, "mail"), "");
}

// A standard descriptor that is closed when varnel starts must not be taken
// over by the directory connection: the list would be read from the server,
// or progress and error lines written into the LDAP session.
TEST(InputIT, ClosedStandardDescriptors) {
  RunOptions options = Bounded(60);
  options.closeStdin = true;
  ProcessResult noInput = RunVarnel({"-clear"}, "", Account::kAdmin, options);
  ExpectCleanEnd(noInput);
  EXPECT_EQ(noInput.status, 0) << noInput.err;
  EXPECT_NE(noInput.out.find("DN Count: 0\n"), std::string::npos) << noInput.out;
  EXPECT_NE(noInput.out.find("\nThe command completed successfully.\n\n"), std::string::npos);

  std::string ou = FreshOu("input-closed");
  std::string a = AddContact(ou, "Closed A", "mail: a@example.com\n");
  std::string b = AddContact(ou, "Closed B", "mail: b@example.com\n");
  options = Bounded(60);
  options.closeStdout = true;
  ProcessResult noOutput = RunVarnel({"-clear"}, a + "\n" + b + "\n", Account::kAdmin, options);
  ExpectCleanEnd(noOutput);
  EXPECT_EQ(noOutput.status, 0) << noOutput.err;
  EXPECT_EQ(noOutput.err.find("LDAP_"), std::string::npos) << noOutput.err;
  EXPECT_EQ(ReadValue(a, "mail"), "");
  EXPECT_EQ(ReadValue(b, "mail"), "");

  std::string c = AddContact(ou, "Closed C", "mail: c@example.com\n");
  options = Bounded(60);
  options.closeStderr = true;
  ProcessResult noErrors = RunVarnel({"-clear", "-cont"}, "CN=Missing," + ou + "\n" + c + "\n",
                                     Account::kAdmin, options);
  ExpectCleanEnd(noErrors);
  EXPECT_EQ(noErrors.status, 0x20) << noErrors.out;  // the missing object's
  EXPECT_NE(noErrors.out.find("Successful    : 1\nErrors        : 1\n"), std::string::npos)
      << noErrors.out;
  EXPECT_EQ(ReadValue(c, "mail"), "");
}

TEST(InputIT, HugeArgumentsGiveClearErrors) {
  std::string ou = FreshOu("input-args");
  std::string contact = AddContact(ou, "Args Contact", "mail: args@example.com\n");
  std::string user = AddUser(ou, "Args User");
  const std::string big(100 * 1024, 'x');
  const std::string digits(100 * 1024, '9');
  const std::string third(33 * 1024, '9');  // one argument may hold at most 128 KB

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string expected;  // a text of standard output and error together
  };
  const std::vector<Case> cases = {
      {{"-" + big}, 1, "ERROR: Bad Command Line Arg(s)\nERROR:  " + big + "\n"},
      {{"-clear", "-b", "CN=" + big + "," + ou}, 0x20, "LDAP_SEARCH_S: 0x20\n"},
      {{"-clear", "-b", big}, 0x22, "LDAP_SEARCH_S: 0x22\n"},
      {{"-upd", "-quota", big, "-b", user}, 1, "ERROR: Bad quota values\n"},
      {{"-upd", "-quota", third + ":" + third + ":" + third, "-b", user},
       1,
       "ERROR: Bad quota values\n"},
      {{"-cr", big, "-b", user}, 255, " - No valid homeMDB value.\n"},
      {{"-cr", "SRV1:SG1:" + big, "-b", user}, 255, " - No valid homeMDB value.\n"},
      {{"-cr", "SRV1:SG1:DB1", "-delim", big, "-b", user}, 255, " - No valid homeMDB value.\n"},
      {{"-move", big, "-b", user}, 255, " - No valid homeMDB value.\n"},
      {{"-clear", "-h", big, "-b", contact}, 255, "Terminating program.\n"},
      {{"-clear", "-h", "localhost:" + digits, "-b", contact}, 1, "ERROR: Bad value for -h: "},
      {{"-clear", "-safety", digits, "-upto", digits, "-b", contact},
       1,
       "ERROR: Bad value for -safety: 999"},
      {{"-me", "a@example.com", "-internetencoding", big, "-b", user},
       1,
       "ERROR: Bad value for -internetencoding: xxx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.at(c.args.size() > 1 ? 1 : 0).substr(0, 40));
    ProcessResult r = RunVarnel(c.args, "", Account::kAdmin, Bounded());
    ExpectCleanEnd(r);
    EXPECT_EQ(r.status, c.status) << r.out.substr(0, 500) << r.err.substr(0, 500);
    EXPECT_NE((r.out + r.err).find(c.expected), std::string::npos)
        << r.out.substr(0, 500) << r.err.substr(0, 500);
  }
  EXPECT_EQ(ReadValue(contact, "mail"), "args@example.com");  // no run with a bad value went on
  EXPECT_EQ(ReadValue(user, "mDBUseDefaults"), "");           // no quota was written

  // A 100 KB target address goes to the directory whole, not cut or mangled.
  std::string target = AddContact(ou, "Args Target");
  ProcessResult me =
      RunVarnel({"-me", big + "@example.com", "-b", target}, "", Account::kAdmin, Bounded());
  ExpectCleanEnd(me);
  EXPECT_EQ(me.status, 0) << me.err.substr(0, 500);
  EXPECT_EQ(ReadValue(target, "targetAddress"), "SMTP:" + big + "@example.com");

  // A 100 KB input delimiter simply never matches: each line is a DN.
  ProcessResult fdelim =
      RunVarnel({"-clear", "-fdelim", big}, contact + "\n", Account::kAdmin, Bounded());
  ExpectCleanEnd(fdelim);
  EXPECT_EQ(fdelim.status, 0) << fdelim.err;
  EXPECT_NE(fdelim.out.find("   DN: " + contact + "...\n"), std::string::npos) << fdelim.out;
}

}  // namespace
}  // namespace varnel::integration
