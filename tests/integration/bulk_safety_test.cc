// The switches that make a bulk run safe to rehearse, to take back and to
// finish: -whatif (a plan as LDIF, nothing written), -undo (a restore file
// written before each change), -report (one JSON line per item), -failed
// (the input lines left to do) and the progress meter on a terminal. Each is
// checked against the directory itself: the plan and the undo file are
// applied with ldapmodify and the objects compared with what they held.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "integration/sandbox_harness.h"
#include "text/string_helpers.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;
using Entry = std::map<std::string, std::vector<std::string>>;

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// What ldapsearch shows of an object, less the two values the server changes
// on every write; values sorted, as their order carries no meaning.
Entry Snapshot(const std::string& dn) {
  Entry entry = ReadEntry(dn);
  entry.erase("usnchanged");
  entry.erase("whenchanged");
  for (auto& [name, values] : entry) std::sort(values.begin(), values.end());
  return entry;
}

std::string Usn(const std::string& dn) { return ReadValue(dn, "uSNChanged"); }

// LDIF change records (RFC 2849) as ldapmodify reads them.
struct LdifChange {
  std::string op;         // add, replace or delete
  std::string attribute;  // lower-cased
  std::vector<std::string> values;
};
struct LdifRecord {
  std::string dn;
  std::vector<LdifChange> changes;
};
struct Ldif {
  std::vector<LdifRecord> records;
  std::string comments;  // the comment lines without their "# ", each ended by a line feed
  std::string error;     // the first line that is not LDIF, or ""
};

// "name: value" with a SAFE-STRING value, or "name:: base64".
bool ValueLine(const std::string& line, std::string* name, std::string* value) {
  const size_t colon = line.find(':');
  if (colon == 0 || colon == std::string::npos) return false;
  *name = LowerCase(line.substr(0, colon));
  for (char c : *name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != ';') return false;
  const bool base64 = line.compare(colon, 2, "::") == 0;
  size_t at = colon + (base64 ? 2 : 1);
  while (at < line.size() && line[at] == ' ') ++at;
  const std::string text = line.substr(at);
  if (base64) {
    if (text.size() % 4 != 0) return false;
    for (char c : text)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=')
        return false;
    *value = Base64Decode(text);
    return true;
  }
  if (!text.empty() && (text[0] == ':' || text[0] == '<')) return false;
  for (unsigned char c : text)
    if (c == 0 || c == '\r' || c > 127) return false;
  *value = text;
  return true;
}

// Comment lines ("#" or "# text") and blank lines between records; each
// record a "dn:", "changetype: modify" and groups of add/replace/delete
// closed by "-", ended by a blank line (or the end). Nothing else.
Ldif ParseLdif(const std::string& text) {
  Ldif ldif;
  if (!text.empty() && text.back() != '\n') ldif.error = "no line feed at the end";
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line[0] == ' ' && !lines.empty() && !lines.back().empty())
      lines.back() += line.substr(1);  // a folded line
    else
      lines.push_back(line);
  }
  enum { kOutside, kChangeType, kRecord, kGroup } state = kOutside;
  LdifRecord record;
  LdifChange change;
  std::string name, value;
  for (size_t i = 0; i < lines.size() && ldif.error.empty(); ++i) {
    const std::string& line = lines[i];
    const bool valueLine = ValueLine(line, &name, &value);
    bool fits = false;
    switch (state) {
      case kOutside:
        if (line.empty() || (line == "version: 1" && ldif.records.empty())) {
          fits = true;
        } else if (line == "#" || line.rfind("# ", 0) == 0) {
          ldif.comments += line.substr(std::min<size_t>(line.size(), 2)) + "\n";
          fits = true;
        } else if (valueLine && name == "dn") {
          record = {value, {}};
          state = kChangeType;
          fits = true;
        }
        break;
      case kChangeType:
        fits = line == "changetype: modify";
        state = kRecord;
        break;
      case kRecord:
        if (line.empty() && !record.changes.empty()) {
          ldif.records.push_back(record);
          state = kOutside;
          fits = true;
        } else if (valueLine && (name == "add" || name == "replace" || name == "delete")) {
          change = {name, LowerCase(value), {}};
          state = kGroup;
          fits = true;
        }
        break;
      case kGroup:
        if (line == "-") {
          record.changes.push_back(change);
          state = kRecord;
          fits = true;
        } else if (valueLine && name == change.attribute) {
          change.values.push_back(value);
          fits = true;
        }
        break;
    }
    if (!fits) ldif.error = "line " + std::to_string(i + 1) + ": " + line;
  }
  if (ldif.error.empty() && state == kRecord && !record.changes.empty())
    ldif.records.push_back(record);
  else if (ldif.error.empty() && state != kOutside)
    ldif.error = "record cut short";
  return ldif;
}

