// The DNs of an LDIF stream (RFC 2849). A DN list needs nothing of a record
// but its dn: line, so that is all that is decoded (plain, or base64 through
// libldap's line parser); the other lines are only checked for their shape.
// Nothing a record names is ever fetched: a record with an include: line or
// a "name:< URL" value is not valid here. Folded lines are joined up to the
// length of the longest line taken, so memory stays bounded on any input.
// Line numbers count from the first line of the whole input.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace varnel {

// One line of the input as the caller hands it over.
struct LdifSourceLine {
  enum class Kind {
    kText,      // text, without its line feed
    kUnusable,  // a line the caller could not take (too long, not decodable)
    kEnd,       // no more input
  };
  Kind kind = Kind::kEnd;
  std::string text;
};

struct LdifDnRecord {
  enum class Kind {
    kDn,            // a record with a dn: line; `dn` holds its value
    kVersion,       // the "version:" line of the LDIF form, alone as the first record
    kNoDn,          // a record without a dn: line
    kInvalid,       // a record that is no LDIF, or one that names a file or URL
    kUnusableLine,  // a record that holds a line the caller could not take, or a long one
    kLongLine,      // no record: a folded line that, joined, is longer than the longest
                    // line taken; `line` is its first line, and its record is kUnusableLine
  };
  Kind kind = Kind::kDn;
  size_t line = 0;  // the record's first line, comments and an index line before it not counted
  std::string dn;   // may hold any byte a base64 value can, NUL included
};

class LdifDnReader {
 public:
  // `nextLine` is called for each line in turn; `linesBefore` lines of the
  // input were read before the first one it gives; a folded line longer than
  // `longestLine` once joined is not taken.
  LdifDnReader(std::function<LdifSourceLine()> nextLine, size_t linesBefore, size_t longestLine);

  // The next record; nullopt at the end of the input.
  std::optional<LdifDnRecord> Next();

 private:
  void FinishLine();
  void TakeLine(const std::string& line);
  LdifDnRecord FinishRecord();

  std::function<LdifSourceLine()> nextLine_;
  size_t linesGiven_;  // input lines numbered so far
  size_t longestLine_;
  bool ended_ = false;
  bool firstRecord_ = true;    // only the first may be the version line alone
  bool skipUnusable_ = false;  // a line not taken stood just before any record

  // The logical line being joined from its folded lines.
  std::string line_;
  size_t lineAt_ = 0;  // its first input line
  bool haveLine_ = false;
  bool dropping_ = false;  // a comment or an index line: its folded lines go with it
  bool lineTooLong_ = false;

  // The record being read.
  bool inRecord_ = false;
  size_t recordAt_ = 0;  // its first line that is not a comment or an index
  size_t indexAt_ = 0;
  size_t lines_ = 0;  // logical lines taken
  bool unusable_ = false;
  bool invalid_ = false;
  bool versionFirst_ = false;
  bool dnSeen_ = false;
  std::string dn_;
  size_t afterDn_ = 0;  // logical lines after the dn: line
  bool controlAfterDn_ = false;
  bool modify_ = false;
};

}  // namespace varnel
