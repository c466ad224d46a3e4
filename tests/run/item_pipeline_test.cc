// The processing loop against a channel that answers late and out of order:
// the window, the same-object rule, -upto, the stop rule, a lost answer, a
// busy server and the undo record's place before its write.
#include "run/item_pipeline.h"

#include <gtest/gtest.h>

#include <sstream>

#include "actions/action_list.h"
#include "diag/reporter.h"
#include "directory/run_facts.h"
#include "exchange/work_item.h"
#include "ldap/resilient_session.h"
#include "platform/stop_request.h"
#include "platform/tick_counter.h"
#include "run/late_channel.h"
#include "run/run_records.h"
#include "support/fake_file_system.h"
#include "support/full_buffer.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

using testing::FakeLdapConnection;
using testing::LateChannel;

// Each look at the clock takes `step` ms; a pause takes its own length.
class SteppingTicks : public TickCounter {
 public:
  uint32_t Now() const override { return now += step; }
  mutable uint32_t now = 0;
  uint32_t step = 10;
};

std::string Dn(int i) { return "CN=u" + std::to_string(i) + ",DC=x"; }

struct Ran {
  RunTally tally;
  std::string out;
  std::string err;
};

class ItemPipelineTest : public ::testing::Test {
 public:
  void SetUp() override {
    for (int i = 1; i <= 12; ++i)
      directory.AddEntry(Dn(i), {{"objectClass", {"user"}},
                                 {"sAMAccountName", {"u" + std::to_string(i)}},
                                 {"mail", {"u@x"}},
                                 {"extensionAttribute1", {"x"}}});
    settings.action = RunAction::Clear;
    startup.nativeMode = true;
    startup.exchangeServicesDn = "CN=Microsoft Exchange";
    settings.continueOnError = true;
  }

  // The run of `dns` on `on` over `dir`, its lines on `out` and `err`.
  RunTally RunOn(RequestChannel& on, FakeLdapConnection& dir, std::ostream& out, std::ostream& err,
                 const std::vector<std::string>& dns, RunRecords records = {},
                 GuidSource guids = {}) {
    WorkList work;
    for (size_t i = 0; i < dns.size(); ++i) work.items.push_back({dns[i], "", i + 1, dns[i]});
    Reporter reporter(out, err);
    const auto action = MakeAction(settings, startup, guids);
    RunFacts facts(dir, startup, ":", settings.action == RunAction::CreateMailbox);
    return RunItemPipeline(reporter, on, facts, *action, settings, work, ticks, records, *stopper,
                           pause);
  }

  Ran Run(const std::vector<std::string>& dns, RunRecords records = {}, GuidSource guids = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Ran ran;
    ran.tally = RunOn(channel, directory, out, err, dns, std::move(records), std::move(guids));
    ran.out = out.str();
    ran.err = err.str();
    return ran;
  }

  std::vector<std::string> Twelve() {
    std::vector<std::string> dns;
    for (int i = 1; i <= 12; ++i) dns.push_back(Dn(i));
    return dns;
  }

  FakeLdapConnection directory;
  LateChannel channel{directory};
  RunSettings settings;
  StartupFacts startup;
  SteppingTicks ticks;
  std::function<void(uint32_t)> pause = [this](uint32_t ms) { ticks.now += ms; };
  NoStopRequest stop;
  const StopRequest* stopper = &stop;
};

TEST_F(ItemPipelineTest, KeepsTheWindowReadsAndWritesEachObjectOnceAndShowsInInputOrder) {
  settings.window = 6;
  const Ran ran = Run(Twelve());
  EXPECT_EQ(ran.tally.successful, 12u);
  EXPECT_LE(channel.maxOutstanding, 6u);
  EXPECT_GT(channel.maxWrites, 1u) << "writes go out together with -cont";
  for (int i = 1; i <= 12; ++i) {
    EXPECT_EQ(channel.readsOf[LowerCase(Dn(i))], 1) << Dn(i);
    EXPECT_EQ(channel.writesOf[LowerCase(Dn(i))], 1) << Dn(i);
    EXPECT_FALSE(directory.Has(Dn(i), "mail"));
  }
  std::string expected;
  for (int i = 1; i <= 12; ++i) expected += "   DN: " + Dn(i) + "...\n";
  EXPECT_EQ(ran.out, expected);

  // Without -cont the writes go out together too, and show the same.
  FakeLdapConnection fresh;
  for (int i = 1; i <= 12; ++i)
    fresh.AddEntry(Dn(i), {{"objectClass", {"user"}}, {"mail", {"u@x"}}});
  LateChannel serial(fresh);
  settings.continueOnError = false;
  std::ostringstream out;
  RunOn(serial, fresh, out, out, Twelve());
  EXPECT_GT(serial.maxWrites, 1u);
  EXPECT_EQ(out.str(), expected);
}

