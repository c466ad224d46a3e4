#include "ldap/searches_ahead.h"

#include "text/string_helpers.h"

namespace varnel {
namespace {

// The same filter and the same attributes asked for, wherever from.
bool SameQuery(const LdapSearchRequest& a, const LdapSearchRequest& b) {
  return a.filter == b.filter && a.attributes == b.attributes &&
         a.attributesOnly == b.attributesOnly;
}

bool SameSearch(const LdapSearchRequest& a, const LdapSearchRequest& b) {
  return LowerCase(a.base) == LowerCase(b.base) && a.scope == b.scope && SameQuery(a, b);
}

// True when `dn` is `base` or below it; both lower case.
bool AtOrBelow(const std::string& dn, const std::string& base) {
  return base.empty() || dn == base ||
         (dn.size() > base.size() && dn.ends_with(base) && dn[dn.size() - base.size() - 1] == ',');
}

}  // namespace

void SearchesAhead::Send(const LdapSearchRequest& request) {
  Ahead ahead{request};
  if (session_.StartSearch(request, &ahead.id) == 0) ahead_.push_back(std::move(ahead));
}

void SearchesAhead::Answer(Ahead& ahead) {
  if (ahead.answered) return;
  ahead.rc = session_.FinishSearch(ahead.id, &ahead.entries);
  ahead.answered = true;
}

bool SearchesAhead::Named(const std::string& dn) const {
  for (const Ahead& ahead : ahead_) {
    if (!ahead.answered || ahead.rc != 0) continue;
    for (const LdapEntry& entry : ahead.entries)
      if (LowerCase(entry.dn) == dn) return true;
  }
  return false;
}

bool SearchesAhead::AnswerBelow(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) {
  const std::string base = LowerCase(request.base);
  if (request.scope != LdapScope::kSubtree || !Named(base)) return false;
  for (Ahead& ahead : ahead_) {
    const LdapSearchRequest& sent = ahead.request;
    if (sent.scope != LdapScope::kSubtree || !SameQuery(sent, request) ||
        !AtOrBelow(base, LowerCase(sent.base)))
      continue;
    Answer(ahead);
    if (ahead.rc != 0) continue;
    for (const LdapEntry& entry : ahead.entries)
      if (AtOrBelow(LowerCase(entry.dn), base)) entries->push_back(entry);
    return true;
  }
  return false;
}

int SearchesAhead::Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) {
  for (Ahead& ahead : ahead_) {
    if (ahead.used || !SameSearch(ahead.request, request)) continue;
    Answer(ahead);
    if (ahead.rc != 0) break;  // asked again, as it would have been
    ahead.used = true;
    entries->insert(entries->end(), ahead.entries.begin(), ahead.entries.end());
    return 0;
  }
  if (AnswerBelow(request, entries)) return 0;
  return session_.Search(request, entries);
}

}  // namespace varnel
