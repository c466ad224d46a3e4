// The per-object processing loop: applies the run's one action to each work
// item in order, with the progress line, per-item overrides and their mail
// database cache, the -upto and error stop rules and the closing summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel {

class DirectoryObjectService;
class LdapConnection;
class SwitchTable;
class TickCounter;
struct RunSettings;
struct WorkList;

// Looks up each item's DN as the directory stores it when the item's turn
// comes. Returns the status of the last failed item; else -1 when input lines
// were skipped; else 0.
int32_t ProcessWorkItems(LdapConnection& session, const SwitchTable& table,
                         const RunSettings& settings, const WorkList& work,
                         const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks);

}  // namespace varnel
