#include "ldap/ldif_dn_reader.h"

#include <lber.h>
#include <ldap.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace varnel {
namespace {

// Frees what ldap_parse_ldif_record allocated, however the parse ended.
class ParsedRecord {
 public:
  ParsedRecord() { std::memset(&record_, 0, sizeof(record_)); }
  ~ParsedRecord() { ldap_ldif_record_done(&record_); }
  ParsedRecord(const ParsedRecord&) = delete;
  ParsedRecord& operator=(const ParsedRecord&) = delete;
  LDIFRecord* get() { return &record_; }

 private:
  LDIFRecord record_;
};

bool StartsWithName(std::string_view line, std::string_view name) {
  return line.size() >= name.size() && strncasecmp(line.data(), name.data(), name.size()) == 0;
}

// The lines of a record's text, each without its line feed.
std::vector<std::string_view> TextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// How many lines at the start of a record's text are comments; the LDIF
// reader keeps the comments before a record (and their folded lines) with it.
size_t LeadingCommentLines(const std::vector<std::string_view>& lines) {
  size_t count = 0;
  bool inComment = false;
  for (std::string_view line : lines) {
    if (line.starts_with('#')) {
      inComment = true;
    } else if (!(inComment && line.starts_with(' '))) {
      break;
    }
    ++count;
  }
  return count;
}

// A record's lines as libldap's parser takes them: comments dropped, a
// folded line joined to the one before it with the two markers the parser
// puts in place of the line feed and the space.
std::vector<std::string> LogicalLines(const std::vector<std::string_view>& lines) {
  std::vector<std::string> logical;
  bool inComment = false;
  for (std::string_view line : lines) {
    if (line.starts_with(' ') && (inComment || !logical.empty())) {
      if (!inComment) logical.back().append("\r\r").append(line.substr(1));
      continue;
    }
    inComment = line.starts_with('#');
    if (!inComment) logical.emplace_back(line);
  }
  return logical;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Drops white space at the front, as the parser does before a name and a value.
std::string_view SkipSpace(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view other) {
  return text.size() == other.size() && strncasecmp(text.data(), other.data(), text.size()) == 0;
}

// The attribute name of a logical line as the parser cuts it (spaces around
// it dropped), or nullopt for a line with no colon, which it refuses itself.
std::optional<std::string_view> NameOf(std::string_view line) {
  line = SkipSpace(line);
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && IsSpace(name.back())) name.remove_suffix(1);
  return name;
}

bool NameIs(std::string_view line, std::string_view name) {
  const std::optional<std::string_view> found = NameOf(line);
  return found && EqualsIgnoringCase(*found, name);
}

// libldap's record parser compares attribute names that may be null, and
// crashes, on two shapes of record: a line whose name is empty (":x", or
// spaces before the colon), and a "-" line in a record that is not a
// modify record (one with "changetype: modify" after its dn: line and at
// most one control: line). Such records are no valid LDIF either way.
bool WouldFaultRecordParser(const std::vector<std::string_view>& lines) {
  const std::vector<std::string> logical = LogicalLines(lines);
  for (const std::string& line : logical) {
    const std::optional<std::string_view> name = NameOf(line);
    if (name && name->empty()) return true;
  }
  const auto dn = std::find_if(logical.begin(), logical.end(),
                               [](const std::string& line) { return NameIs(line, "dn"); });
  if (dn == logical.end()) return false;
  auto next = dn + 1;
  if (next != logical.end() && NameIs(*next, "control")) ++next;
  bool modify = false;
  if (next != logical.end() && NameIs(*next, "changetype")) {
    // The parser takes the fold markers out of a value.
    std::string value = next->substr(next->find(':') + 1);
    std::erase(value, '\r');
    modify = EqualsIgnoringCase(SkipSpace(value), "modify");
  }
  return !modify && std::find(dn + 1, logical.end(), "-") != logical.end();
}

}  // namespace

void LdifDnReader::FileCloser::operator()(LDIFFP* file) const { ldif_close(file); }

void LdifDnReader::BufferFree::operator()(char* buffer) const { ber_memfree(buffer); }

LdifDnReader::LdifDnReader(std::function<LdifSourceLine()> nextLine, size_t linesBefore)
    : nextLine_(std::move(nextLine)), linesGiven_(linesBefore), lineCounter_(linesBefore) {
  cookie_io_functions_t functions{};
  functions.read = &LdifDnReader::Read;
  FILE* stream = fopencookie(this, "r", functions);
  if (stream == nullptr) {
    failed_ = true;
    return;
  }
  // ldif_close frees the handle with ber_memfree, so it comes from ber_memalloc.
  auto* handle = static_cast<LDIFFP*>(ber_memalloc(sizeof(LDIFFP)));
  if (handle == nullptr) {
    fclose(stream);
    failed_ = true;
    return;
  }
  handle->fp = stream;
  handle->prev = nullptr;
  file_.reset(handle);
}