std::set<std::string> RecordDns(const Ldif& ldif) {
  std::set<std::string> dns;
  for (const LdifRecord& record : ldif.records) dns.insert(record.dn);
  return dns;
}

// Replays an undo file as the administrator would: stock ldapmodify going on
// past a refused record, which it writes to the skipped file. The skipped
// records, parsed.
Ldif ReplayUndo(const std::string& undoText) {
  const std::string undoPath = ScratchPath("replay.ldif"),
                    skippedPath = ScratchPath("skipped.ldif");
  WriteFile(undoPath, undoText);
  unlink(skippedPath.c_str());
  RunProcess({"ldapmodify", "-Q", "-Y", "GSSAPI", "-H", SandboxEnv().at("LDAPURI"), "-c", "-S",
              skippedPath, "-f", undoPath},
             "", SandboxEnv());
  Ldif skipped = ParseLdif(ReadFileBytes(skippedPath));
  for (const std::string& path : {undoPath, skippedPath}) unlink(path.c_str());
  return skipped;
}

// A change someone makes after the run, to an attribute the run wrote.
struct LaterChange {
  std::string dn;
  std::string changes;  // LDIF change lines of a modify record
};

// Runs `args` over `input` with -whatif, then for real with -undo, and checks
// both against the directory: the rehearsal writes nothing and prints the
// real run's output as comments with one record per object the real run
// changes; the undo file has records of the changed objects only, by value
// (never replace:), covering every attribute the plan touches. After
// `later`, the file replayed with ldapmodify -c -S puts every other object
// back as it was, and refuses the record of the object changed since, which
// keeps that change and stands in the skipped file; the plan applied after
// that makes the real run's change again on the others. An attribute in `drawn` gets a
// new random value on each run.
void CheckPlanAndUndo(const std::vector<std::string>& args, const std::string& input,
                      const std::vector<std::string>& dns, int status, const LaterChange& later,
                      const std::string& drawn = "") {
  std::vector<Entry> before;
  std::vector<std::string> usns;
  for (const std::string& dn : dns) {
    before.push_back(Snapshot(dn));
    usns.push_back(Usn(dn));
  }

  ProcessResult plan = RunVarnel(With(args, {"-whatif"}), input);
  for (size_t i = 0; i < dns.size(); ++i) EXPECT_EQ(Usn(dns[i]), usns[i]) << "written: " << dns[i];
  const Ldif planned = ParseLdif(plan.out);
  ASSERT_EQ(planned.error, "") << plan.out;

  const std::string undoPath = ScratchPath("undo.ldif");
  ProcessResult run = RunVarnel(With(args, {"-undo", undoPath}), input);
  const std::string undoText = ReadFileBytes(undoPath);
  unlink(undoPath.c_str());
  EXPECT_EQ(run.status, status) << run.out << run.err;
  EXPECT_EQ(plan.status, run.status);
  EXPECT_EQ(plan.err, run.err);
  EXPECT_EQ(planned.comments, run.out);

  std::vector<Entry> after;
  std::set<std::string> changed;
  for (size_t i = 0; i < dns.size(); ++i) {
    after.push_back(Snapshot(dns[i]));
    if (Usn(dns[i]) != usns[i]) changed.insert(dns[i]);
  }
  EXPECT_FALSE(changed.empty());
  EXPECT_EQ(RecordDns(planned), changed) << plan.out;

  const Ldif undo = ParseLdif(undoText);
  ASSERT_EQ(undo.error, "") << undoText;
  std::map<std::string, std::set<std::string>> restored;
  for (const LdifRecord& record : undo.records) {
    for (const LdifChange& c : record.changes) {
      EXPECT_NE(c.op, "replace") << record.dn << " " << c.attribute;
      restored[record.dn].insert(c.attribute);
    }
  }
  EXPECT_EQ(RecordDns(undo), changed) << undoText;
  for (const LdifRecord& record : planned.records)
    for (const LdifChange& c : record.changes)
      EXPECT_EQ(restored[record.dn].count(c.attribute), 1u)
          << "not restored: " << record.dn << " " << c.attribute;

  ASSERT_TRUE(changed.contains(later.dn));
  ASSERT_EQ(ApplyLdif("dn: " + later.dn + "\nchangetype: modify\n" + later.changes), 0);
  const Entry kept = Snapshot(later.dn);
  const Ldif skipped = ReplayUndo(undoText);
  ASSERT_EQ(skipped.error, "");
  EXPECT_TRUE(RecordDns(skipped).contains(later.dn)) << undoText;
  for (size_t i = 0; i < dns.size(); ++i)
    EXPECT_EQ(Snapshot(dns[i]), dns[i] == later.dn ? kept : before[i]) << dns[i] << undoText;

  // The object changed since is no longer what the plan was made for.
  ApplyLdif(plan.out, true);
  for (size_t i = 0; i < dns.size(); ++i) {
    if (dns[i] == later.dn) continue;
    Entry expected = after[i], now = Snapshot(dns[i]);
    if (!drawn.empty()) {
      EXPECT_EQ(now.count(drawn), expected.count(drawn)) << dns[i];
      now.erase(drawn);
      expected.erase(drawn);
    }
    EXPECT_EQ(now, expected) << dns[i];
  }
}

