#include "diag/error_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "diag/item_lines.h"
#include "exchange/hresult.h"
#include "platform/system_messages.h"

namespace varnel {
namespace {

struct LineCase {
  uint32_t code;
  std::string out;
  std::string err;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const LineCase& c, std::ostream* os) { *os << std::hex << c.code; }

class AddAdsErrorTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(AddAdsErrorTest, AddsPrefixCodeAndText) {
  const LineCase& c = GetParam();
  ItemLines lines;
  const int32_t code = static_cast<int32_t>(c.code);
  EXPECT_EQ(AddAdsError(lines, " - ERROR: (ADsGetObject) ", Outcome::HResult(code)).code(), code);
  EXPECT_EQ(lines.out(), c.out);
  EXPECT_EQ(lines.err(), c.err);
  // A marker line always comes before the error line.
  std::string combined;
  lines.InOrder([&](std::string_view text) { combined += text; },
                [&](std::string_view text) { combined += text; });
  EXPECT_EQ(combined, c.out + c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, AddAdsErrorTest,
    ::testing::Values(
        LineCase{0, "", " - ERROR: (ADsGetObject) (0x0) Success"},
        LineCase{0x80005000, "adsi error\n",
                 " - ERROR: (ADsGetObject) (0x80005000) E_ADS_BAD_PATHNAME"},
        LineCase{0x80005011, "adsi error\n", " - ERROR: (ADsGetObject) (0x80005011) "},
        LineCase{0x8000500D, "adsi error\n",
                 " - ERROR: (ADsGetObject) (0x8000500d) E_ADS_PROPERTY_NOT_FOUND"},
        LineCase{0x80070005, "", " - ERROR: (ADsGetObject) (0x80070005) Access is denied.\n"},
        LineCase{0x80040E37, "", " - ERROR: (ADsGetObject) (0x80040e37) Unknown Error: 0x80040e37"},
        LineCase{0x80072030, "",
                 " - ERROR: (ADsGetObject) (0x80072030) There is no such object on the server.\n"},
        LineCase{0x80071392, "",
                 " - ERROR: (ADsGetObject) (0x80071392) The object already exists.\n"},
        LineCase{0x80004002, "",
                 " - ERROR: (ADsGetObject) (0x80004002) No such interface supported\n"},
        LineCase{0x80080005, "", " - ERROR: (ADsGetObject) (0x80080005) Unknown Error\n"},
        LineCase{0x0000002A, "", " - ERROR: (ADsGetObject) (0x2a) Unknown Error\n"}));

TEST(ErrorCodeTextTest, AdsBitsAreTestedAloneWhateverTheFacility) {
  ItemLines lines;
  // Facility 7 with both bits set in its low half: still a directory-service code.
  EXPECT_EQ(ErrorCodeText(lines, MakeHResult(0x80075000)), "");
  EXPECT_EQ(ErrorCodeText(lines, MakeHResult(0x80005014)), "E_ADS_INVALID_FILTER");
  // One of the two bits only: not a directory-service code.
  EXPECT_EQ(ErrorCodeText(lines, MakeHResult(0x80071000)), "Unknown Error\n");
  EXPECT_EQ(lines.out(), "adsi error\nadsi error\n");
  EXPECT_EQ(lines.err(), "");
}

TEST(ErrorCodeTextTest, FacilitiesWithoutSystemTextsAreShownAsUnknown) {
  ItemLines lines;
  EXPECT_EQ(ErrorCodeText(lines, MakeHResult(0xC00D0001)), "Unknown Error: 0xc00d0001");
  EXPECT_EQ(ErrorCodeText(lines, MakeHResult(0x80090308)), "Unknown Error: 0x80090308");
}

// The last name of the table's first run, the gap after it, and a code
// with the right low bits that is no failure.
TEST(AdsErrorNameTest, NamesOnlyDirectoryServiceFailures) {
  EXPECT_EQ(AdsErrorName(MakeHResult(0x80005010)), "E_ADS_COLUMN_NOT_SET");
  EXPECT_EQ(AdsErrorName(MakeHResult(0x80005013)), "");
  EXPECT_EQ(AdsErrorName(0x00005000), "");
}

TEST(SystemMessageTextTest, Win32CodesShareTextsWithTheirComponentForm) {
  EXPECT_EQ(SystemMessageText(5), "Access is denied.\n");
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80070005)), "Access is denied.\n");
}

TEST(SystemMessageTextTest, ComponentCodesMatchAsAWhole) {
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80004002)), "No such interface supported\n");
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80004005)), "Unspecified error\n");
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80004003)), "Invalid pointer\n");
  // The same low half under another facility or severity is not that code.
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80084002)), "Unknown Error\n");
  EXPECT_EQ(SystemMessageText(0x00004002), "Unknown Error\n");
}

TEST(SystemMessageTextTest, UnknownCodesFallBack) {
  EXPECT_EQ(SystemMessageText(42), "Unknown Error\n");
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80079999)), "Unknown Error\n");
  EXPECT_FALSE(LookupSystemMessage(0x80079999).has_value());
}

}  // namespace
}  // namespace varnel