TEST_F(ItemPipelineTest, ASecondItemOfTheSameObjectIsPlannedFromWhatTheFirstLeft) {
  settings.window = 8;
  const Ran ran = Run({Dn(1), Dn(2), "cn=U1,dc=x", Dn(3)});
  EXPECT_EQ(ran.tally.successful, 4u);
  EXPECT_FALSE(channel.sameObjectWrites);
  // The first cleared it; the second found nothing left to remove.
  EXPECT_EQ(channel.writesOf[LowerCase(Dn(1))], 1);
  EXPECT_FALSE(directory.Has(Dn(1), "extensionAttribute1"));
}

TEST_F(ItemPipelineTest, UptoNeverLetsMoreOutThanMaySucceed) {
  settings.window = 8;
  settings.upto = 3;
  const Ran ran = Run(Twelve());
  EXPECT_EQ(ran.tally.successful, 3u);
  size_t writes = 0;
  for (const auto& [dn, count] : channel.writesOf) writes += count;
  EXPECT_EQ(writes, 3u);
  EXPECT_NE(ran.out.find("WARN: UpTo limit achieved, stopping...\n"), std::string::npos);
}

// Without -cont the writes go out together (the first alone, then more with
// each success); those after a refusal that had landed are put back, so the
// run ends as one request at a time would have ended it.
TEST_F(ItemPipelineTest, WithoutContTheWritesAfterAFailureArePutBack) {
  settings.continueOnError = false;
  const auto refuseU6 = [](const std::string& dn) { return dn == Dn(6) ? 50 : 0; };
  FakeLdapConnection serialDirectory = directory;
  serialDirectory.modifyHook = refuseU6;
  LateChannel serial(serialDirectory);
  settings.window = 1;
  std::ostringstream out, err;
  const RunTally one = RunOn(serial, serialDirectory, out, err, Twelve());

  settings.window = 16;
  directory.modifyHook = refuseU6;
  const Ran many = Run(Twelve());
  EXPECT_EQ(channel.writesOf[LowerCase(Dn(7))], 2) << "u7 landed, and was put back";
  EXPECT_EQ(many.out, out.str());
  EXPECT_EQ(many.err, err.str());
  EXPECT_EQ(std::tie(many.tally.processed, many.tally.successful, many.tally.errors),
            std::tie(one.processed, one.successful, one.errors));
  EXPECT_EQ(many.tally.lastError.code(), 50);
  for (int i = 1; i <= 12; ++i) {
    for (const char* attribute : {"mail", "extensionAttribute1"})
      EXPECT_EQ(directory.Has(Dn(i), attribute), serialDirectory.Has(Dn(i), attribute)) << i;
  }

  // A put-back the server refuses leaves the item shown as what it is.
  FakeLdapConnection again;
  for (int i = 1; i <= 12; ++i)
    again.AddEntry(Dn(i), {{"objectClass", {"user"}}, {"mail", {"u@x"}}});
  int u7 = 0;
  again.modifyHook = [&](const std::string& dn) {
    return dn == Dn(6) || (dn == Dn(7) && ++u7 == 2) ? 50 : 0;
  };
  LateChannel late(again);
  std::ostringstream keptOut, keptErr;
  const RunTally left = RunOn(late, again, keptOut, keptErr, Twelve());
  EXPECT_NE(keptOut.str().find("ERROR: Too many Errors, stopping...\n   DN: " + Dn(7) + "...\n"),
            std::string::npos)
      << keptOut.str();
  EXPECT_NE(keptErr.str().find("WARNING: The run stopped at an earlier failure, but this object's "
                               "change could not be put back: Insufficient access\n"),
            std::string::npos)
      << keptErr.str();
  EXPECT_EQ(left.successful, one.successful + 1);
}