std::string GalLine() { return "showInAddressBook: " + SandboxFact("VARNEL_SANDBOX_GAL") + "\n"; }

TEST(BulkSafetyIT, PlanAndUndoOfClear) {
  const std::string ou = FreshOu("bulk-clear");
  // A mailbox GUID with bytes that are not text: the undo file must carry it in base64.
  const std::string a = AddUser(ou, "Clear Ann",
                                "mail: ann@example.com\nmailNickname: ann\n"
                                "proxyAddresses: SMTP:ann@example.com\n"
                                "proxyAddresses: smtp:a@example.org\nextensionAttribute3: three\n"
                                "msExchMailboxGuid:: AP8KDSCAgYKDhIWGh4iJig==\n");
  const std::string b = AddContact(ou, "Clear Bob",
                                   "targetAddress: SMTP:bob@example.org\n"
                                   "msExchHideFromAddressLists: TRUE\n" +
                                       GalLine());
  const std::string plain = AddContact(ou, "Clear Plain", "description: nothing to clear\n");
  // A missing object fails by reading, with -whatif as without.
  CheckPlanAndUndo({"-clear", "-cont"}, Lines({a, "CN=Clear Missing," + ou, b, plain}),
                   {a, b, plain}, 32, {a, "add: mail\nmail: later@example.com\n-\n"});
}

TEST(BulkSafetyIT, PlanAndUndoOfUpdate) {
  const std::string ou = FreshOu("bulk-update");
  const std::string quotas = AddUser(ou, "Update Quotas",
                                     "mDBUseDefaults: TRUE\nmDBStorageQuota: 1024\n"
                                     "msExchHideFromAddressLists: FALSE\n" +
                                         GalLine());
  const std::string bare = AddUser(ou, "Update Bare");
  const std::string contact = AddContact(ou, "Update Contact", GalLine());
  CheckPlanAndUndo({"-upd", "-hfal", "-quota", "100:200:300"}, Lines({quotas, bare, contact}),
                   {quotas, bare, contact}, 0,
                   {bare, "replace: mDBStorageQuota\nmDBStorageQuota: 77\n-\n"});
}

TEST(BulkSafetyIT, PlanAndUndoOfCreateMailbox) {
  const std::string ou = FreshOu("bulk-create");
  const std::string first = AddUser(ou, "Create First");
  const std::string second = AddUser(ou, "Create Second", GalLine());
  // Each run draws a new mailbox GUID; everything else follows from the object.
  CheckPlanAndUndo({"-cr", "SRV1:SG1:DB1", "-quota", "10:20:30", "-hfal"},
                   first + "\n" + second + "\tSRV2:SG1:DB1\n", {first, second}, 0,
                   {second, "replace: mailNickname\nmailNickname: later\n-\n"},
                   "msexchmailboxguid");
}

