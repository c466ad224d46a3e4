#include "ldap/netlogon_response.h"

namespace varnel {
namespace {

// LOGON_SAM_LOGON_RESPONSE_EX, and the same answer for a user the DC does not
// know (the ping names no user, but a DC may still send it).
constexpr uint16_t kLogonResponseEx = 23;
constexpr uint16_t kUserUnknownEx = 25;
constexpr size_t kFixedPart = 2 + 2 + 4 + 16;  // opcode, zero, flags, domain GUID
constexpr size_t kMaxNameLength = 255;

uint32_t LittleEndian(std::string_view bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

// Reads the compressed name at *at into *name and moves *at past it.
bool ReadName(std::string_view bytes, size_t* at, std::string* name) {
  size_t position = *at;
  bool jumped = false;
  name->clear();
  while (true) {
    if (position >= bytes.size()) return false;
    const auto length = static_cast<unsigned char>(bytes[position]);
    if ((length & 0xc0) == 0xc0) {
      // A pointer: two bytes, to an earlier place. Each jump must go
      // backwards, so that no chain of pointers can loop.
      if (position + 1 >= bytes.size()) return false;
      const size_t target =
          ((length & 0x3fu) << 8) | static_cast<unsigned char>(bytes[position + 1]);
      if (target >= position) return false;
      if (!jumped) *at = position + 2;
      jumped = true;
      position = target;
      continue;
    }
    if ((length & 0xc0) != 0) return false;  // the reserved label kinds
    if (length == 0) {
      if (!jumped) *at = position + 1;
      return true;
    }
    if (position + 1 + length > bytes.size()) return false;
    if (!name->empty()) name->push_back('.');
    name->append(bytes.substr(position + 1, length));
    if (name->size() > kMaxNameLength) return false;
    position += 1 + length;
  }
}

}  // namespace

std::optional<NetlogonResponse> ParseNetlogonResponse(std::string_view bytes) {
  if (bytes.size() < kFixedPart) return std::nullopt;
  const auto opcode = static_cast<uint16_t>(LittleEndian(bytes, 0, 2));
  if (opcode != kLogonResponseEx && opcode != kUserUnknownEx) return std::nullopt;
  NetlogonResponse response;
  response.flags = LittleEndian(bytes, 4, 4);
  size_t at = kFixedPart;
  std::string forest, netbiosDomain, netbiosComputer, user;
  for (std::string* name :
       {&forest, &response.dnsDomainName, &response.dnsHostName, &netbiosDomain, &netbiosComputer,
        &user, &response.dcSiteName, &response.clientSiteName}) {
    if (!ReadName(bytes, &at, name)) return std::nullopt;
  }
  return response;
}

}  // namespace varnel
