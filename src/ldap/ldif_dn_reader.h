// The DNs of an LDIF stream (RFC 2849), read as ldapmodify reads its input:
// libldap's ldif_read_record cuts the records (folded lines, comments) and
// ldap_parse_ldif_record parses each one (base64 values, attributes, change
// records). Only the DN of a record is kept; line numbers count from the
// first line of the whole input.
#pragma once

#include <stdio.h>  // ldif.h needs FILE and ber_len_t declared first
// clang-format off
#include <lber.h>
#include <ldif.h>
// clang-format on

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    kInvalid,       // a record libldap's parser refuses
    kUnusableLine,  // a record that holds a line the caller could not take
    kReadFailed,    // the input cannot be read further (an include: that fails)
  };
  Kind kind = Kind::kDn;
  size_t line = 0;  // the record's first line, comments before it not counted
  std::string dn;   // may hold any byte a base64 value can, NUL included
};

class LdifDnReader {
 public:
  // `nextLine` is called for each line in turn; `linesBefore` lines of the
  // input were read before the first one it gives.
  LdifDnReader(std::function<LdifSourceLine()> nextLine, size_t linesBefore);
  ~LdifDnReader() = default;
  LdifDnReader(const LdifDnReader&) = delete;
  LdifDnReader& operator=(const LdifDnReader&) = delete;

  // The next record; nullopt at the end of the input.
  std::optional<LdifDnRecord> Next();

 private:
  struct FileCloser {
    void operator()(LDIFFP* file) const;
  };
  struct BufferFree {
    void operator()(char* buffer) const;
  };

  static ssize_t Read(void* self, char* out, size_t size);
  bool SpanHoldsUnusableLine(size_t first, size_t last);

  std::function<LdifSourceLine()> nextLine_;
  std::string pending_;  // the line being handed to the LDIF reader, line feed included
  size_t pendingAt_ = 0;
  bool ended_ = false;
  size_t linesGiven_ = 0;              // input lines numbered so far
  std::vector<size_t> unusableLines_;  // ascending
  std::unique_ptr<LDIFFP, FileCloser> file_;
  unsigned long lineCounter_ = 0;             // ldif_read_record's count
  std::unique_ptr<char, BufferFree> buffer_;  // ldif_read_record's record buffer
  int bufferSize_ = 0;
  bool failed_ = false;
  bool firstRecord_ = true;  // only the first may be the version line alone
};

}  // namespace varnel