TEST(BulkSafetyIT, PlanAndUndoOfMoveWithAnObjectListedTwice) {
  const std::string ou = FreshOu("bulk-move");
  const std::string twice = AddUser(ou, "Move Twice");
  const std::string once = AddUser(ou, "Move Once");
  ASSERT_EQ(RunVarnel({"-cr", "SRV1:SG1:DB1", "-q"}, Lines({twice, once})).status, 0);
  // The undo record of the object moved twice holds its first home.
  CheckPlanAndUndo({"-move", "SRV2:SG1:DB1"},
                   twice + "\n" + once + "\n" + twice + "\tSRV1:SG2:DB2\n", {twice, once}, 0,
                   {once, "replace: msExchHomeServerName\nmsExchHomeServerName: /o=later\n-\n"});
}

TEST(BulkSafetyIT, PlanAndUndoOfMailEnable) {
  const std::string ou = FreshOu("bulk-enable");
  const std::string contact = AddContact(ou, "Enable Contact");
  const std::string other = AddContact(ou, "Enable Other", "mail: other@example.com\n");
  const std::string group = AddGroup(ou, "Enable Group");
  CheckPlanAndUndo({"-me", "default@example.com"},
                   contact + "\n" + other + "\tother@example.org\n" + group + "\n",
                   {contact, other, group}, 0,
                   {other, "replace: targetAddress\ntargetAddress: SMTP:later@example.org\n-\n"});
}

// One parsed report line per line of the file; a line that is not JSON fails.
std::vector<nlohmann::json> ReadReport(const std::string& path) {
  const std::string text = ReadFileBytes(path);
  unlink(path.c_str());
  EXPECT_TRUE(text.empty() || text.back() == '\n');
  std::vector<nlohmann::json> items;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    try {
      items.push_back(nlohmann::json::parse(line));
    } catch (const nlohmann::json::exception& e) {
      ADD_FAILURE() << e.what() << " in report line: " << line;
    }
  }
  return items;
}

// "line outcome status" of each report item.
std::vector<std::string> Outcomes(const std::vector<nlohmann::json>& items) {
  std::vector<std::string> outcomes;
  for (const nlohmann::json& item : items)
    outcomes.push_back(std::to_string(item.at("line").get<long>()) + " " +
                       item.at("outcome").get<std::string>() + " " +
                       std::to_string(item.at("status").get<long>()));
  return outcomes;
}

long CountOutcome(const std::vector<nlohmann::json>& items, const std::string& outcome) {
  return std::count_if(items.begin(), items.end(),
                       [&](const nlohmann::json& item) { return item.at("outcome") == outcome; });
}

// The controller stops for good while a -clear run with -undo, -report and
// -failed is half-way, as in fault_test.cc: varnel is paused when the
// progress line of item kStopAt appears, the controller stopped, varnel
// resumed; it tries to connect again, gives up and ends the run with 81.
class BulkSafetyFaultIT : public ::testing::Test {
 protected:
  void TearDown() override {
    if (controllerDown_) {
      EXPECT_TRUE(StartDomainController());
    }
  }
  bool controllerDown_ = false;
};

