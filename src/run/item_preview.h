// -whatif: the run plans every item and writes nothing. An object the list
// names more than once (letter case aside) is planned each time from what
// its earlier items would have left, and each plan that would change
// something is kept as an LDIF record.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "actions/action.h"

namespace varnel {

struct WorkItem;

class ItemPreview {
 public:
  // Inactive (every call a no-op) unless `whatIf`.
  ItemPreview(bool whatIf, const std::vector<WorkItem>& items);

  bool active() const { return whatIf_; }
  // Gives `object` (found, named by the lower-case `key`) what the earlier
  // items of it would have left.
  void Before(const std::string& key, ObjectRead& object) const;
  // `item`'s plan from `object`: what it would leave, for the later items of
  // the object.
  void After(const std::string& key, const WorkItem& item, const ObjectRead& object,
             const ItemPlan& planned);

 private:
  bool whatIf_;
  std::set<std::string> repeated_;              // lower-case DNs named more than once
  std::map<std::string, LdapEntry> previewed_;  // lower-case DN -> as planned so far
};

}  // namespace varnel
