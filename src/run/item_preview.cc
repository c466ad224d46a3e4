#include "run/item_preview.h"

#include "exchange/object_plan.h"
#include "exchange/work_item.h"
#include "text/string_helpers.h"

namespace varnel {

ItemPreview::ItemPreview(bool whatIf, const std::vector<WorkItem>& items) : whatIf_(whatIf) {
  if (!whatIf) return;
  std::set<std::string> seen;
  for (const WorkItem& item : items) {
    if (!seen.insert(LowerCase(item.dn)).second) repeated_.insert(LowerCase(item.dn));
  }
}

void ItemPreview::Before(const std::string& key, ObjectRead& object) const {
  if (!whatIf_ || !object.found()) return;
  if (auto previewed = previewed_.find(key); previewed != previewed_.end())
    object.entry.attributes = previewed->second.attributes;
}

void ItemPreview::After(const std::string& key, const WorkItem& item, const ObjectRead& object,
                        const ItemPlan& planned) {
  if (!whatIf_ || !object.found() || !planned.outcome.ok() ||
      !repeated_.contains(LowerCase(item.dn)))
    return;
  LdapEntry after = object.entry;
  ApplyModifications(planned.plan.mods, &after);
  previewed_[key] = std::move(after);
}

}  // namespace varnel