TEST_F(BulkSafetyFaultIT, UndoFileOfARunCutShortRestoresEveryChangedObject) {
  constexpr int kObjects = 20;
  constexpr size_t kStopAt = 6;
  const std::string ou = FreshOu("bulk-fault");
  std::vector<std::string> dns;
  std::vector<Entry> before;
  std::vector<std::string> usns;
  for (int i = 0; i < kObjects; ++i) {
    dns.push_back(AddContact(ou, "Fault " + std::to_string(i),
                             "mail: f" + std::to_string(i) +
                                 "@example.com\nproxyAddresses: SMTP:f@example.com\n"
                                 "extensionAttribute1: one\n"));
    before.push_back(Snapshot(dns.back()));
    usns.push_back(Usn(dns.back()));
  }
  const std::string undoPath = ScratchPath("undo.ldif"), reportPath = ScratchPath("report.jsonl"),
                    failedPath = ScratchPath("failed.txt");

  std::unique_ptr<LiveProcess> varnel =
      // A small window leaves most of the list unsent when the controller
      // goes: the writes of a batch go out together.
      StartVarnel({"-clear", "-cont", "-window", "2", "-safety", "100", "-undo", undoPath,
                   "-report", reportPath, "-failed", failedPath});
  varnel->Write(Lines(dns));
  varnel->CloseInput();
  ASSERT_TRUE(varnel->WaitForOutput("   DN: ", kStopAt, seconds(120))) << varnel->Output();
  ASSERT_TRUE(varnel->Pause()) << "varnel ended before the controller could be stopped";
  controllerDown_ = true;
  ASSERT_TRUE(StopDomainController());
  varnel->Resume();
  ProcessResult r = varnel->Finish(seconds(120));
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 81) << r.out << r.err;  // server down
  ASSERT_TRUE(StartDomainController());
  controllerDown_ = false;

  // The report splits the list in three, in this order: done (ok), sent
  // when the controller went away (unknown with 81: they may have landed),
  // never sent (not processed), -cont or not.
  const std::vector<nlohmann::json> items = ReadReport(reportPath);
  ASSERT_EQ(items.size(), static_cast<size_t>(kObjects));
  const long ok = CountOutcome(items, "ok"), failed = CountOutcome(items, "unknown");
  EXPECT_EQ(CountOutcome(items, "failed"), 0);
  EXPECT_EQ(ok, SummaryNumber(r.out, "Successful    : ")) << r.out;
  EXPECT_EQ(failed, SummaryNumber(r.out, "Errors        : ")) << r.out;
  ASSERT_GE(ok, static_cast<long>(kStopAt) - 1) << r.out;
  std::vector<std::string> outcomes;
  for (long i = 0; i < kObjects; ++i)
    outcomes.push_back(std::to_string(i + 1) + (i < ok            ? " ok 0"
                                                : i < ok + failed ? " unknown 81"
                                                                  : " not processed 0"));
  EXPECT_EQ(Outcomes(items), outcomes);
  EXPECT_EQ(ReadFileBytes(failedPath),
            Lines(std::vector<std::string>(dns.begin() + ok, dns.end())));

  // Every changed object has its undo record; one that did not change may
  // have one too (its write was refused, lost or never sent), and replayed,
  // that record is refused. The file restores every changed object.
  const std::string undoText = ReadFileBytes(undoPath);
  const Ldif undo = ParseLdif(undoText);
  ASSERT_EQ(undo.error, "") << undoText;
  const std::set<std::string> recorded = RecordDns(undo);
  EXPECT_EQ(recorded.size(), undo.records.size()) << undoText;
  for (long i = 0; i < kObjects; ++i) {
    SCOPED_TRACE(dns[i]);
    const bool changed = Usn(dns[i]) != usns[i], hasRecord = recorded.count(dns[i]) == 1;
    if (i < ok) {
      EXPECT_TRUE(changed && hasRecord);
    } else {
      EXPECT_TRUE(hasRecord || !changed);
    }
  }
  const std::set<std::string> skipped = RecordDns(ReplayUndo(undoText));
  for (long i = 0; i < ok; ++i) EXPECT_FALSE(skipped.contains(dns[i])) << dns[i] << undoText;
  for (int i = 0; i < kObjects; ++i) EXPECT_EQ(Snapshot(dns[i]), before[i]) << dns[i];
  for (const std::string& path : {undoPath, failedPath}) unlink(path.c_str());
}

