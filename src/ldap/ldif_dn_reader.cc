#include "ldap/ldif_dn_reader.h"

#include <stdio.h>  // ldif.h needs FILE and ber_len_t declared first
// clang-format off
#include <lber.h>
#include <ldif.h>
// clang-format on
#include <strings.h>

#include <cctype>
#include <string_view>

namespace varnel {
namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view SkipSpace(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view other) {
  return text.size() == other.size() && strncasecmp(text.data(), other.data(), text.size()) == 0;
}

// A line's attribute name, white space around it dropped, and what follows
// its colon.
struct NamedLine {
  std::string_view name;
  std::string_view rest;
};

std::optional<NamedLine> CutAtColon(std::string_view line) {
  line = SkipSpace(line);
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && IsSpace(name.back())) name.remove_suffix(1);
  return NamedLine{name, line.substr(colon + 1)};
}

// Whether base64 text is whole groups of four from its alphabet, "=" only
// as padding at the end. libldap's decoder writes a line of its own to
// standard error about any other text, so it is never given one.
bool IsBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return false;
  const size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  for (char c : text.substr(0, text.size() - padding)) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && !(c >= '0' && c <= '9') && c != '+' && c != '/') return false;
  }
  return true;
}

// The value of a "name: value" or "name:: base64" line, decoded by libldap's
// line parser; false when it refuses the line. Never given a "name:<" line,
// whose value the parser would fetch.
bool DecodeValue(std::string_view line, std::string* value) {
  std::string text(line);  // the parser works in place
  berval type{};
  berval decoded{};
  int freeValue = 0;
  if (ldif_parse_line2(text.data(), &type, &decoded, &freeValue) != 0) return false;
  if (decoded.bv_val != nullptr) value->assign(decoded.bv_val, decoded.bv_len);
  if (freeValue != 0) ber_memfree(decoded.bv_val);
  return true;
}

}  // namespace

LdifDnReader::LdifDnReader(std::function<LdifSourceLine()> nextLine, size_t linesBefore,
                           size_t longestLine)
    : nextLine_(std::move(nextLine)), linesGiven_(linesBefore), longestLine_(longestLine) {}

std::optional<LdifDnRecord> LdifDnReader::Next() {
  while (!ended_) {
    LdifSourceLine source = nextLine_();
    if (source.kind == LdifSourceLine::Kind::kEnd) {
      ended_ = true;
      FinishLine();
      if (inRecord_) return FinishRecord();
      break;
    }
    ++linesGiven_;
    std::string& text = source.text;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (source.kind == LdifSourceLine::Kind::kUnusable || text.find('\0') != std::string::npos) {
      // It stands as a comment would, and the record it is in (or comes
      // just before) is not taken.
      FinishLine();
      dropping_ = true;
      (inRecord_ ? unusable_ : skipUnusable_) = true;
      continue;
    }
    if (text.empty()) {
      FinishLine();
      dropping_ = false;
      if (inRecord_) return FinishRecord();
      skipUnusable_ = false;
      continue;
    }
    if (text.front() == ' ' && (haveLine_ || dropping_)) {
      if (dropping_ || lineTooLong_) continue;
      if (line_.size() + text.size() - 1 > longestLine_) {
        // The joined line goes no further; its record is not taken.
        lineTooLong_ = true;
        unusable_ = true;
        line_.clear();
        return LdifDnRecord{LdifDnRecord::Kind::kLongLine, lineAt_, ""};
      }
      line_.append(text, 1);
      continue;
    }
    FinishLine();
    if (text.front() == '#') {
      dropping_ = true;
      continue;
    }
    dropping_ = false;
    if (!inRecord_) {
      inRecord_ = true;
      unusable_ = skipUnusable_;
      skipUnusable_ = false;
      // An index number may stand before a record, on a line of its own.
      if (std::isdigit(static_cast<unsigned char>(text.front())) != 0) {
        indexAt_ = linesGiven_;
        dropping_ = true;
        continue;
      }
    }
    if (recordAt_ == 0) recordAt_ = linesGiven_;
    haveLine_ = true;
    lineAt_ = linesGiven_;
    if (text.size() > longestLine_) {
      lineTooLong_ = true;
      unusable_ = true;
      return LdifDnRecord{LdifDnRecord::Kind::kLongLine, lineAt_, ""};
    }
    line_ = std::move(text);
  }
  return std::nullopt;
}

void LdifDnReader::FinishLine() {
  if (!haveLine_) return;
  if (!lineTooLong_ && !unusable_ && !invalid_) TakeLine(line_);
  haveLine_ = false;
  lineTooLong_ = false;
  line_.clear();
}

void LdifDnReader::TakeLine(const std::string& line) {
  ++lines_;
  if (line == "-") {
    // The separator of a modify record's changes, and nothing else.
    if (dnSeen_ && !modify_) invalid_ = true;
    if (dnSeen_) ++afterDn_;
    return;
  }
  const std::optional<NamedLine> named = CutAtColon(line);
  // A file or URL a value names is never fetched, nor an include: line followed.
  if (!named || named->name.empty() || named->rest.starts_with('<') ||
      EqualsIgnoringCase(named->name, "include")) {
    invalid_ = true;
    return;
  }
  if (lines_ == 1 && EqualsIgnoringCase(named->name, "version")) versionFirst_ = true;
  if (!dnSeen_) {
    // Lines before the dn: line are passed over; the first dn: line counts.
    if (EqualsIgnoringCase(named->name, "dn")) {
      dnSeen_ = true;
      const bool base64 = named->rest.starts_with(':');
      if ((base64 && !IsBase64(SkipSpace(named->rest.substr(1)))) || !DecodeValue(line, &dn_)) {
        invalid_ = true;
      }
    }
    return;
  }
  // "changetype: modify" right after the dn: line (or after one control:
  // line) makes a modify record.
  const size_t position = afterDn_++;
  if (position == 0 && EqualsIgnoringCase(named->name, "control")) {
    controlAfterDn_ = true;
  } else if ((position == 0 || (position == 1 && controlAfterDn_)) &&
             EqualsIgnoringCase(named->name, "changetype")) {
    modify_ = EqualsIgnoringCase(SkipSpace(named->rest), "modify");
  }
}

LdifDnRecord LdifDnReader::FinishRecord() {
  LdifDnRecord record{LdifDnRecord::Kind::kDn, recordAt_ != 0 ? recordAt_ : indexAt_, ""};
  if (unusable_) {
    record.kind = LdifDnRecord::Kind::kUnusableLine;
  } else if (invalid_) {
    record.kind = LdifDnRecord::Kind::kInvalid;
  } else if (dnSeen_) {
    record.dn = std::move(dn_);
  } else if (firstRecord_ && lines_ == 1 && versionFirst_) {
    record.kind = LdifDnRecord::Kind::kVersion;
  } else {
    record.kind = LdifDnRecord::Kind::kNoDn;
  }
  firstRecord_ = false;
  inRecord_ = false;
  recordAt_ = indexAt_ = lines_ = afterDn_ = 0;
  unusable_ = invalid_ = versionFirst_ = dnSeen_ = controlAfterDn_ = modify_ = false;
  dn_.clear();
  return record;
}

}  // namespace varnel
