#include "exchange/exchange_attributes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace varnel {
namespace {

TEST(ExchangeAttributeListTest, HoldsTheNinetyOneNamesInOrder) {
  const std::vector<std::string>& list = ExchangeAttributeList();
  ASSERT_EQ(list.size(), 91u);
  EXPECT_EQ(list.front(), "altRecipient");
  EXPECT_EQ(list.back(), "reportToOriginator");
  EXPECT_EQ(std::set<std::string>(list.begin(), list.end()).size(), 91u) << "duplicate name";
  EXPECT_EQ(&list, &ExchangeAttributeList()) << "one process-wide list";
  // The directory's own spelling goes on the wire.
  EXPECT_EQ(list[7], "dLMemDefault");
  EXPECT_EQ(list[27], "mAPIRecipient");
  EXPECT_EQ(list[55], "msExchHideFromAddressLists");
  EXPECT_EQ(list[80], "mDBOverHardQuotaLimit");

  // Extension attributes in text order, right after unmergedAtts.
  auto first = std::find(list.begin(), list.end(), "extensionAttribute1");
  ASSERT_NE(first, list.end());
  ASSERT_GE(first - list.begin(), 1);
  EXPECT_EQ(*(first - 1), "unmergedAtts");
  const std::vector<std::string> expected = {"extensionAttribute1",  "extensionAttribute10",
                                             "extensionAttribute11", "extensionAttribute12",
                                             "extensionAttribute13", "extensionAttribute14",
                                             "extensionAttribute15", "extensionAttribute2",
                                             "extensionAttribute3",  "extensionAttribute4",
                                             "extensionAttribute5",  "extensionAttribute6",
                                             "extensionAttribute7",  "extensionAttribute8",
                                             "extensionAttribute9",  "autoReply"};
  ASSERT_LE(static_cast<size_t>(first - list.begin()) + expected.size(), list.size());
  EXPECT_EQ(std::vector<std::string>(first, first + expected.size()), expected);
}

}  // namespace
}  // namespace varnel
