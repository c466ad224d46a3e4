#include "exchange/quota.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace varnel {
namespace {

using Strings = std::vector<std::string>;

// The settings a -quota text queues, or nullopt when it is rejected.
std::optional<Strings> SettingsFor(const std::string& text) {
  std::optional<QuotaFigures> figures = ParseQuota(text);
  if (!figures) return std::nullopt;
  return QuotaSettings(*figures);
}

std::optional<Strings> UnsetFor(const std::string& text) {
  std::optional<QuotaFigures> figures = ParseQuota(text);
  if (!figures) return std::nullopt;
  return QuotaUnsetLimits(*figures);
}

TEST(QuotaFigureTest, FollowsTheDecimalConversionRule) {
  EXPECT_EQ(QuotaFigureFromText(""), -1);
  EXPECT_EQ(QuotaFigureFromText("100"), 100);
  EXPECT_EQ(QuotaFigureFromText("  \t42MB"), 42);
  EXPECT_EQ(QuotaFigureFromText("+7"), 7);
  EXPECT_EQ(QuotaFigureFromText("-1"), -1);
  EXPECT_EQ(QuotaFigureFromText("-25"), -25);
  EXPECT_EQ(QuotaFigureFromText("abc"), 0);
  EXPECT_EQ(QuotaFigureFromText(" "), 0);
  EXPECT_EQ(QuotaFigureFromText("1 2"), 1);
  EXPECT_EQ(QuotaFigureFromText("- 5"), 0);
}

TEST(QuotaFigureTest, SaturatesInsteadOfWrapping) {
  EXPECT_EQ(QuotaFigureFromText("2147483647"), INT_MAX);
  EXPECT_EQ(QuotaFigureFromText("2147483648"), INT_MAX);
  EXPECT_EQ(QuotaFigureFromText("4294967396"), INT_MAX);  // would wrap to 100
  EXPECT_EQ(QuotaFigureFromText("99999999999999999999999999"), INT_MAX);
  EXPECT_EQ(QuotaFigureFromText("-2147483648"), INT_MIN);
  EXPECT_EQ(QuotaFigureFromText("-99999999999999999999"), INT_MIN);
}

TEST(QuotaTest, FullQuotaSetsAllThreeLimitsInKilobytes) {
  EXPECT_EQ(SettingsFor("100:200:300"),
            (Strings{"mDBUseDefaults:FALSE", "mDBStorageQuota:102400", "mDBOverQuotaLimit:204800",
                     "mDBOverHardQuotaLimit:307200"}));
  EXPECT_EQ(UnsetFor("100:200:300"), Strings{});
  EXPECT_EQ(SettingsFor("100:100:100"),
            (Strings{"mDBUseDefaults:FALSE", "mDBStorageQuota:102400", "mDBOverQuotaLimit:102400",
                     "mDBOverHardQuotaLimit:102400"}));
  EXPECT_EQ(SettingsFor("0:0:0"), (Strings{"mDBUseDefaults:FALSE", "mDBStorageQuota:0",
                                           "mDBOverQuotaLimit:0", "mDBOverHardQuotaLimit:0"}));
}

TEST(QuotaTest, NoFigureMeansDatabaseDefaults) {
  for (const char* text : {"::", "-1:-1:-1", "", "-5::"}) {
    EXPECT_EQ(SettingsFor(text), Strings{"mDBUseDefaults:TRUE"}) << text;
    EXPECT_EQ(UnsetFor(text),
              (Strings{"mDBStorageQuota", "mDBOverQuotaLimit", "mDBOverHardQuotaLimit"}))
        << text;
  }
}

TEST(QuotaTest, BlanksMayOnlyComeBeforeGivenFigures) {
  EXPECT_EQ(SettingsFor("::500"),
            (Strings{"mDBUseDefaults:FALSE", "mDBOverHardQuotaLimit:512000"}));
  EXPECT_EQ(UnsetFor("::500"), (Strings{"mDBStorageQuota", "mDBOverQuotaLimit"}));
  EXPECT_EQ(SettingsFor(":200:300"), (Strings{"mDBUseDefaults:FALSE", "mDBOverQuotaLimit:204800",
                                              "mDBOverHardQuotaLimit:307200"}));
  EXPECT_EQ(UnsetFor(":200:300"), Strings{"mDBStorageQuota"});
  for (const char* text : {"100", "100::", "100:200", "100::300", ":200:", "300:200:100",
                           "100:300:200", "200:100:300"}) {
    EXPECT_FALSE(ParseQuota(text).has_value()) << text;
  }
}

TEST(QuotaTest, ExtraColonsStayInTheThirdFigure) {
  // "300:400" in the third piece converts to 300 by the decimal rule.
  EXPECT_EQ(SettingsFor("100:200:300:400"),
            (Strings{"mDBUseDefaults:FALSE", "mDBStorageQuota:102400", "mDBOverQuotaLimit:204800",
                     "mDBOverHardQuotaLimit:307200"}));
}

TEST(QuotaTest, FiguresBeyondTheIntegerSyntaxAreRejected) {
  EXPECT_EQ(SettingsFor("2097151:2097151:2097151"),
            (Strings{"mDBUseDefaults:FALSE", "mDBStorageQuota:2147482624",
                     "mDBOverQuotaLimit:2147482624", "mDBOverHardQuotaLimit:2147482624"}));
  EXPECT_EQ(SettingsFor("::2097151"),
            (Strings{"mDBUseDefaults:FALSE", "mDBOverHardQuotaLimit:2147482624"}));
  for (const char* text : {"::2097152", "1:2:2097152", "2097152:2097152:2097152", "::4194304",
                           "::4294967396", "::99999999999999", "2097151::"}) {
    EXPECT_FALSE(ParseQuota(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace varnel
