// The files a run writes beside its output (-undo, -report, -failed), with
// the real binary: one file under two names, a file that is also standard
// input, runs that end before processing, and two runs that want the same
// new undo file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs varnel with its standard input read from `inputPath`, as `< file` does.
ProcessResult RunWithInputFile(const std::vector<std::string>& args, const std::string& inputPath) {
  std::vector<std::string> argv = {"bash", "-c", "exec \"$@\" < " + Quoted(inputPath), "bash"};
  for (std::string& word : VarnelCommand(args)) argv.push_back(std::move(word));
  return RunProcess(argv, "", SandboxEnv());
}

TEST(RecordFilesIT, OneFileUnderTwoNamesOrAsTheInputIsRefused) {
  const std::string ou = FreshOu("records-same");
  const std::string dn = AddContact(ou, "Same File", "mail: same@example.com\n");
  const std::string usn = ReadValue(dn, "uSNChanged");

  // "/tmp/./x" and "/tmp/x": two texts, one file.
  const std::string mix = ScratchPath("mix");
  const std::string dotted = "/tmp/." + mix.substr(4);
  ProcessResult r = RunVarnel({"-clear", "-undo", dotted, "-report", mix}, dn + "\n");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("ERROR: -undo, -report and -failed must name different files.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("Using server"), std::string::npos) << r.out;
  unlink(mix.c_str());

  // The list to run again, given as the input of the run that writes it.
  const std::string rest = ScratchPath("rest.txt");
  WriteFile(rest, dn + "\n");
  r = RunWithInputFile({"-clear", "-failed", rest}, rest);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("ERROR: Cannot use " + rest +
                       " as the failed-lines file: the file is also the standard input\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFileBytes(rest), dn + "\n");
  EXPECT_EQ(ReadValue(dn, "uSNChanged"), usn);
  unlink(rest.c_str());
}

TEST(RecordFilesIT, ARunEndedBeforeProcessingKeepsOrWritesItsFilesAsItEnded) {
  const std::string ou = FreshOu("records-begin");
  std::string input;
  for (int i = 0; i < 11; ++i)
    input += AddContact(ou, "Begin " + std::to_string(i), "mail: b@example.com\n") + "\n";
  const std::string report = ScratchPath("report.jsonl"), failed = ScratchPath("failed.txt");
  const std::string earlierReport = "{\"line\":1}\n", earlierFailed = "CN=earlier\n";
  WriteFile(report, earlierReport);
  WriteFile(failed, earlierFailed);
  const std::vector<std::string> files = {"-report", report, "-failed", failed};

  // Refused at bind time: the files of the earlier run stay as they were.
  std::vector<std::string> args = {"-clear", "-h", "127.0.0.1:1"};
  args.insert(args.end(), files.begin(), files.end());
  ProcessResult r = RunVarnel(args, input);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_EQ(ReadFileBytes(report), earlierReport);
  EXPECT_EQ(ReadFileBytes(failed), earlierFailed);

  // Refused by the safety limit: every item not processed, every line left
  // to run again, so the list can be run with -safety.
  args = {"-clear"};
  args.insert(args.end(), files.begin(), files.end());
  r = RunVarnel(args, input);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("More DNs than allowed for by safety setting of 10\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(failed), input);
  std::istringstream lines(ReadFileBytes(report));
  size_t count = 0;
  for (std::string line; std::getline(lines, line); ++count)
    EXPECT_EQ(nlohmann::json::parse(line)["outcome"], "not processed") << line;
  EXPECT_EQ(count, 11u);
  EXPECT_EQ(ReadValue(input.substr(0, input.find('\n')), "mail"), "b@example.com");

  r = RunWithInputFile({"-clear", "-safety", "11", "-q"}, failed);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadValue(input.substr(0, input.find('\n')), "mail"), "");
  unlink(report.c_str());
  unlink(failed.c_str());
}

TEST(RecordFilesIT, TwoRunsStartedTogetherCannotShareANewUndoFile) {
  const std::string ou = FreshOu("records-undo-race");
  const std::string a = AddContact(ou, "Race A", "mail: a@example.com\n");
  const std::string b = AddContact(ou, "Race B", "mail: b@example.com\n");
  const std::string undo = ScratchPath("race.ldif");
  // Both have opened their files before they read a line of input.
  std::unique_ptr<LiveProcess> first = StartVarnel({"-clear", "-undo", undo});
  std::unique_ptr<LiveProcess> second = StartVarnel({"-clear", "-undo", undo});
  first->Write(a + "\n");
  second->Write(b + "\n");
  const ProcessResult one = first->Finish(seconds(60));
  const ProcessResult two = second->Finish(seconds(60));
  const std::multiset<int> statuses = {one.status, two.status};
  EXPECT_EQ(statuses, (std::multiset<int>{0, 1})) << one.err << two.err;
  const ProcessResult& refused = one.status == 1 ? one : two;
  EXPECT_NE(refused.err.find("ERROR: Cannot use " + undo +
                             " as the undo file: the file is in use by another run\n"),
            std::string::npos)
      << refused.err;
  // The refused run changed nothing; the undo file holds the other's record.
  const std::string& untouched = one.status == 1 ? a : b;
  const std::string& changed = one.status == 1 ? b : a;
  EXPECT_NE(ReadValue(untouched, "mail"), "");
  EXPECT_EQ(ReadValue(changed, "mail"), "");
  const std::string records = ReadFileBytes(undo);
  EXPECT_NE(records.find("dn: " + changed + "\n"), std::string::npos) << records;
  EXPECT_EQ(records.find("dn: " + untouched + "\n"), std::string::npos) << records;
  unlink(undo.c_str());
}

// An undo file that another user could have written to is refused before
// the directory is touched, and left as it was; a refused run leaves no file
// of its own behind; the files a run makes are its user's alone.
TEST(RecordFilesIT, TheUndoFileBelongsToTheAdministrator) {
  const std::string ou = FreshOu("records-owner");
  const std::string dn = AddContact(ou, "Owner Check", "mail: oc@example.com\n");
  struct stat status {};
  // Another user's file, which only they may write to.
  if (geteuid() == 0) {
    const std::string theirs = ScratchPath("theirs.ldif");
    WriteFile(theirs, "");
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(theirs.c_str(), 0644), 0);
    const ProcessResult r = RunVarnel({"-clear", "-undo", theirs, "-b", dn});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("ERROR: Cannot use " + theirs +
                         " as the undo file: the file belongs to another user\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("Using server"), std::string::npos) << r.out;
    ASSERT_EQ(stat(theirs.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    unlink(theirs.c_str());
  }
  // Refused for its report: the new undo file it had opened goes again.
  const std::string undo = ScratchPath("new-undo.ldif");
  const ProcessResult r =
      RunVarnel({"-clear", "-undo", undo, "-report", "/nonexistent/run.json", "-b", dn});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(stat(undo.c_str(), &status), 0);
  EXPECT_EQ(ReadValue(dn, "mail"), "oc@example.com");

  const std::string report = ScratchPath("made.json"), failed = ScratchPath("made.txt");
  ASSERT_EQ(
      RunVarnel({"-clear", "-undo", undo, "-report", report, "-failed", failed, "-b", dn}).status,
      0);
  for (const std::string& made : {undo, report, failed}) {
    ASSERT_EQ(stat(made.c_str(), &status), 0) << made;
    EXPECT_EQ(status.st_mode & 07777, 0600u) << made;
    unlink(made.c_str());
  }
}

// The report's disk fills up (a small tmpfs of its own, in a mount
// namespace): the run stops, and -failed still holds every line that did not
// succeed.
TEST(RecordFilesIT, AReportThatCannotBeWrittenKeepsTheFailedLinesWhole) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  std::string input;
  for (int i = 0; i < 600; ++i) input += "CN=Missing " + std::to_string(i) + "," + TestOu() + "\n";
  const std::string folder = ScratchPath("small-disk"), failed = ScratchPath("rest.txt");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::vector<std::string> argv = {"unshare",
                                   "-m",
                                   "--propagation",
                                   "private",
                                   "sh",
                                   "-c",
                                   "mount -t tmpfs -o size=32k none \"$0\" && exec \"$@\"",
                                   folder};
  for (std::string& word : VarnelCommand({"-clear", "-cont", "-unsafe", "-q", "-report",
                                          folder + "/run.json", "-failed", failed}))
    argv.push_back(std::move(word));
  const ProcessResult r = RunProcess(argv, input, SandboxEnv());
  EXPECT_EQ(r.status, 255) << r.err.substr(0, 2000);
  EXPECT_EQ(Count(r.err, "ERROR: Cannot write the report file "), 1u) << r.err.substr(0, 2000);
  EXPECT_EQ(ReadFileBytes(failed), input);
  unlink(failed.c_str());
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace varnel::integration
