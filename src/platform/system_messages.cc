#include "platform/system_messages.h"

#include <array>

namespace varnel {
namespace {

struct MessageRow {
  uint32_t code;
  std::string_view text;
};

// Win32 codes: the ones the LDAP result mapping produces, plus the common
// codes a component-object failure may carry.
constexpr std::array kWin32Messages{
    MessageRow{0, "The operation completed successfully.\n"},
    MessageRow{1, "Incorrect function.\n"},
    MessageRow{2, "The system cannot find the file specified.\n"},
    MessageRow{3, "The system cannot find the path specified.\n"},
    MessageRow{5, "Access is denied.\n"},
    MessageRow{6, "The handle is invalid.\n"},
    MessageRow{8, "Not enough memory resources are available to process this command.\n"},
    MessageRow{13, "The data is invalid.\n"},
    MessageRow{14, "Not enough memory resources are available to complete this operation.\n"},
    MessageRow{31, "A device attached to the system is not functioning.\n"},
    MessageRow{50, "The request is not supported.\n"},
    MessageRow{87, "The parameter is incorrect.\n"},
    MessageRow{234, "More data is available.\n"},
    MessageRow{1223, "The operation was canceled by the user.\n"},
    MessageRow{1225, "The remote computer refused the network connection.\n"},
    MessageRow{1326, "The user name or password is incorrect.\n"},
    MessageRow{1460, "This operation returned because the timeout period expired.\n"},
    MessageRow{5010, "The object already exists.\n"},
    MessageRow{8202, "The specified directory service attribute or value does not exist.\n"},
    MessageRow{8203, "The attribute syntax specified to the directory service is invalid.\n"},
    MessageRow{8204, "The attribute type specified to the directory service is not defined.\n"},
    MessageRow{8205, "The specified directory service attribute or value already exists.\n"},
    MessageRow{8206, "The directory service is busy.\n"},
    MessageRow{8207, "The directory service is unavailable.\n"},
    MessageRow{8212,
               "The requested operation did not satisfy one or more constraints associated with "
               "the class of the object.\n"},
    MessageRow{8213,
               "The directory service can perform the requested operation only on a leaf "
               "object.\n"},
    MessageRow{8214,
               "The directory service cannot perform the requested operation on the RDN "
               "attribute of an object.\n"},
    MessageRow{8215,
               "The directory service detected an attempt to modify the object class of an "
               "object.\n"},
    MessageRow{8224, "An operations error occurred.\n"},
    MessageRow{8225, "A protocol error occurred.\n"},
    MessageRow{8226, "The time limit for this request was exceeded.\n"},
    MessageRow{8227, "The size limit for this request was exceeded.\n"},
    MessageRow{8228, "The administrative limit for this request was exceeded.\n"},
    MessageRow{8229, "The compare response was false.\n"},
    MessageRow{8230, "The compare response was true.\n"},
    MessageRow{8231, "The requested authentication method is not supported by the server.\n"},
    MessageRow{8232, "A more secure authentication method is required for this server.\n"},
    MessageRow{8233, "Inappropriate authentication.\n"},
    MessageRow{8234, "The authentication mechanism is unknown.\n"},
    MessageRow{8235, "A referral was returned from the server.\n"},
    MessageRow{8236, "The server does not support the requested critical extension.\n"},
    MessageRow{8237, "This request requires a secure connection.\n"},
    MessageRow{8238, "Inappropriate matching.\n"},
    MessageRow{8239, "A constraint violation occurred.\n"},
    MessageRow{8240, "There is no such object on the server.\n"},
    MessageRow{8241, "There is an alias problem.\n"},
    MessageRow{8242, "An invalid dn syntax has been specified.\n"},
    MessageRow{8243, "The object is a leaf object.\n"},
    MessageRow{8244, "There is an alias dereferencing problem.\n"},
    MessageRow{8245, "The server is unwilling to process the request.\n"},
    MessageRow{8246, "A loop has been detected.\n"},
    MessageRow{8247, "There is a naming violation.\n"},
    MessageRow{8248, "The result set is too large.\n"},
    MessageRow{8249, "The operation affects multiple DSAs\n"},
    MessageRow{8250, "The server is not operational.\n"},
    MessageRow{8251, "A local error has occurred.\n"},
    MessageRow{8252, "An encoding error has occurred.\n"},
    MessageRow{8253, "A decoding error has occurred.\n"},
    MessageRow{8254, "The search filter cannot be recognized.\n"},
    MessageRow{8255, "One or more parameters are illegal.\n"},
    MessageRow{8256, "The specified method is not supported.\n"},
    MessageRow{8257, "No results were returned.\n"},
    MessageRow{8258, "The specified control is not supported by the server.\n"},
    MessageRow{8259, "A referral loop was detected by the client.\n"},
    MessageRow{8260, "The preset referral limit was exceeded.\n"},
    MessageRow{8261, "The search requires a SORT control.\n"},
    MessageRow{8262, "The search results exceed the offset range specified.\n"},
    MessageRow{8341, "A directory service error has occurred.\n"},
};

// General component-object codes, matched as a whole.
constexpr std::array kComponentMessages{
    MessageRow{0x80004001, "Not implemented\n"},
    MessageRow{0x80004002, "No such interface supported\n"},
    MessageRow{0x80004003, "Invalid pointer\n"},
    MessageRow{0x80004004, "Operation aborted\n"},
    MessageRow{0x80004005, "Unspecified error\n"},
    MessageRow{0x8000FFFF, "Catastrophic failure\n"},
};

template <size_t N>
std::optional<std::string_view> Find(const std::array<MessageRow, N>& table, uint32_t code) {
  for (const MessageRow& row : table) {
    if (row.code == code) return row.text;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string_view> LookupSystemMessage(uint32_t code) {
  if (code <= 0xFFFFu) return Find(kWin32Messages, code);
  if ((code & 0xFFFF0000u) == 0x80070000u) return Find(kWin32Messages, code & 0xFFFFu);
  return Find(kComponentMessages, code);
}

}  // namespace varnel
