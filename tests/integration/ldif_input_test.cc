// DN lists as ldapsearch writes them, fed to the real binary on standard
// input or with -f: folded DN lines, base64 DNs, and a paged search of more
// objects than the server returns in one page.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

// ldapsearch as the administrator, DNs only, in the form the manual shows.
ProcessResult SearchDns(const std::string& base, const std::string& filter, bool paged = false) {
  std::vector<std::string> argv = {
      "ldapsearch", "-Q", "-Y", "GSSAPI", "-H", SandboxEnv().at("LDAPURI"), "-LLL"};
  if (paged) {
    argv.push_back("-E");
    argv.push_back("pr=1000/noprompt");
  }
  for (const std::string& word : {std::string("-b"), base, filter, std::string("1.1")})
    argv.push_back(word);
  return RunProcess(argv, "", SandboxEnv());
}

// The numbers of the lines that start a record ("dn:" or "dn::").
std::vector<long> RecordLines(const std::string& ldif) {
  std::vector<long> numbers;
  std::istringstream lines(ldif);
  long number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.starts_with("dn:")) numbers.push_back(number);
  }
  return numbers;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(LdifInputIT, FoldedAndBase64DnsStraightFromLdapsearch) {
  const std::string ou = FreshOu("LDIF Input");
  const std::string folded = AddContact(ou, "A contact whose common name is long enough to fold",
                                        "mail: folded@example.com\n");
  const std::string accented =
      AddContact(ou, "J\xC3\xBCrgen M\xC3\xBCller", "mail: juergen@example.com\n");
  ProcessResult search = SearchDns(ou, "(objectClass=contact)");
  ASSERT_EQ(search.status, 0) << search.err;
  // What the test is about: one DN folded across lines, one in base64.
  ASSERT_GT(folded.size(), 76u);
  ASSERT_NE(search.out.find("\n "), std::string::npos) << search.out;
  ASSERT_NE(search.out.find("dn:: "), std::string::npos) << search.out;

  // A record that names no object fails, and is written back as LDIF.
  const std::string gone = "CN=Not There Yet," + ou;
  const std::string input = search.out + "dn: " + gone + "\n";
  const std::string report = ScratchPath("ldif-report");
  const std::string failed = ScratchPath("ldif-failed");
  ProcessResult r = RunVarnel({"-clear", "-cont", "-report", report, "-failed", failed}, input);
  EXPECT_EQ(r.status, 32) << r.out << r.err;
  EXPECT_EQ(ReadValue(folded, "mail"), "");
  EXPECT_EQ(ReadValue(accented, "mail"), "");
  EXPECT_EQ(SummaryNumber(r.out, "Successful    : "), 2) << r.out;
  EXPECT_EQ(r.err.find("WARN"), std::string::npos) << r.err;

  // The report numbers each item by the first line of its record.
  std::vector<long> reported;
  std::vector<std::string> dns;
  std::istringstream lines(ReadFileBytes(report));
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json item = nlohmann::json::parse(line);
    reported.push_back(item["line"].get<long>());
    dns.push_back(item["dn"].get<std::string>());
  }
  EXPECT_EQ(reported, RecordLines(input));
  EXPECT_NE(std::find(dns.begin(), dns.end(), folded), dns.end());
  EXPECT_NE(std::find(dns.begin(), dns.end(), accented), dns.end());
  EXPECT_EQ(ReadFileBytes(failed), "dn: " + gone + "\n\n");
}

TEST(LdifInputIT, PagedSearchOfManyObjectsThroughAFile) {
  constexpr int kObjects = 1100;  // more than the server's page of 1000
  const std::string ou = FreshOu("LDIF Paged");
  std::string ldif;
  for (int i = 0; i < kObjects; ++i) {
    ldif += "dn: CN=Paged " + std::to_string(i) + "," + ou +
            "\nchangetype: add\nobjectClass: contact\nmail: paged" + std::to_string(i) +
            "@example.com\n\n";
  }
  ASSERT_EQ(ApplyLdif(ldif), 0);
  ProcessResult search = SearchDns(ou, "(objectClass=contact)", true);
  ASSERT_EQ(search.status, 0) << search.err;
  ASSERT_EQ(RecordLines(search.out).size(), static_cast<size_t>(kObjects));

  const std::string list = ScratchPath("ldif-paged");
  WriteFile(list, search.out);
  // Standard input is not read with -f, and a stray argument is named.
  ProcessResult r =
      RunVarnel({"-clear", "-unsafe", "-f", list, "paged.ldif"}, "CN=Not Read,DC=varnel,DC=test\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("DN Count: 1100\n"), std::string::npos);
  EXPECT_EQ(SummaryNumber(r.out, "Successful    : "), kObjects) << r.out;
  EXPECT_NE(r.err.find("WARN: Arguments that are not switches are ignored: \"paged.ldif\". "
                       "The DN list is read from " +
                       list + ".\n"),
            std::string::npos)
      << r.err;
  for (int i : {0, 999, 1000, kObjects - 1})
    EXPECT_EQ(ReadValue("CN=Paged " + std::to_string(i) + "," + ou, "mail"), "") << i;
}

// A DN list is read for its DNs only: what a record names (an include:
// file, a value's URL) is never opened, and a folded line is held to the
// line limit, so no list costs unbounded time or memory.
TEST(LdifInputIT, FilesAndUrlsARecordNamesAreNeverOpened) {
  const std::string ou = FreshOu("LDIF Named Files");
  const std::string listed = AddContact(ou, "Listed", "mail: listed@example.com\n");
  const std::string named = AddContact(ou, "Named", "mail: named@example.com\n");
  const std::string included = ScratchPath("ldif-included");
  WriteFile(included, "dn: " + named + "\n");
  const std::string value = ScratchPath("ldif-dn-value");
  WriteFile(value, named);
  std::string folded = "dn: " + named + "\ndescription: x\n";
  for (int i = 0; i < 100000; ++i) folded += " " + std::string(75, 'y') + "\n";
  const std::string input = "dn: " + listed + "\n\ninclude: file://" + included +
                            "\n\ninclude: file:///dev/zero\n\ndn:< file://" + value +
                            "\n\ndn: " + named + "\ndescription:< file:///dev/zero\n\n" + folded;
  RunOptions bounded;
  bounded.timeout = std::chrono::seconds(60);
  ProcessResult r = RunVarnel({"-clear"}, input, Account::kAdmin, bounded);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("DN Count: 1\n"), std::string::npos) << r.out;
  const std::string skipped = "WARN: Skipped the LDIF record at line ";
  EXPECT_NE(r.err.find(skipped + "3, which is not valid LDIF.\n" + skipped +
                       "5, which is not valid LDIF.\n" + skipped + "7, which is not valid LDIF.\n" +
                       skipped + "9, which is not valid LDIF.\n" +
                       "WARN: Skipped an input line longer than 10239 characters.\n" + skipped +
                       "12, which holds a line that was skipped.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadValue(listed, "mail"), "");
  EXPECT_EQ(ReadValue(named, "mail"), "named@example.com");
}

}  // namespace
}  // namespace varnel::integration