TEST_F(ItemPipelineTest, AnAnswerLostAfterItLandedSendsTheItemBackToItsRead) {
  settings.window = 8;
  int lost = 0;
  channel.loseAnswer = [&](const LateChannel::Request& request) {
    return request.write && request.dn == Dn(2) && lost++ == 0;
  };
  const Ran ran = Run({Dn(1), Dn(2), Dn(3)});
  EXPECT_EQ(ran.tally.successful, 3u);
  EXPECT_EQ(ran.tally.processed, 3u);
  // Read again, planned anew from what landed: nothing left to send.
  EXPECT_EQ(channel.readsOf[LowerCase(Dn(2))], 2);
  EXPECT_EQ(channel.writesOf[LowerCase(Dn(2))], 1);
  EXPECT_NE(ran.err.find("WARN: The connection to the directory server was lost and made again"),
            std::string::npos);
}

TEST_F(ItemPipelineTest, AMailboxWhoseLostAnswerLandedCountsAsCreated) {
  const std::string db = "CN=DB1,CN=SG1,CN=SRV1,CN=Servers,CN=AG,CN=Org";
  directory.AddEntry(db, {{"objectClass", {"msExchPrivateMDB"}}});
  directory.AddEntry("CN=SRV1,CN=Servers,CN=AG,CN=Org",
                     {{"objectClass", {"msExchExchangeServer"}}, {"legacyExchangeDN", {"/o=O/s"}}});
  directory.AddEntry("CN=AG,CN=Org",
                     {{"objectClass", {"msExchAdminGroup"}}, {"legacyExchangeDN", {"/o=O/ou=AG"}}});
  settings.action = RunAction::CreateMailbox;
  startup.homeMdbDn = db;
  settings.window = 8;
  int lost = 0;
  channel.loseAnswer = [&](const LateChannel::Request& request) {
    return request.write && request.dn == Dn(2) && lost++ == 0;
  };
  const Ran ran = Run({Dn(1), Dn(2), Dn(3)}, {}, [](std::span<uint8_t> bytes) {
    std::fill(bytes.begin(), bytes.end(), uint8_t{7});
    return true;
  });
  EXPECT_EQ(ran.tally.successful, 3u) << ran.err;
  EXPECT_EQ(ran.tally.errors, 0u);
  EXPECT_EQ(ran.err.find("0x80071392"), std::string::npos) << "not 'already exists'";
  EXPECT_EQ(channel.writesOf[LowerCase(Dn(2))], 1);
  EXPECT_EQ(directory.Value(Dn(2), "homeMDB"), db);
}

TEST_F(ItemPipelineTest, AtAWindowOfOneEachItemIsReadJustBeforeItsWrite) {
  settings.window = 1;
  settings.continueOnError = false;
  directory.modifyHook = [](const std::string& dn) { return dn == Dn(2) ? 50 : 0; };
  const Ran ran = Run(Twelve());
  EXPECT_EQ(ran.tally.errors, 1u);
  EXPECT_LE(channel.maxOutstanding, 1u);
  // Item 3's read may have gone out while item 2's write was answered.
  for (int i = 4; i <= 12; ++i) EXPECT_EQ(channel.readsOf[LowerCase(Dn(i))], 0) << Dn(i);
}

TEST_F(ItemPipelineTest, TheRunsStatusIsTheLastFailureInInputOrder) {
  // u1's refusal is answered after the later item has failed at its read.
  settings.action = RunAction::Update;
  settings.update.hideFromAddressLists = true;
  settings.window = 8;
  directory.modifyHook = [](const std::string& dn) { return dn == Dn(1) ? 50 : 0; };
  const Ran ran = Run({Dn(1), "CN=Nobody,DC=x", Dn(3)});
  EXPECT_EQ(ran.tally.errors, 2u);
  EXPECT_EQ(ran.tally.lastError.code(), 0x20);
}

// A read that fails (the object missing, or the server refusing or busy)
// ends its item with the read's code, and nothing is written, in every
// action, previewed or not.
// The facts every item needs are read while the first reads are out, not
// when the first item is planned: the loop never stops a full window to
// read them.
TEST_F(ItemPipelineTest, TheRunsFactsAreReadBeforeAnyAnswerIsTaken) {
  settings.action = RunAction::MailEnable;
  settings.targetAddress = "a@example.com";
  Run(Twelve());
  ASSERT_FALSE(directory.searches.empty());
  EXPECT_EQ(directory.searches.front().base, startup.exchangeServicesDn);
}