ssize_t LdifDnReader::Read(void* self, char* out, size_t size) {
  auto* reader = static_cast<LdifDnReader*>(self);
  size_t given = 0;
  // One line at most per call: the input is read no further ahead than the
  // LDIF reader has come, so warnings about lines keep their place.
  while (given < size) {
    if (reader->pendingAt_ == reader->pending_.size()) {
      if (given > 0) break;
      if (reader->ended_) break;
      LdifSourceLine line = reader->nextLine_();
      if (line.kind == LdifSourceLine::Kind::kEnd) {
        reader->ended_ = true;
        break;
      }
      ++reader->linesGiven_;
      // The LDIF reader must never see a NUL byte (it reads lines as C
      // strings); a line it cannot be given stands as a comment, and the
      // record around it is refused.
      const bool unusable =
          line.kind == LdifSourceLine::Kind::kUnusable || line.text.find('\0') != std::string::npos;
      if (unusable) reader->unusableLines_.push_back(reader->linesGiven_);
      reader->pending_.clear();
      reader->pending_.append(unusable ? std::string_view("#") : std::string_view(line.text));
      reader->pending_ += '\n';
      reader->pendingAt_ = 0;
    }
    const size_t count = std::min(size - given, reader->pending_.size() - reader->pendingAt_);
    std::memcpy(out + given, reader->pending_.data() + reader->pendingAt_, count);
    reader->pendingAt_ += count;
    given += count;
  }
  return static_cast<ssize_t>(given);
}

bool LdifDnReader::SpanHoldsUnusableLine(size_t first, size_t last) {
  bool holds = false;
  for (size_t number : unusableLines_) holds = holds || (number >= first && number <= last);
  std::erase_if(unusableLines_, [last](size_t number) { return number <= last; });
  return holds;
}

std::optional<LdifDnRecord> LdifDnReader::Next() {
  if (failed_) {
    failed_ = false;
    file_.reset();
    return LdifDnRecord{LdifDnRecord::Kind::kReadFailed, static_cast<size_t>(lineCounter_), ""};
  }
  if (!file_) return std::nullopt;
  // The reader grows the buffer with ber_memrealloc; it stays ours throughout.
  // A record made only of an index line (a number, which the reader drops)
  // copies nothing into the buffer, so the last record's text, already cut
  // up by the parser, must not be left there to be parsed again.
  if (buffer_) buffer_.get()[0] = '\0';
  char* buffer = buffer_.release();
  const int read = ldif_read_record(file_.get(), &lineCounter_, &buffer, &bufferSize_);
  buffer_.reset(buffer);
  if (read < 0) {
    file_.reset();
    return LdifDnRecord{LdifDnRecord::Kind::kReadFailed, static_cast<size_t>(lineCounter_), ""};
  }
  if (read == 0) {
    file_.reset();
    return std::nullopt;
  }
  // The counter stands on the empty line that ended the record, or on its
  // last line when the input ended instead.
  const size_t last = static_cast<size_t>(lineCounter_) - (feof(file_->fp) ? 0 : 1);
  if (buffer == nullptr || buffer[0] == '\0') {
    SpanHoldsUnusableLine(last, last);  // forgets the lines before; none is in this record
    firstRecord_ = false;
    return LdifDnRecord{LdifDnRecord::Kind::kNoDn, last, ""};
  }
  const std::vector<std::string_view> lines = TextLines(buffer);
  const size_t first = lines.size() <= last ? last + 1 - lines.size() : 1;
  const size_t comments = LeadingCommentLines(lines);
  LdifDnRecord record{LdifDnRecord::Kind::kDn, first + comments, ""};
  if (SpanHoldsUnusableLine(first, last)) {
    record.kind = LdifDnRecord::Kind::kUnusableLine;
    return record;
  }

  if (WouldFaultRecordParser(lines)) {
    record.kind = LdifDnRecord::Kind::kInvalid;
    return record;
  }

  // The parser writes into the buffer; what it is read for comes first.
  const bool versionOnly =
      firstRecord_ && lines.size() == comments + 1 && StartsWithName(lines.back(), "version:");
  firstRecord_ = false;
  ParsedRecord parsed;
  berval text{std::strlen(buffer), buffer};  // the parser moves along its own copy
  const int rc =
      ldap_parse_ldif_record(&text, static_cast<unsigned long>(record.line), parsed.get(), "varnel",
                             LDIF_DEFAULT_ADD | LDIF_NO_CONTROLS);
  const berval& dn = parsed.get()->lr_dn;
  if (rc != LDAP_SUCCESS) {
    record.kind = LdifDnRecord::Kind::kInvalid;
  } else if (dn.bv_val != nullptr) {
    record.dn.assign(dn.bv_val, dn.bv_len);
  } else if (versionOnly) {
    record.kind = LdifDnRecord::Kind::kVersion;
  } else {
    record.kind = LdifDnRecord::Kind::kNoDn;
  }
  return record;
}

}  // namespace varnel
