#include "exchange/quota.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace varnel {
namespace {

using Strings = std::vector<std::string>;

// The settings a -quota text queues, each as "name:value", or nullopt when
// it is rejected.
std::optional<Strings> SettingsFor(const std::string& text) {
  std::optional<QuotaFigures> figures = ParseQuota(text);
  if (!figures) return std::nullopt;
  Strings settings;
  for (const QuotaSetting& setting : QuotaSettings(*figures))
    settings.push_back(setting.attribute + ":" + setting.value);
  return settings;
}

std::optional<Strings> UnsetFor(const std::string& text) {
  std::optional<QuotaFigures> figures = ParseQuota(text);
  if (!figures) return std::nullopt;
  return QuotaUnsetLimits(*figures);
}

TEST(QuotaTest, AFigureIsDigitsOnly) {
  // Each of these used to become a limit by the C conversion rule: "abc" 0 KB,
  // "1O0" 1 MB, "-5" the database default, "1.5" 1 MB.
  for (const char* text : {"abc:def:ghi", "1O0:200:300", "-5:-3:-1", "1.5:2:3", " 1:2:3", "+1:2:3",
                           "1 :2:3", "1:2:3x", "0x10:20:30", "-0:1:2", "--1:1:2"}) {
    EXPECT_FALSE(ParseQuota(text).has_value()) << text;
  }
}

TEST(QuotaTest, AtMostThreeFigures) {
  for (const char* text : {"1:2:3:4", "100:200:300:400", "1:2:3:", ":::", "::::"}) {
    EXPECT_FALSE(ParseQuota(text).has_value()) << text;
  }
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
  for (const char* text : {"::", "-1:-1:-1", "", ":-1:", "-1::"}) {
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
