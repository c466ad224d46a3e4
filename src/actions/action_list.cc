#include "actions/action_list.h"

namespace varnel {
namespace {

struct ActionRow {
  RunAction action;
  std::unique_ptr<Action> (*make)(const RunSettings&, const StartupFacts&, const GuidSource&);
};

constexpr ActionRow kActions[] = {
    {RunAction::Clear, MakeClearAction},
    {RunAction::CreateMailbox, MakeCreateMailboxAction},
    {RunAction::MailEnable, MakeMailEnableAction},
    {RunAction::MoveMailbox, MakeMoveMailboxAction},
    {RunAction::Update, MakeUpdateAction},
};

}  // namespace

std::unique_ptr<Action> MakeAction(const RunSettings& settings, const StartupFacts& startup,
                                   const GuidSource& guids) {
  for (const ActionRow& row : kActions) {
    if (row.action == settings.action) return row.make(settings, startup, guids);
  }
  return nullptr;
}

}  // namespace varnel