// Killed with SIGKILL midway through a slow link, the writes of many objects
// on their way: every object the run changed has its whole record, and the
// file puts every one of them back.
TEST(BulkSafetyIT, TheUndoFileOfARunKilledMidwayRestoresEveryChangedObject) {
  // Killed, valgrind could not write the summary the memory check reads; the
  // promise is the binary's own, held without a wrapper.
  if (std::getenv("VARNEL_WRAPPER") != nullptr) GTEST_SKIP() << "a killed run under a wrapper";
  constexpr int kObjects = 60;
  const std::string ou = FreshOu("bulk-kill");
  std::vector<std::string> dns;
  std::vector<Entry> before;
  for (int i = 0; i < kObjects; ++i) {
    dns.push_back(
        AddContact(ou, "Killed " + std::to_string(i),
                   "mail: k" + std::to_string(i) + "@example.com\nextensionAttribute1: one\n"));
    before.push_back(Snapshot(dns.back()));
  }
  LiveProcess relay({"python3", VARNEL_DELAY_RELAY, "127.0.0.1", "389", "20"}, {});
  ASSERT_TRUE(relay.WaitForOutput("\n", 1, seconds(20))) << relay.Output();
  const std::string port = relay.Output().substr(0, relay.Output().find('\n'));
  const std::string undoPath = ScratchPath("killed.ldif");
  std::unique_ptr<LiveProcess> varnel = StartVarnel(
      {"-h", "localhost:" + port, "-clear", "-cont", "-safety", "100", "-undo", undoPath});
  varnel->Write(Lines(dns));
  varnel->CloseInput();
  ASSERT_TRUE(varnel->WaitForOutput("   DN: ", 10, seconds(120))) << varnel->Output();
  ASSERT_EQ(kill(varnel->pid(), SIGKILL), 0);
  varnel->Finish(seconds(30));

  int changed = 0;
  for (int i = 0; i < kObjects; ++i) changed += Snapshot(dns[i]) != before[i] ? 1 : 0;
  EXPECT_GE(changed, 10);
  const std::string undoText = ReadFileBytes(undoPath);
  ASSERT_EQ(ParseLdif(undoText).error, "") << undoText;
  ReplayUndo(undoText);
  for (int i = 0; i < kObjects; ++i) EXPECT_EQ(Snapshot(dns[i]), before[i]) << dns[i];
  unlink(undoPath.c_str());
}