TEST_F(ItemPipelineTest, NothingIsWrittenWithoutASuccessfulRead) {
  const std::string busy = Dn(2);
  directory.searchHook = [&](const LdapSearchRequest& request, std::vector<LdapEntry>*, int* rc) {
    if (LowerCase(request.base) != LowerCase(busy)) return false;
    *rc = 51;
    return true;
  };
  startup.homeMdbDn = "CN=DB1,DC=x";
  settings.targetAddress = "a@example.com";
  const std::vector<std::pair<RunAction, std::optional<QuotaFigures>>> actions = {
      {RunAction::Clear, {}},       {RunAction::Update, QuotaFigures{1, 2, 3}},
      {RunAction::Update, {}},      {RunAction::CreateMailbox, {}},
      {RunAction::MoveMailbox, {}}, {RunAction::MailEnable, {}}};
  for (const bool whatIf : {false, true}) {
    for (const auto& [action, quota] : actions) {
      for (const std::string& dn : {std::string("CN=Nobody,DC=x"), busy}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(action)) + (whatIf ? " -whatif " : " ") + dn);
        settings.action = action;
        settings.whatIf = whatIf;
        settings.update = {};
        settings.update.quota = quota;
        settings.update.unhideFromAddressLists = !quota;
        LateChannel fresh(directory);
        std::ostringstream out;
        const RunTally tally = RunOn(fresh, directory, out, out, {dn});
        EXPECT_EQ(fresh.writesOf[LowerCase(dn)], 0);
        EXPECT_EQ(tally.errors, 1u);
        EXPECT_EQ(ExitStatus(tally.lastError), dn == busy ? 51 : 32) << out.str();
      }
    }
  }
}

// Asks the run to stop (as SIGINT would) once it is told to.
class AskedStop : public StopRequest {
 public:
  int Signal() const override { return signal; }
  uint32_t AskedAt() const override { return askedAt; }
  int signal = 0;
  uint32_t askedAt = 0;
};

// The run of the twelve at a window of 8, asked to stop (SIGINT) as its
// third write goes out, the signal having come `ago` ms before.
Ran RunStoppedAtTheThirdWrite(ItemPipelineTest& test, uint32_t ago) {
  AskedStop asked;
  test.stopper = &asked;
  test.settings.window = 8;
  int sent = 0;
  test.channel.onWrite = [&](const std::string&) {
    if (++sent == 3) {
      asked.signal = 2;
      asked.askedAt = test.ticks.now - ago;
    }
  };
  return test.Run(test.Twelve());
}

TEST_F(ItemPipelineTest, AStopSendsNothingMoreAndRecordsWhatWasOnItsWay) {
  const Ran ran = RunStoppedAtTheThirdWrite(*this, 0);
  size_t writes = 0;
  for (const auto& [dn, count] : channel.writesOf) writes += count;
  EXPECT_EQ(writes, 3u);
  EXPECT_EQ(ran.tally.successful, 3u);  // answered and shown
  EXPECT_EQ(ran.tally.lastError.code(), 130);
  EXPECT_EQ(ExitStatus(ran.tally.lastError), 130);
  EXPECT_NE(ran.err.find("ERROR: Stopped by signal 2"), std::string::npos) << ran.err;
  EXPECT_TRUE(directory.Has(Dn(4), "mail"));
}

// The wait for the answers on their way is counted from the signal: when an
// answer already waited for took it all, the writes sent are not waited for.
TEST_F(ItemPipelineTest, AStopsWaitIsCountedFromTheSignal) {
  const Ran ran = RunStoppedAtTheThirdWrite(*this, kStopWaitMs);
  EXPECT_EQ(ran.tally.successful, 0u);
  EXPECT_EQ(ran.tally.errors, 3u);  // sent, never answered: they may have changed
  EXPECT_EQ(ExitStatus(ran.tally.lastError), 130);
}

TEST_F(ItemPipelineTest, ASignalOnceEveryItemEndedLeavesTheStatusToTheItems) {
  AskedStop asked;
  stopper = &asked;
  settings.window = 8;
  size_t answered = 0;
  channel.loseAnswer = [&](const LateChannel::Request& request) {
    if (request.write && ++answered == 12) asked.signal = 2;
    return false;
  };
  const Ran ran = Run(Twelve());
  EXPECT_EQ(ran.tally.successful, 12u);
  EXPECT_TRUE(ran.tally.lastError.ok()) << ran.tally.lastError.code();
  EXPECT_EQ(ran.err.find("Stopped by signal"), std::string::npos) << ran.err;
}

