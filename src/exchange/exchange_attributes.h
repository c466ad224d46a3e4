// The Exchange attributes that -clear removes, and which of the attributes the
// tool may touch hold bytes rather than text.
#pragma once

#include <string>
#include <vector>

namespace varnel {

// The 91 attribute names that -clear removes, in the order the removals go
// into the request and with the spelling sent on the wire. Built on the first
// call (the run driver makes that call at start-up) and only read afterwards.
const std::vector<std::string>& ExchangeAttributeList();

// True for the attributes the tool may touch whose values are bytes, not text
// (octet strings, security descriptors, SIDs); letter case ignored.
bool IsBinaryAttribute(const std::string& name);

}  // namespace varnel
