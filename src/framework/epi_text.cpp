#include "framework/epi_text.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "framework/resource_file.h"
#include "framework/safe_file.h"

namespace {

constexpr size_t kNone = std::string_view::npos;

bool isBreak(char c) {
  return c == '\r' || c == '\n';
}

// Position after the line break that starts at `at`; CR LF is one break.
size_t afterBreak(std::string_view text, size_t at) {
  return (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? at + 2 : at + 1;
}

size_t lineEnd(std::string_view text, size_t from) {
  const size_t at = text.find_first_of("\r\n", from);
  return at == kNone ? text.size() : at;
}

// Start of line n, or kNone when the text ends before n breaks.
size_t skipBreaks(std::string_view text, size_t n) {
  size_t position = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t at = lineEnd(text, position);
    if (at == text.size()) return kNone;
    position = afterBreak(text, at);
  }
  return position;
}

std::string_view linesOf(std::string_view text, size_t first, size_t count) {
  const size_t start = skipBreaks(text, first);
  if (start == kNone || count == 0) return {};
  size_t position = start;
  for (size_t i = 0;; ++i) {
    const size_t end = lineEnd(text, position);
    if (end == text.size() || i + 1 == count) return text.substr(start, end - start);
    position = afterBreak(text, end);
  }
}

std::string_view fieldsOf(std::string_view text, size_t first, size_t count, char separator) {
  size_t start = 0;
  for (size_t i = 0; i < first; ++i) {
    const size_t at = text.find(separator, start);
    if (at == kNone) return {};
    start = at + 1;
  }
  if (count == 0) return {};
  size_t position = start;
  for (size_t i = 0;; ++i) {
    size_t end = text.find(separator, position);
    if (end == kNone) end = text.size();
    if (end == text.size() || i + 1 == count) return text.substr(start, end - start);
    position = text.find_first_not_of(separator, end);
    if (position == kNone) return text.substr(start);
  }
}

std::string_view quotedFieldOf(std::string_view text, size_t n, char separator, char quote) {
  size_t position = 0;
  for (size_t i = 0;; ++i) {
    const size_t start = position;
    while (position < text.size() && text[position] != separator && text[position] != quote) {
      ++position;
    }
    std::string_view value = text.substr(start, position - start);
    if (position < text.size() && text[position] == quote) {
      const size_t open = position + 1;
      size_t close = text.find(quote, open);
      if (close == kNone) close = text.size();
      value = text.substr(open, close - open);
      position = text.find(separator, std::min(close + 1, text.size()));
      if (position == kNone) position = text.size();
    }
    if (i == n) return value;
    if (position >= text.size()) return {};
    ++position;
  }
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

int32_t toLongOf(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t(1) << 32);
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

std::string_view viewOf(const char* text) {
  return text ? std::string_view(text) : "";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// epiText

epiText::epiText() = default;

epiText::epiText(const char* text) : epiText() {
  assign(text);
}

epiText::~epiText() = default;

void epiText::reserve(size_t bytes) {
  text_.reserve(bytes);
}

void epiText::assign(const char* text) {
  text_.assign(viewOf(text));
}

void epiText::assign(const epiText& other) {
  text_ = other.text_;
}

void epiText::assignBytes(std::span<const uint8_t> bytes) {
  const auto* begin = reinterpret_cast<const char*>(bytes.data());
  text_.assign(begin, std::find(begin, begin + bytes.size(), '\0'));
}

void epiText::append(const char* text) {
  text_.append(viewOf(text));
}

void epiText::append(const epiText& other) {
  text_.append(other.text_);
}

void epiText::append(char c) {
  if (c != '\0') text_.push_back(c);
}

void epiText::appendLineBreak() {
  text_.append("\r\n");
}

size_t epiText::lineCount() const {
  const std::string_view text = text_;
  size_t count = 0;
  for (size_t at = lineEnd(text, 0); at < text.size(); at = lineEnd(text, afterBreak(text, at))) {
    ++count;
  }
  return count;
}

epiText epiText::line(size_t n) const {
  const std::string_view text = text_;
  const size_t start = skipBreaks(text, n);
  epiText result;
  if (start != kNone) result.text_.assign(text.substr(start, lineEnd(text, start) - start));
  return result;
}

epiText epiText::lines(size_t first, size_t count) const {
  epiText result;
  result.text_.assign(linesOf(text_, first, count));
  return result;
}

epiText epiText::field(size_t n, char separator) const {
  return fields(n, 1, separator);
}

epiText epiText::fields(size_t first, size_t count, char separator) const {
  epiText result;
  result.text_.assign(fieldsOf(text_, first, count, separator));
  return result;
}

epiText epiText::quotedField(size_t n, char separator, char quote) const {
  epiText result;
  result.text_.assign(quotedFieldOf(text_, n, separator, quote));
  return result;
}

bool epiText::equalsNoCase(const char* other) const {
  return equalNoCase(text_, viewOf(other));
}

bool epiText::equalsNoCase(const epiText& other) const {
  return equalNoCase(text_, other.text_);
}

int32_t epiText::toLong() const {
  return toLongOf(text_);
}

// ---------------------------------------------------------------------------------------------
// epiTextFile

bool epiTextFile::load(const std::string& path) {
  const auto bytes = framework::readFile(path, kMaxFileBytes);
  if (!bytes) return false;
  try {
    assignBytes(*bytes);
  } catch (const std::bad_alloc&) {
    return false;  // std::string::assign leaves the old text in place
  }
  return true;
}

bool epiTextFile::save(const std::string& path) {
  return framework::writeFileAtomically(
      path, std::span(reinterpret_cast<const uint8_t*>(text_.data()), text_.size()));
}

bool epiTextFile::loadResource(const framework::ResourceFile* resourceFile, uint32_t type,
                               uint32_t id) {
  if (!resourceFile) resourceFile = framework::ResourceFile::application();
  if (!resourceFile) return false;
  const auto bytes = resourceFile->read(type, id);
  if (!bytes) return false;
  assignBytes(*bytes);
  return true;
}

bool epiTextFile::saveResource(framework::ResourceFile* resourceFile, uint32_t type, uint32_t id) {
  if (!resourceFile) resourceFile = framework::ResourceFile::application();
  if (!resourceFile) return false;
  return resourceFile->write(
      type, id, std::span(reinterpret_cast<const uint8_t*>(text_.data()), text_.size()));
}

// ---------------------------------------------------------------------------------------------
// epiTextSettings

epiTextSettings::~epiTextSettings() = default;

// One pass over the lines, in the order and within the limit that line(i) for i = 0 ..
// lineCount() would give, so that a large file costs one scan rather than one per line.
bool epiTextSettings::find(const char* key, Entry* entry) const {
  if (!key) return false;
  const std::string_view text = text_;
  const std::string_view wanted = viewOf(key);
  size_t start = 0;
  size_t prefixEnd = 0;
  for (size_t index = 0; index < kMaxLinesExamined; ++index) {
    const size_t end = lineEnd(text, start);
    const std::string_view line = text.substr(start, end - start);
    const size_t colon = line.find(':');
    if (equalNoCase(line.substr(0, colon == kNone ? line.size() : colon), wanted)) {
      *entry = {index, start, end, end == text.size() ? end : afterBreak(text, end), prefixEnd};
      return true;
    }
    if (end == text.size()) break;
    prefixEnd = end;
    start = afterBreak(text, end);
  }
  return false;
}

void epiTextSettings::store(const char* key, const std::string& formattedValue) {
  if (!key) return;
  modified_ = true;
  std::string line(viewOf(key));
  line += ':';
  line += formattedValue;
  line += "\r\n";

  Entry entry{};
  if (find(key, &entry)) {
    std::string rebuilt;
    rebuilt.reserve(text_.size() + line.size() + 2);
    if (entry.index > 0) {
      rebuilt.append(text_, 0, entry.prefixEnd);
      rebuilt += "\r\n";
    }
    rebuilt += line;
    rebuilt.append(text_, entry.next);
    text_ = std::move(rebuilt);
    return;
  }
  if (!text_.empty() && !isBreak(text_.back())) text_ += "\r\n";
  text_ += line;
}

void epiTextSettings::setString(const char* key, const char* value) {
  std::string quoted = "\"";
  quoted += viewOf(value);
  quoted += '"';
  store(key, quoted);
}

void epiTextSettings::setLong(const char* key, int32_t value) {
  store(key, std::to_string(value));
}

bool epiTextSettings::getString(const char* key, char* out, size_t outSize, const char* def) const {
  Entry entry{};
  const bool found = find(key, &entry);
  const std::string_view value =
      found ? quotedFieldOf(std::string_view(text_).substr(entry.start, entry.end - entry.start), 1,
                            ':', '"')
            : viewOf(def);
  if (out && outSize > 0) {
    const size_t n = std::min(value.size(), outSize - 1);
    if (n > 0) std::memcpy(out, value.data(), n);
    out[n] = '\0';
  }
  return found;
}

bool epiTextSettings::getLong(const char* key, int32_t* out, int32_t def) const {
  if (out) *out = def;
  Entry entry{};
  if (!find(key, &entry)) return false;
  const std::string_view line =
      std::string_view(text_).substr(entry.start, entry.end - entry.start);
  if (out) *out = toLongOf(fieldsOf(line, 1, 1, ':'));
  return true;
}
