#include "diag/outcome.h"

#include <gtest/gtest.h>

#include "exchange/hresult.h"

namespace varnel {
namespace {

// The same failure exits the same way whichever layer met it.
TEST(OutcomeTest, ExitStatusByDomain) {
  EXPECT_EQ(ExitStatus(Outcome::Ok()), 0);
  EXPECT_EQ(ExitStatus(Outcome::Ldap(32)), 32);
  EXPECT_EQ(ExitStatus(Outcome::Ldap(0x51)), 0x51);
  EXPECT_EQ(ExitStatus(Outcome::Ldap(300)), 254);
  EXPECT_EQ(ExitStatus(Outcome::Varnel(-1)), 255);
  EXPECT_EQ(ExitStatus(Outcome::Varnel(1)), 1);
  EXPECT_EQ(ExitStatus(Outcome::Varnel(-7)), 254);
  // Directory errors wrapped as component-object codes exit with their LDAP code.
  EXPECT_EQ(ExitStatus(Outcome::HResult(kEDsNoSuchObject)), 32);
  EXPECT_EQ(ExitStatus(Outcome::HResult(MakeHResult(0x80070005))), 50);
  EXPECT_EQ(ExitStatus(Outcome::HResult(kEObjectAlreadyExists)), 68);
  EXPECT_EQ(ExitStatus(Outcome::HResult(MakeHResult(0x8007203A))), 0x51);
  // Codes that stand for no directory error do not fit in 8 bits.
  EXPECT_EQ(ExitStatus(Outcome::HResult(kEAdsBadParameter)), 254);
  EXPECT_EQ(ExitStatus(Outcome::HResult(kENoInterface)), 254);
  EXPECT_EQ(ExitStatus(Outcome::HResult(MakeHResult(0x800720A5))), 254);  // ERROR_DS_GENERIC_ERROR
}

}  // namespace
}  // namespace varnel
