// Nothing is written to an object whose one read failed: a DN that names
// nothing, and an object the account may not see, in every action and with
// the update switches, previewed or not. A line of blanks names no object.
#include <gtest/gtest.h>
#include <unistd.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

TEST(ReadFirstIT, AnObjectThatCannotBeReadIsNeverWrittenInAnyAction) {
  const std::string ou = FreshOu("read-first");
  const std::string missing = "CN=Nobody Here," + ou;
  // The ordinary user may write the object's attributes, but cannot see it:
  // listing its OU is denied, so a base search of it answers 32.
  const std::string hidden = AddUser(ou, "Hidden Writable");
  const std::string sid = AccountSid("vuser");
  const bool hiddenMade =
      geteuid() == 0 && !sid.empty() &&
      AddAces(hidden, "(D;;RPLCLORC;;;" + sid + ")" + "(A;;WP;;;" + sid + ")") &&
      AddAces(ou, "(D;;LC;;;" + sid + ")");
  const auto before = ReadEntry(hidden);

  const std::vector<std::vector<std::string>> runs = {
      {"-clear"},
      {"-upd", "-quota", "10:20:30"},
      {"-upd", "-quota", "::500"},
      {"-upd", "-hfal"},
      {"-upd", "-uhfal"},
      {"-cr", "SRV1:SG1:DB1"},
      {"-cr", "SRV1:SG1:DB1", "-quota", "10:20:30", "-uhfal"},
      {"-move", "SRV2:SG1:DB1"},
      {"-me", "someone@example.com"},
      {"-me", "-keepmail"},
  };
  for (const bool whatIf : {false, true}) {
    for (const std::vector<std::string>& run : runs) {
      for (const std::string& dn : {missing, hidden}) {
        if (dn == hidden && !hiddenMade) continue;
        std::vector<std::string> args = run;
        if (whatIf) args.push_back("-whatif");
        args.insert(args.end(), {"-b", dn});
        SCOPED_TRACE(args.front() + " " + args[1] + (whatIf ? " -whatif " : " ") + dn);
        const ProcessResult r =
            RunVarnel(args, "", dn == hidden ? Account::kUser : Account::kAdmin);
        EXPECT_EQ(r.status, 32) << r.out << r.err;
        EXPECT_EQ(r.out.find("changetype:"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("The command completed with errors.\n"), std::string::npos) << r.out;
      }
    }
  }
  EXPECT_TRUE(ReadEntry(missing).empty());
  if (hiddenMade) {
    EXPECT_EQ(ReadEntry(hidden), before);
  } else {
    GTEST_SKIP() << "hiding an object needs root (the domain controller's own database)";
  }
}

TEST(ReadFirstIT, ALineOfBlanksIsAnEmptyLine) {
  const std::string ou = FreshOu("read-blank");
  const std::string dn = AddContact(ou, "Blank Neighbour", "mail: bn@example.com\n");
  const ProcessResult r = RunVarnel({"-upd", "-hfal", "-cont"}, "   \n \t \n" + dn + "\n  \tx\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("DN Count: 1\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadValue(dn, "msExchHideFromAddressLists"), "TRUE");
}

}  // namespace
}  // namespace varnel::integration
