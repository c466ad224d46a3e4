// Walking up a distinguished name: the parent of an entry, found by cutting
// the DN at its first separating comma (escaped and quoted commas belong to
// the first RDN).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// The DN of the entry's parent, or nothing for a single-RDN (or empty) DN.
// Blanks after the separating comma are dropped.
std::optional<std::string> ParentDn(std::string_view dn);

}  // namespace varnel
