// The actions of the tool, one file each, and the one list that makes the
// run's action from its settings. Adding an action: its file in actions/,
// its factory below and its row in action_list.cc (with its RunAction value
// and switch in the command line).
#pragma once

#include <memory>

#include "actions/action.h"
#include "exchange/recipient_rules.h"
#include "exchange/run_settings.h"
#include "exchange/startup_facts.h"

namespace varnel {

// The run's action, or null for RunAction::None. `startup` is what the
// directory start-up learnt; `guids` gives new mailboxes their GUIDs.
std::unique_ptr<Action> MakeAction(const RunSettings& settings, const StartupFacts& startup,
                                   const GuidSource& guids);

std::unique_ptr<Action> MakeClearAction(const RunSettings& settings, const StartupFacts& startup,
                                        const GuidSource& guids);
std::unique_ptr<Action> MakeCreateMailboxAction(const RunSettings& settings,
                                                const StartupFacts& startup,
                                                const GuidSource& guids);
std::unique_ptr<Action> MakeMailEnableAction(const RunSettings& settings,
                                             const StartupFacts& startup, const GuidSource& guids);
std::unique_ptr<Action> MakeMoveMailboxAction(const RunSettings& settings,
                                              const StartupFacts& startup, const GuidSource& guids);
std::unique_ptr<Action> MakeUpdateAction(const RunSettings& settings, const StartupFacts& startup,
                                         const GuidSource& guids);

}  // namespace varnel
