#include "ldap/netlogon_response.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

// The answer the sandbox's Samba DC gave to an LDAP ping for varnel.test.
const std::string kSambaAnswer(
    "\x17\x00\x00\x00\xbd\x11\x00\x00\x2b\xdb\xbc\x80\xad\xd7\x75\x4e\xb8\x36\x6e\xa6\x0d\x39"
    "\x83\xaf\x06\x76\x61\x72\x6e\x65\x6c\x04\x74\x65\x73\x74\x00\xc0\x18\x03\x64\x63\x31\xc0"
    "\x18\x06\x56\x41\x52\x4e\x45\x4c\x00\x03\x44\x43\x31\x00\x00\x17\x44\x65\x66\x61\x75\x6c"
    "\x74\x2d\x46\x69\x72\x73\x74\x2d\x53\x69\x74\x65\x2d\x4e\x61\x6d\x65\x00\xc0\x3b\x05\x00"
    "\x00\x00\xff\xff\xff\xff",
    94);

TEST(NetlogonResponseTest, ReadsTheNamesAndFlagsOfARealAnswer) {
  const std::optional<NetlogonResponse> response = ParseNetlogonResponse(kSambaAnswer);
  ASSERT_TRUE(response);
  EXPECT_NE(response->flags & kDcWritableFlag, 0u);
  EXPECT_NE(response->flags & kDcClosestFlag, 0u);
  EXPECT_EQ(response->dnsDomainName, "varnel.test");
  EXPECT_EQ(response->dnsHostName, "dc1.varnel.test");
  EXPECT_EQ(response->dcSiteName, "Default-First-Site-Name");
  EXPECT_EQ(response->clientSiteName, "Default-First-Site-Name");
}

TEST(NetlogonResponseTest, RefusesCutAnswersAndPointersThatLoopOrLeave) {
  // Cut anywhere before the client's site name ends.
  for (size_t size = 0; size < 86; ++size)
    EXPECT_FALSE(ParseNetlogonResponse(kSambaAnswer.substr(0, size))) << size;
  std::string looped = kSambaAnswer;
  looped[37] = '\xc0';  // the domain name's pointer, turned to point at itself
  looped[38] = '\x25';
  EXPECT_FALSE(ParseNetlogonResponse(looped));
  std::string outside = kSambaAnswer;
  outside[38] = '\x7f';
  EXPECT_FALSE(ParseNetlogonResponse(outside));
  std::string otherOpcode = kSambaAnswer;
  otherOpcode[0] = '\x13';
  EXPECT_FALSE(ParseNetlogonResponse(otherOpcode));
}

}  // namespace
}  // namespace varnel
