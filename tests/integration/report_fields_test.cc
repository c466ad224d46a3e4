// What a run writes and what its report says about each item: only
// recipients are changed, a write that would leave an object as it is is not
// sent, and each report line names the action, the attributes the run
// changed and the server's diagnostic of a failure (which -v shows).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "integration/sandbox_harness.h"
#include "text/string_helpers.h"

namespace varnel::integration {
namespace {

using Entry = std::map<std::string, std::vector<std::string>>;

// What ldapsearch shows of an object, less what the server changes on every
// write.
Entry Snapshot(const std::string& dn) {
  Entry entry = ReadEntry(dn);
  entry.erase("usnchanged");
  entry.erase("whenchanged");
  for (auto& [name, values] : entry) std::sort(values.begin(), values.end());
  return entry;
}

// The names (lower-cased) of the attributes that differ between two reads.
std::set<std::string> Differing(const Entry& before, const Entry& after) {
  std::set<std::string> names;
  for (const auto& [name, values] : before)
    if (auto it = after.find(name); it == after.end() || it->second != values) names.insert(name);
  for (const auto& [name, values] : after)
    if (before.count(name) == 0) names.insert(name);
  return names;
}

std::vector<nlohmann::json> ReportLines(const std::string& path) {
  std::vector<nlohmann::json> lines;
  std::istringstream text(ReadFileBytes(path));
  for (std::string line; std::getline(text, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

std::set<std::string> Names(const nlohmann::json& array) {
  std::set<std::string> names;
  for (const auto& name : array) names.insert(LowerCase(name.get<std::string>()));
  return names;
}

// A run with a report; the report's lines come back parsed.
struct ReportedRun {
  ProcessResult result;
  std::vector<nlohmann::json> lines;
};
ReportedRun RunReported(std::vector<std::string> args, const std::string& input = "",
                        Account account = Account::kAdmin) {
  const std::string report = ScratchPath("fields.jsonl");
  args.push_back("-report");
  args.push_back(report);
  ReportedRun run{RunVarnel(args, input, account), {}};
  run.lines = ReportLines(report);
  unlink(report.c_str());
  return run;
}

TEST(ReportFieldsIT, OnlyRecipientsAreWritten) {
  const std::string container = FreshOu("fields-recipients");
  const std::string mdb = SandboxFact("VARNEL_SANDBOX_MDB");
  const std::string mdbLegacyDn = ReadValue(mdb, "legacyExchangeDN");
  ASSERT_NE(mdbLegacyDn, "");
  struct Case {
    std::vector<std::string> args;
    std::string dn;
    std::string objectClass;
  };
  const std::vector<Case> cases = {
      {{"-clear"}, mdb, "msExchPrivateMDB"},
      {{"-upd", "-quota", "1:2:3"}, mdb, "msExchPrivateMDB"},
      {{"-upd", "-quota", "1:2:3"}, container, "organizationalUnit"},
      {{"-upd", "-hfal"}, container, "organizationalUnit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.dn);
    const Entry before = Snapshot(c.dn);
    std::vector<std::string> args = c.args;
    args.push_back("-b");
    args.push_back(c.dn);
    ProcessResult r = RunVarnel(args);
    EXPECT_EQ(r.status, 65) << r.out << r.err;
    EXPECT_NE(r.err.find(" - ERROR: Not a recipient (objectClass " + c.objectClass +
                         "); nothing was changed.\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("\nThe command completed with errors.\n"), std::string::npos) << r.out;
    EXPECT_EQ(Snapshot(c.dn), before);
  }
  EXPECT_EQ(ReadValue(mdb, "legacyExchangeDN"), mdbLegacyDn);

  // A change that sends nothing refuses nothing, and is reported unchanged.
  for (const std::string& dn : {mdb, container}) {
    const std::string usn = ReadValue(dn, "uSNChanged");
    const ReportedRun run = RunReported({"-upd", "-b", dn});
    EXPECT_EQ(run.result.status, 0) << dn << run.result.out << run.result.err;
    EXPECT_EQ(run.result.err.find("Not a recipient"), std::string::npos) << run.result.err;
    ASSERT_EQ(run.lines.size(), 1u) << dn;
    EXPECT_EQ(run.lines[0]["outcome"], "unchanged") << run.lines[0];
    EXPECT_EQ(ReadValue(dn, "uSNChanged"), usn) << dn;
  }
}

// The mailbox and mail-enable actions refuse an object that is no recipient
// with the status every other action gives it, their own lines unchanged.
TEST(ReportFieldsIT, EveryActionFailsANonRecipientWith65) {
  const std::string container = FreshOu("fields-not-recipient");
  const std::string database = SandboxFact("VARNEL_SANDBOX_MDB");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-cr", "SRV1:SG1:DB1"}, " - No MailBox Create function for this object type.\n"},
      {{"-move", "SRV1:SG1:DB1"}, " - No MailBox Move function for this object type.\n"},
      {{"-me", "x@example.com"}, " - No MailEnable function for this object type.\n"},
  };
  for (const auto& [action, line] : cases) {
    for (const std::string& dn : {container, database}) {
      SCOPED_TRACE(action.front() + " " + dn);
      const Entry before = Snapshot(dn);
      std::vector<std::string> args = action;
      args.insert(args.end(), {"-b", dn});
      const ReportedRun run = RunReported(args);
      EXPECT_EQ(run.result.status, 65) << run.result.out << run.result.err;
      EXPECT_NE(run.result.out.find("..." + line), std::string::npos) << run.result.out;
      ASSERT_EQ(run.lines.size(), 1u);
      EXPECT_EQ(run.lines[0]["outcome"], "failed") << run.lines[0];
      EXPECT_EQ(run.lines[0]["status"], 65) << run.lines[0];
      EXPECT_EQ(Snapshot(dn), before);
    }
  }
}

TEST(ReportFieldsIT, AnUpdateRunTwiceWritesOnce) {
  const std::string ou = FreshOu("fields-twice");
  std::vector<std::string> dns;
  for (int i = 0; i < 4; ++i) dns.push_back(AddUser(ou, "Twice " + std::to_string(i)));
  const std::vector<std::string> args = {"-upd", "-quota", "100:200:300", "-hfal"};

  const ReportedRun first = RunReported(args, Lines(dns));
  ASSERT_EQ(first.result.status, 0) << first.result.out << first.result.err;
  ASSERT_EQ(first.lines.size(), dns.size());
  for (const auto& line : first.lines) EXPECT_EQ(line["outcome"], "ok") << line;

  std::vector<std::string> usns;
  for (const std::string& dn : dns) usns.push_back(ReadValue(dn, "uSNChanged"));
  const ReportedRun second = RunReported(args, Lines(dns));
  EXPECT_EQ(second.result.status, 0) << second.result.out << second.result.err;
  EXPECT_EQ(second.result.out, first.result.out);
  ASSERT_EQ(second.lines.size(), dns.size());
  for (size_t i = 0; i < dns.size(); ++i) {
    EXPECT_EQ(second.lines[i]["outcome"], "unchanged") << second.lines[i];
    EXPECT_EQ(second.lines[i]["changed"], nlohmann::json::array()) << second.lines[i];
    EXPECT_EQ(ReadValue(dns[i], "uSNChanged"), usns[i]) << dns[i];
  }

  // Nothing left to write: the preview holds no change record.
  const ReportedRun preview =
      RunReported({"-whatif", "-upd", "-quota", "100:200:300", "-hfal"}, Lines(dns));
  EXPECT_EQ(preview.result.status, 0) << preview.result.err;
  EXPECT_EQ(Count("\n" + preview.result.out, "\ndn:"), 0u) << preview.result.out;
  for (const auto& line : preview.lines) EXPECT_EQ(line["outcome"], "unchanged") << line;
}

// An OU can hold no Exchange value, so clearing it would write nothing; it
// is still not a recipient, and the item fails as for a mail database.
// An OU holds no Exchange attribute, so -clear has nothing to write to it:
// it is left alone, as an -upd with nothing to change is.
TEST(ReportFieldsIT, ClearingAnOuWritesNothing) {
  const std::string container = FreshOu("fields-clear-ou");
  const std::string usn = ReadValue(container, "uSNChanged");
  // Nothing to clear is nothing sent: unchanged, as a preview says too.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-clear", "-b", container},
                                               {"-clear", "-whatif", "-b", container}}) {
    const ReportedRun run = RunReported(args);
    EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
    ASSERT_EQ(run.lines.size(), 1u) << args[1];
    EXPECT_EQ(run.lines[0]["outcome"], "unchanged") << run.lines[0];
  }
  EXPECT_EQ(ReadValue(container, "uSNChanged"), usn);
}

// Each action once over fresh objects: its report line names it, and
// "changed" is exactly what the directory shows changed.
TEST(ReportFieldsIT, ChangedNamesWhatTheDirectoryShowsChanged) {
  const std::string ou = FreshOu("fields-changed");
  const std::string user = AddUser(ou, "Fields User");
  const std::string contact =
      AddContact(ou, "Fields Contact",
                 "mail: fc@example.com\nmailNickname: fc\ntargetAddress: SMTP:fc@example.org\n"
                 "proxyAddresses: SMTP:fc@example.com\n");
  const std::string bare = AddContact(ou, "Fields Bare");
  const std::string mailbox = AddUser(ou, "Fields Mailbox");
  struct Case {
    std::vector<std::string> args;
    std::string dn;
    std::string action;
  };
  const std::vector<Case> cases = {
      {{"-upd", "-quota", "10:20:30", "-hfal"}, user, "upd"},
      {{"-clear"}, contact, "clear"},
      {{"-cr", "SRV1:SG1:DB1"}, mailbox, "cr"},
      {{"-move", "SRV2:SG1:DB1"}, mailbox, "move"},
      {{"-me", "fb@example.org"}, bare, "me"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action + " " + c.dn);
    const Entry before = Snapshot(c.dn);
    // The preview plans the change and names the same attributes.
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "-whatif");
    const ReportedRun preview = RunReported(args, c.dn + "\n");
    ASSERT_EQ(preview.result.status, 0) << preview.result.err;
    ASSERT_EQ(preview.lines.size(), 1u);
    EXPECT_EQ(preview.lines[0]["outcome"], "planned") << preview.lines[0];
    EXPECT_EQ(preview.lines[0]["action"], c.action) << preview.lines[0];
    EXPECT_EQ(Snapshot(c.dn), before);

    const ReportedRun run = RunReported(c.args, c.dn + "\n");
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    ASSERT_EQ(run.lines.size(), 1u);
    const nlohmann::json& line = run.lines[0];
    EXPECT_EQ(line["outcome"], "ok") << line;
    EXPECT_EQ(line["action"], c.action) << line;
    EXPECT_EQ(line["diagnostic"], "") << line;
    const std::set<std::string> changed = Names(line["changed"]);
    EXPECT_FALSE(changed.empty()) << line;
    EXPECT_EQ(changed, Differing(before, Snapshot(c.dn))) << line;
    EXPECT_EQ(Names(preview.lines[0]["changed"]), changed) << preview.lines[0];
  }
}

// A refused write: the report carries the server's diagnostic (Samba's text
// starts with its hexadecimal code), and -v shows it right after the error
// line.
TEST(ReportFieldsIT, ARefusalCarriesTheServersDiagnostic) {
  const std::string ou = FreshOu("fields-refused");
  const std::string dn = AddUser(ou, "Fields Refused");
  const std::string missing = "CN=Fields Missing," + ou;
  const Entry before = Snapshot(dn);
  const std::string errorLine = ": [] Error 0x32 (50) - Insufficient access\n";
  const std::vector<std::string> update = {"-upd", "-quota", "10:20:30", "-cont"};

  std::vector<std::string> verbose = update;
  verbose.push_back("-v");
  const ReportedRun shown = RunReported(verbose, dn + "\n" + missing + "\n", Account::kUser);
  EXPECT_EQ(shown.result.status, 32) << shown.result.err;
  ASSERT_EQ(shown.lines.size(), 2u);
  const nlohmann::json& refused = shown.lines[0];
  EXPECT_EQ(refused["outcome"], "failed") << refused;
  EXPECT_EQ(refused["status"], 50) << refused;
  EXPECT_EQ(refused["action"], "upd") << refused;
  EXPECT_EQ(refused["changed"], nlohmann::json::array()) << refused;
  const std::string diagnostic = refused["diagnostic"].get<std::string>();
  EXPECT_TRUE(std::regex_search(diagnostic, std::regex("^[0-9A-Fa-f]{8}: "))) << diagnostic;
  // The line shows it as one line (Samba's ends with a line feed).
  EXPECT_NE(shown.result.err.find(errorLine + "Extended Error: (" + OneLine(diagnostic) + ")\n"),
            std::string::npos)
      << shown.result.err;
  EXPECT_EQ(shown.lines[1]["outcome"], "failed") << shown.lines[1];
  EXPECT_EQ(shown.lines[1]["status"], 32) << shown.lines[1];
  EXPECT_EQ(Snapshot(dn), before);

  const ReportedRun plain = RunReported(update, dn + "\n" + missing + "\n", Account::kUser);
  EXPECT_EQ(plain.result.status, 32) << plain.result.err;
  EXPECT_NE(plain.result.err.find(errorLine), std::string::npos) << plain.result.err;
  EXPECT_EQ(plain.result.err.find("Extended Error"), std::string::npos) << plain.result.err;
  ASSERT_EQ(plain.lines.size(), 2u);
  EXPECT_EQ(plain.lines[0]["diagnostic"], diagnostic);
  EXPECT_EQ(Snapshot(dn), before);
}

}  // namespace
}  // namespace varnel::integration