TEST_F(ItemPipelineTest, OutputThatCannotBeWrittenStopsTheRun) {
  settings.window = 1;
  testing::FullBuffer full(40);
  std::ostream out(&full);
  std::ostringstream err;
  const RunTally tally = RunOn(channel, directory, out, err, Twelve());
  EXPECT_EQ(ExitStatus(tally.lastError), 255);
  EXPECT_LT(directory.modifies.size(), 4u) << "nothing more is sent once output is lost";
  EXPECT_TRUE(directory.Has(Dn(12), "mail"));
}

// Group commit: the records of writes planned together go to disk with one
// flush, and each write goes out only once its record is there, so that a
// crash at any moment keeps the record of every write that went out.
TEST_F(ItemPipelineTest, TheUndoRecordsOfABatchAreOnDiskBeforeItsWritesGoOut) {
  testing::FakeFileSystem files;
  RunRecords records;
  records.undo =
      std::make_unique<UndoJournal>(files.OpenRecordFile("undo.ldif", RecordOpenMode::kMustBeNew));
  std::vector<std::string> missing;
  channel.onWrite = [&](const std::string& dn) {
    if (files.Durable("undo.ldif").find("dn: " + dn + "\n") == std::string::npos)
      missing.push_back(dn);
  };
  settings.window = 8;
  const Ran ran = Run(Twelve(), std::move(records));
  EXPECT_EQ(ran.tally.successful, 12u);
  EXPECT_TRUE(missing.empty()) << missing.front();
  EXPECT_GT(channel.maxWrites, 1u) << "with -undo writes go out together as without";
  EXPECT_LT(files.syncs(), 12) << "one flush for the records of each batch";
}

TEST_F(ItemPipelineTest, NoWriteGoesOutWhenItsUndoRecordCannotBeFlushed) {
  testing::FakeFileSystem files;
  RunRecords records;
  records.undo =
      std::make_unique<UndoJournal>(files.OpenRecordFile("undo.ldif", RecordOpenMode::kMustBeNew));
  files.FailSyncs(true);
  settings.window = 8;
  const Ran ran = Run(Twelve(), std::move(records));
  EXPECT_TRUE(directory.modifies.empty());
  EXPECT_EQ(ran.tally.successful, 0u);
  EXPECT_NE(ran.err.find("ERROR: Cannot write the undo file undo.ldif: "), std::string::npos);
}

TEST_F(ItemPipelineTest, ABusyServersWriteIsSentAgainAfterAPause) {
  int busy = 2;
  directory.modifyHook = [&](const std::string&) { return busy-- > 0 ? 51 : 0; };
  std::vector<uint32_t> times;
  channel.onWrite = [&](const std::string&) { times.push_back(ticks.now); };
  const Ran ran = Run({Dn(2)});
  EXPECT_EQ(ran.tally.successful, 1u);
  EXPECT_TRUE(ran.tally.lastError.ok());
  EXPECT_FALSE(directory.Has(Dn(2), "mail"));
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GE(times[1] - times[0], 50u);
  EXPECT_GE(times[2] - times[1], 50u);
}

TEST_F(ItemPipelineTest, AServerBusyBeyondTheRetryWindowFailsTheItemWithItsCode) {
  directory.modifyHook = [](const std::string&) { return 51; };
  std::vector<uint32_t> times;
  channel.onWrite = [&](const std::string&) { times.push_back(ticks.now); };
  const Ran ran = Run({Dn(2)});
  EXPECT_EQ(ran.tally.errors, 1u);
  EXPECT_EQ(ExitStatus(ran.tally.lastError), 51);
  ASSERT_GT(times.size(), 4u);
  // Tried until the window closed, never after it.
  EXPECT_GE(ticks.now - times.front(), ResilientSession::kRetryWindowMs);
  EXPECT_LE(times.back() - times.front(), ResilientSession::kRetryWindowMs + 100);
}

TEST_F(ItemPipelineTest, AStopSendsNothingTheBusyServerTurnedAway) {
  AskedStop asked;
  stopper = &asked;
  directory.modifyHook = [](const std::string&) { return 51; };
  // Asked as the server turns the write away.
  channel.loseAnswer = [&](const LateChannel::Request& request) {
    if (request.write) asked.signal = 2;
    return false;
  };
  const Ran ran = Run({Dn(1)});
  EXPECT_EQ(channel.writesOf[LowerCase(Dn(1))], 1);
  EXPECT_EQ(ran.tally.errors, 1u);
  EXPECT_EQ(ExitStatus(ran.tally.lastError), 130);
  // Refused, not sent and left unanswered.
  EXPECT_NE(ran.err.find("(51) - Server is busy"), std::string::npos) << ran.err;
}

}  // namespace
}  // namespace varnel
