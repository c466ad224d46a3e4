#include "support/fake_ldap_connection.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

namespace varnel::testing {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         strcasecmp(text.c_str() + (text.size() - suffix.size()), suffix.c_str()) == 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Simple-pattern match where '*' stands for any run of characters.
bool WildcardMatch(const std::string& pattern, const std::vector<bool>& isStar,
                   const std::string& text, size_t p = 0, size_t t = 0) {
  if (p == pattern.size()) return t == text.size();
  if (isStar[p]) {
    for (size_t k = t; k <= text.size(); ++k)
      if (WildcardMatch(pattern, isStar, text, p + 1, k)) return true;
    return false;
  }
  if (t == text.size()) return false;
  if (std::tolower(static_cast<unsigned char>(pattern[p])) !=
      std::tolower(static_cast<unsigned char>(text[t])))
    return false;
  return WildcardMatch(pattern, isStar, text, p + 1, t + 1);
}

class FilterMatcher {
 public:
  FilterMatcher(const std::string& filter, const LdapEntry& entry) : f_(filter), entry_(entry) {
    if (f_.empty() || f_[0] != '(') f_ = "(" + f_ + ")";
  }
  bool Run() {
    bool result = Filter();
    return ok_ && pos_ == f_.size() && result;
  }

 private:
  bool Filter() {
    if (!Expect('(')) return false;
    bool result = false;
    if (pos_ < f_.size() && (f_[pos_] == '&' || f_[pos_] == '|')) {
      bool isAnd = f_[pos_++] == '&';
      result = isAnd;
      while (ok_ && pos_ < f_.size() && f_[pos_] == '(') {
        bool item = Filter();
        result = isAnd ? (result && item) : (result || item);
      }
    } else if (pos_ < f_.size() && f_[pos_] == '!') {
      ++pos_;
      result = !Filter();
    } else {
      result = Item();
    }
    Expect(')');
    return result;
  }
  bool Item() {
    size_t eq = f_.find('=', pos_);
    if (eq == std::string::npos) return Fail();
    std::string attr = f_.substr(pos_, eq - pos_);
    pos_ = eq + 1;
    std::string value;
    std::vector<bool> isStar;
    while (pos_ < f_.size() && f_[pos_] != ')') {
      char c = f_[pos_];
      if (c == '(') return Fail();
      if (c == '\\') {
        if (pos_ + 2 >= f_.size()) return Fail();
        int hi = HexValue(f_[pos_ + 1]), lo = HexValue(f_[pos_ + 2]);
        if (hi < 0 || lo < 0) return Fail();
        value.push_back(static_cast<char>(hi * 16 + lo));
        isStar.push_back(false);
        pos_ += 3;
        continue;
      }
      value.push_back(c);
      isStar.push_back(c == '*');
      ++pos_;
    }
    if (EqualNoCase(attr, "objectclass") && value == "*") return true;
    const std::vector<std::string>* values = entry_.Find(attr);
    if (values == nullptr) return false;
    if (value == "*" && isStar[0]) return !values->empty();
    bool wildcard = std::find(isStar.begin(), isStar.end(), true) != isStar.end();
    for (const std::string& v : *values) {
      if (wildcard ? WildcardMatch(value, isStar, v) : EqualNoCase(v, value)) return true;
    }
    return false;
  }
  bool Expect(char c) {
    if (pos_ < f_.size() && f_[pos_] == c) {
      ++pos_;
      return true;
    }
    return Fail();
  }
  bool Fail() {
    ok_ = false;
    pos_ = f_.size();
    return false;
  }

