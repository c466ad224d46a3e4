// The rules by which a directory object becomes a mailbox owner or a mail
// recipient: which objects offer which interface, and what creating a
// mailbox, moving one and mail-enabling stage on an object as read. Pure
// functions of the object and the facts of the run: nothing is read or
// written here. A failed stage ends in an outcome whose code is that of the
// Exchange management interfaces.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "diag/outcome.h"
#include "exchange/hresult.h"
#include "exchange/mail_database.h"
#include "ldap/ldap_connection.h"

namespace varnel {

// Fills its argument with random bytes (a new mailbox's GUID); false when it
// cannot.
using GuidSource = std::function<bool(std::span<uint8_t>)>;

// The attributes the rules decide on, read with the object.
const std::vector<std::string>& RecipientRuleAttributes();

// First value of an attribute (letter case ignored), or "".
std::string FirstValue(const LdapEntry& entry, const std::string& name);

// The most specific class: the last objectClass value as the server sent them.
std::string MostSpecificClass(const LdapEntry& entry);

enum class RecipientInterface { kMailboxStore, kMailRecipient };

// A recipient the tool may change: a user (not a computer), a contact, a
// group or a public folder. Mail databases, servers, containers and the
// organisation are none, however many Exchange attributes they hold.
bool IsRecipientObject(const LdapEntry& object);

// Users (and inetOrgPersons) offer both interfaces; groups and contacts only
// the mail recipient one.
bool OffersInterface(const LdapEntry& object, RecipientInterface kind);

// Creating a mailbox in the database `mdbDn`: kEObjectAlreadyExists when the
// object has one, the database's read code, kEAdsPropertyInvalid when an
// alias is needed and none can be made, the administrative group's read code
// when a legacy DN must be made, kEFail when no GUID can be had. On success
// appends the replacements to *staged.
Outcome StageCreateMailbox(const LdapEntry& object, const DatabaseFacts& database,
                           const GuidSource& guids, std::vector<LdapModification>* staged);

// Moving the mailbox to `mdbDn`: kEAdsPropertyNotFound without a mailbox,
// kEObjectAlreadyExists when it is there already, the database's read code.
Outcome StageMoveMailbox(const LdapEntry& object, const std::string& mdbDn,
                         const DatabaseFacts& database, std::vector<LdapModification>* staged);

// Mail-enabling with `targetAddress` (groups take none): kEObjectAlreadyExists
// for a recipient already, kEAdsBadParameter without an address,
// kEAdsPropertyInvalid when no alias can be made, the organisation's read
// code when a legacy DN must be made.
Outcome StageMailEnable(const LdapEntry& object, const std::string& targetAddress,
                        const OrganisationFacts& organisation,
                        std::vector<LdapModification>* staged);

}  // namespace varnel