TEST(BulkSafetyIT, ReportHasOneJsonLinePerItemInInputOrder) {
  const std::string ou = FreshOu("bulk-report");
  const std::string a = AddContact(ou, "Report A", "mail: a@example.com\n");
  const std::string b = AddContact(ou, "Report B", "mail: b@example.com\n");
  const std::string missing = "CN=Report Missing," + ou;
  // A given in lower case, missing, A again with a data field (nothing left
  // to clear: unchanged), an empty line, a line holding a NUL byte, B.
  const std::string input = LowerCase(a) + "\n" + missing + "\n" + a + "\tnote\n\n" +
                            std::string("CN=Nul\0Byte,", 12) + ou + "\n" + b + "\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> outcomes;
  };
  const std::vector<Case> cases = {
      {{"-cont"}, 32, {"1 ok 0", "2 failed 32", "3 unchanged 0", "5 failed 255", "6 ok 0"}},
      {{}, 32, {"1 ok 0", "2 failed 32", "3 not processed 0", "5 failed 255", "6 not processed 0"}},
      {{"-upto", "1"},
       255,
       {"1 ok 0", "2 not processed 0", "3 not processed 0", "5 failed 255", "6 not processed 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "stop at the first failure" : c.args.front());
    for (const auto& [dn, mail] : {std::pair{a, "a@example.com"}, std::pair{b, "b@example.com"}})
      ASSERT_EQ(
          ApplyLdif("dn: " + dn + "\nchangetype: modify\nreplace: mail\nmail: " + mail + "\n"), 0);
    const std::string path = ScratchPath("report.jsonl");
    ProcessResult r = RunVarnel(With({"-clear", "-report", path}, c.args), input);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    const std::vector<nlohmann::json> items = ReadReport(path);
    ASSERT_EQ(Outcomes(items), c.outcomes);
    EXPECT_EQ(CountOutcome(items, "ok") + CountOutcome(items, "unchanged"),
              SummaryNumber(r.out, "Successful    : "))
        << r.out;
    EXPECT_EQ(CountOutcome(items, "failed"), SummaryNumber(r.out, "Errors        : ") + 1) << r.out;
    EXPECT_EQ(items[0].at("dn"), LowerCase(a));
    EXPECT_EQ(items[0].at("stored_dn"), a);
    EXPECT_EQ(items[1].at("dn"), missing);
    EXPECT_EQ(items[1].at("stored_dn"), "");
    EXPECT_EQ(items[2].at("override"), "note");
    EXPECT_EQ(items[4].at("dn"), b);
    for (const nlohmann::json& item : items) {
      // An ok item has no message, a failed one its error text.
      const std::string outcome = item.at("outcome");
      if (outcome != "not processed") {
        EXPECT_EQ(item.at("message") != "", outcome == "failed") << item.dump();
      }
    }
  }

  // A DN that is not UTF-8 still makes a JSON line; -b is line 0.
  const std::string path = ScratchPath("report.jsonl");
  RunVarnel({"-clear", "-cont", "-report", path}, "CN=Caf\xe9 \xff\xfe," + ou + "\n" + b + "\n");
  const std::vector<nlohmann::json> odd = ReadReport(path);
  ASSERT_EQ(odd.size(), 2u);
  EXPECT_EQ(odd[0].at("line"), 1);
  EXPECT_EQ(odd[0].at("outcome"), "failed");
  EXPECT_TRUE(odd[0].at("dn").is_string());
  EXPECT_EQ(Outcomes({odd[1]}), std::vector<std::string>{"2 ok 0"});
  // A was cleared above: nothing is sent, and the item is unchanged.
  EXPECT_EQ(RunVarnel({"-clear", "-b", a, "-report", path}).status, 0);
  EXPECT_EQ(Outcomes(ReadReport(path)), std::vector<std::string>{"0 unchanged 0"});
}

TEST(BulkSafetyIT, FailedLinesFedBackFinishTheJob) {
  const std::string ou = FreshOu("bulk-failed");
  const std::string a = AddContact(ou, "Failed A", "mail: a@example.com\n");
  const std::string b = AddContact(ou, "Failed B", "mail: b@example.com\n");
  const std::string c = AddContact(ou, "Failed C", "mail: c@example.com\n");
  const std::string late = "CN=Failed Late," + ou;
  const std::string left = late + "\n" + b + "\tnote\n" + c + "\n";
  const std::string failed = ScratchPath("failed.txt"), again = ScratchPath("again.txt");

  ProcessResult first = RunVarnel({"-clear", "-failed", failed}, a + "\n" + left);
  EXPECT_EQ(first.status, 32) << first.out << first.err;
  EXPECT_EQ(ReadFileBytes(failed), left);  // the failed line and the ones never reached

  AddContact(ou, "Failed Late", "mail: late@example.com\n");
  const std::string usnA = Usn(a);
  ProcessResult second = RunVarnel({"-clear", "-failed", again}, ReadFileBytes(failed));
  EXPECT_EQ(second.status, 0) << second.out << second.err;
  EXPECT_NE(second.out.find("DNs to Process: 3\nDNs Processed : 3\nSuccessful    : 3\n"
                            "Errors        : 0\n"),
            std::string::npos)
      << second.out;
  EXPECT_EQ(ReadFileBytes(again), "");
  for (const std::string& dn : {a, b, c, late}) EXPECT_EQ(ReadValue(dn, "mail"), "") << dn;
  EXPECT_EQ(Usn(a), usnA);  // done in the first run, not taken again
  for (const std::string& path : {failed, again}) unlink(path.c_str());
}

// What a terminal shows after `bytes`: carriage return, line feed,
// backspace and erase in line (ESC [ K, 1 K, 2 K) are followed, other escape
// sequences dropped; trailing blanks are not kept.
std::vector<std::string> Screen(const std::string& bytes) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    std::string& line = lines.back();
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (c == '\b') {
      if (column != 0) --column;
    } else if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      size_t end = i + 2;
      while (end < bytes.size() && !std::isalpha(static_cast<unsigned char>(bytes[end]))) ++end;
      const std::string parameter = bytes.substr(i + 2, end - i - 2);
      if (end < bytes.size() && bytes[end] == 'K') {
        if (parameter == "2")
          line.assign(line.size(), ' ');
        else if (parameter == "1")
          std::fill(line.begin(), line.begin() + std::min(line.size(), column + 1), ' ');
        else
          line.resize(std::min(line.size(), column));
      }
      i = end;
    } else {
      if (line.size() <= column) line.resize(column + 1, ' ');
      line[column++] = c;
    }
  }
  for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
  return lines;
}