  std::string f_;
  const LdapEntry& entry_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

bool FakeFilterMatches(const std::string& filter, const LdapEntry& entry) {
  return FilterMatcher(filter, entry).Run();
}

void FakeLdapConnection::AddEntry(
    const std::string& dn,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& attributes) {
  LdapEntry entry;
  entry.dn = dn;
  for (const auto& [name, values] : attributes) entry.attributes.push_back({name, values});
  if (!dn.empty() && entry.Find("distinguishedName") == nullptr)
    entry.attributes.push_back({"distinguishedName", {dn}});
  entries_.push_back(std::move(entry));
}

const LdapEntry* FakeLdapConnection::FindEntry(const std::string& dn) const {
  for (const LdapEntry& entry : entries_)
    if (EqualNoCase(entry.dn, dn)) return &entry;
  return nullptr;
}

std::string FakeLdapConnection::Value(const std::string& dn, const std::string& attribute) const {
  const LdapEntry* entry = FindEntry(dn);
  if (entry == nullptr) return "";
  const std::vector<std::string>* values = entry->Find(attribute);
  return values == nullptr || values->empty() ? "" : values->front();
}

bool FakeLdapConnection::Has(const std::string& dn, const std::string& attribute) const {
  const LdapEntry* entry = FindEntry(dn);
  return entry != nullptr && entry->Find(attribute) != nullptr;
}

int FakeLdapConnection::SetOption(LdapOption option, int value) {
  options.push_back({option, value});
  return optionResult;
}

int FakeLdapConnection::NegotiateBind() {
  ++binds;
  if (bindResult != 0) return bindResult;
  constexpr int kAuthUnknown = 0x56;  // what libldap makes of SASL's "too weak"
  if (security.sasl.min > serverMaxSsf) return kAuthUnknown;
  bound.tlsInPlace = tlsInPlace;
  bound.saslSsf = std::min(security.sasl.max, serverMaxSsf);
  return 0;
}

int FakeLdapConnection::SetSaslSsf(const SaslSsfRange& range) {
  saslRanges.push_back(range);
  if (saslRangeResult != 0) return saslRangeResult;
  security.sasl = range;
  return 0;
}

int FakeLdapConnection::Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) {
  searches.push_back(request);
  int hookResult = 0;
  if (searchHook && searchHook(request, entries, &hookResult)) return hookResult;
  if (searchResult != 0) return searchResult;

  const LdapEntry* base = FindEntry(request.base);
  if (base == nullptr) return 32;  // noSuchObject
  for (const LdapEntry& entry : entries_) {
    bool inScope = false;
    switch (request.scope) {
      case LdapScope::kBase:
        inScope = &entry == base;
        break;
      case LdapScope::kOneLevel:
      case LdapScope::kSubtree:
        inScope = request.base.empty() ? &entry != base
                                       : (&entry == base && request.scope == LdapScope::kSubtree) ||
                                             EndsWithNoCase(entry.dn, "," + request.base);
        break;
    }
    if (!inScope || !FakeFilterMatches(request.filter, entry)) continue;
    LdapEntry result;
    result.dn = entry.dn;
    for (const LdapAttribute& attribute : entry.attributes) {
      bool wanted = !request.attributes.has_value();
      if (request.attributes) {
        for (const std::string& name : *request.attributes)
          if (name == "*" || EqualNoCase(name, attribute.name)) wanted = true;
      }
      if (!wanted) continue;
      result.attributes.push_back(
          {attribute.name, request.attributesOnly ? std::vector<std::string>{} : attribute.values});
    }
    entries->push_back(std::move(result));
  }
  return 0;
}

int FakeLdapConnection::Modify(const std::string& dn, const std::vector<LdapModification>& mods) {
  if (modifyHook) {
    if (const int rc = modifyHook(dn); rc != 0) return rc;
  }
  modifies.push_back({dn, mods});
  if (modifyResult != 0) return modifyResult;
  LdapEntry* entry = const_cast<LdapEntry*>(FindEntry(dn));
  if (entry == nullptr) return 32;
  LdapEntry copy = *entry;  // applied to a copy so a refused request changes nothing
  for (const LdapModification& mod : mods) {
    auto it = std::find_if(copy.attributes.begin(), copy.attributes.end(),
                           [&](const LdapAttribute& a) { return EqualNoCase(a.name, mod.type); });
    const auto holds = [&](const std::string& value) {
      return it != copy.attributes.end() &&
             std::any_of(it->values.begin(), it->values.end(),
                         [&](const std::string& v) { return EqualNoCase(v, value); });
    };
    if (mod.op == LdapModification::Op::kDelete && mod.values.empty()) {
      if (it == copy.attributes.end()) return 16;  // noSuchAttribute
      copy.attributes.erase(it);
    } else if (mod.op == LdapModification::Op::kDelete) {
      for (const std::string& value : mod.values) {
        if (!holds(value)) return 16;
        std::erase_if(it->values, [&](const std::string& v) { return EqualNoCase(v, value); });
      }
      if (it->values.empty()) copy.attributes.erase(it);
    } else if (mod.op == LdapModification::Op::kAdd) {
      for (const std::string& value : mod.values) {
        if (holds(value)) return 20;  // attributeOrValueExists
        if (it == copy.attributes.end()) {
          copy.attributes.push_back({mod.type, {}});
          it = copy.attributes.end() - 1;
        }
        it->values.push_back(value);
      }
    } else if (mod.values.empty()) {
      // A replacement without values removes the attribute, and is no error
      // when the attribute is absent.
      if (it != copy.attributes.end()) copy.attributes.erase(it);
    } else if (it == copy.attributes.end()) {
      copy.attributes.push_back({mod.type, mod.values});
    } else {
      it->values = mod.values;
    }
  }
  *entry = std::move(copy);
  return 0;
}

void FakeLdapConnection::NoteWriteStarted(const std::string& dn) {
  std::string key = dn;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  sameObjectInFlight = sameObjectInFlight || writesInFlight_.contains(key);
  writesInFlight_.insert(key);
  maxWritesInFlight = std::max(maxWritesInFlight, writesInFlight_.size());
}

void FakeLdapConnection::NoteWriteFinished(const std::string& dn) {
  std::string key = dn;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto found = writesInFlight_.find(key);
  if (found != writesInFlight_.end()) writesInFlight_.erase(found);
}

}  // namespace varnel::testing
