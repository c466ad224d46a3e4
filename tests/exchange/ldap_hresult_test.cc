#include "exchange/ldap_hresult.h"

#include <gtest/gtest.h>

#include <utility>

#include "diag/error_texts.h"
#include "platform/system_messages.h"

namespace varnel {
namespace {

// What a user reads for the results a run meets most: the system's own text
// of the code the result stands for; success stays success.
TEST(LdapHResultTest, CommonResultsReadAsTheSystemTexts) {
  EXPECT_EQ(HResultFromLdapCode(0), 0);
  const std::pair<int, const char*> texts[] = {{32, "There is no such object on the server.\n"},
                                               {50, "Access is denied.\n"},
                                               {49, "The user name or password is incorrect.\n"},
                                               {68, "The object already exists.\n"},
                                               {0x51, "The server is not operational.\n"}};
  for (const auto& [ldap, text] : texts)
    EXPECT_EQ(SystemMessageText(HResultFromLdapCode(ldap)), text) << ldap;
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