TEST(BulkSafetyIT, MeterOnlyOnATerminalAndOnlyForMoreThanFiftyItems) {
  const std::string ou = FreshOu("bulk-meter");
  auto missing = [&](int count) {
    std::vector<std::string> dns;
    for (int i = 0; i < count; ++i) dns.push_back("CN=Meter Gone " + std::to_string(i) + "," + ou);
    return Lines(dns);
  };
  const std::vector<std::string> args = {"-clear", "-cont", "-unsafe"};
  // Without a terminal each item adds its error lines and nothing else.
  const std::string one = RunVarnel(args, missing(1)).err;
  const std::string block = one.substr(one.find("LDAP_SEARCH_S"));
  std::string expected = one;
  for (int i = 1; i < 60; ++i) expected += block;

  ProcessResult piped = RunVarnel(args, missing(60));
  EXPECT_EQ(piped.err, expected);
  ProcessResult shown = RunVarnelOnTerminal(args, missing(60));
  EXPECT_EQ(shown.status, piped.status);
  EXPECT_EQ(shown.out, piped.out);
  EXPECT_NE(shown.err.find('\r'), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find("/60"), std::string::npos) << shown.err;
  // Drawn in place and erased: what stays on the screen is the error lines.
  EXPECT_EQ(Screen(shown.err), Screen(piped.err)) << shown.err;

  ProcessResult fifty = RunVarnelOnTerminal(args, missing(50));
  EXPECT_EQ(fifty.err, RunVarnel(args, missing(50)).err);
}

TEST(BulkSafetyIT, UndoFileMustBeNewOrEmptyAndIsPrivate) {
  const std::string ou = FreshOu("bulk-undo-file");
  const std::string dn = AddContact(ou, "Undo File", "mail: undo@example.com\n");
  const std::string usn = Usn(dn);

  const std::string used = ScratchPath("used.ldif");
  WriteFile(used, "# an earlier run\n");
  ProcessResult refused = RunVarnel({"-clear", "-b", dn, "-undo", used});
  EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
  EXPECT_EQ(ReadFileBytes(used), "# an earlier run\n");
  EXPECT_EQ(Usn(dn), usn);
  unlink(used.c_str());

  // A value that begins with '/' is a path, not a switch.
  const std::string fresh = "/var/tmp/varnel-it-" + std::to_string(getpid()) + "-undo.ldif";
  unlink(fresh.c_str());
  ProcessResult r = RunVarnel({"-clear", "-b", dn, "-undo", fresh});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  struct stat info {};
  ASSERT_EQ(stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  const Ldif undo = ParseLdif(ReadFileBytes(fresh));
  unlink(fresh.c_str());
  ASSERT_EQ(undo.error, "");
  ASSERT_EQ(RecordDns(undo), std::set<std::string>{dn});
  EXPECT_EQ(ReadValue(dn, "mail"), "");

  // The records of changes the server refused change nothing when replayed.
  const std::string refusedUndo = ScratchPath("refused.ldif");
  ApplyLdif("dn: " + dn + "\nchangetype: modify\nreplace: mail\nmail: again@example.com\n");
  const std::string other = AddContact(ou, "Undo Other", "mail: other@example.com\n");
  const std::string again = Usn(dn), otherUsn = Usn(other);
  EXPECT_EQ(RunVarnel({"-clear", "-cont", "-undo", refusedUndo}, Lines({dn, other}), Account::kUser)
                .status,
            50);
  const std::string refusedText = ReadFileBytes(refusedUndo);
  unlink(refusedUndo.c_str());
  EXPECT_EQ(RecordDns(ParseLdif(refusedText)), (std::set<std::string>{dn, other}));
  EXPECT_EQ(RecordDns(ReplayUndo(refusedText)), (std::set<std::string>{dn, other}));
  EXPECT_EQ(Usn(dn), again);
  EXPECT_EQ(Usn(other), otherUsn);

  const std::string empty = ScratchPath("empty.ldif");
  WriteFile(empty, "");
  EXPECT_EQ(RunVarnel({"-clear", "-b", dn, "-undo", empty}).status, 0);
  EXPECT_EQ(RecordDns(ParseLdif(ReadFileBytes(empty))), std::set<std::string>{dn});
  unlink(empty.c_str());
}

}  // namespace
}  // namespace varnel::integration
