#include "exchange/ldap_hresult.h"

#include <gtest/gtest.h>

#include "platform/system_messages.h"

namespace varnel {
namespace {

TEST(LdapHResultTest, MapsTheWellKnownCodes) {
  EXPECT_EQ(HResultFromLdapCode(0), 0);
  EXPECT_EQ(HResultFromLdapCode(32), MakeHResult(0x80072030));
  EXPECT_EQ(HResultFromLdapCode(50), MakeHResult(0x80070005));
  EXPECT_EQ(HResultFromLdapCode(0x51), MakeHResult(0x8007203A));
  EXPECT_EQ(HResultFromLdapCode(49), MakeHResult(0x8007052E));
  EXPECT_EQ(HResultFromLdapCode(53), MakeHResult(0x80072035));
  EXPECT_EQ(HResultFromLdapCode(68), MakeHResult(0x80071392));
  EXPECT_EQ(HResultFromLdapCode(0x5b), MakeHResult(0x800704C9));
  EXPECT_EQ(HResultFromLdapCode(0x55), MakeHResult(0x800705B4));
  EXPECT_EQ(HResultFromLdapCode(4), MakeHResult(0x80072023));
}

TEST(LdapHResultTest, MapsDirectoryErrorsToTheirWin32Codes) {
  const std::pair<int, uint32_t> pairs[] = {{19, 8239}, {16, 8202},   {17, 8204}, {20, 8205},
                                            {21, 8203}, {34, 8242},   {65, 8212}, {8, 8232},
                                            {1, 8224},  {0x61, 8260}, {0x5a, 8},  {80, 31}};
  for (const auto& [ldap, win32] : pairs) EXPECT_EQ(Win32FromLdapCode(ldap), win32) << ldap;
}

TEST(LdapHResultTest, UnknownCodesBecomeTheGenericDirectoryError) {
  for (int code : {14, 15, 0x4c, 0x62, 118, 4096, -1, -18}) {
    EXPECT_EQ(Win32FromLdapCode(code), 8341u) << code;
    EXPECT_EQ(HResultFromLdapCode(code), MakeHResult(0x80072095)) << code;
  }
}

TEST(LdapHResultTest, EveryMappedCodeHasASystemText) {
  for (int code = 1; code <= 0x61; ++code) {
    const HResult hr = HResultFromLdapCode(code);
    ASSERT_NE(hr, 0) << code;
    auto text = LookupSystemMessage(static_cast<uint32_t>(hr));
    ASSERT_TRUE(text.has_value()) << code;
    EXPECT_EQ(text->back(), '\n') << code;
  }
}

}  // namespace
}  // namespace varnel
