#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace framework {
class ResourceFile;
}

// A growable NUL-terminated 8-bit text. It never holds a NUL byte of its own: bytes taken from
// a file end at the first NUL, as the file's text does.
//
// Lines end at CR LF, a lone CR or a lone LF, each counting as one line break; the last line may
// lack one.
class epiText {
 public:
  epiText();
  explicit epiText(const char* text);
  epiText(const epiText&) = default;
  epiText(epiText&&) = default;
  epiText& operator=(const epiText&) = default;
  epiText& operator=(epiText&&) = default;
  virtual ~epiText();

  size_t length() const { return text_.size(); }
  const char* c_str() const { return text_.c_str(); }
  // Grows the storage to hold at least `bytes` characters; never shrinks it.
  void reserve(size_t bytes);

  void assign(const char* text);  // null assigns the empty text
  void assign(const epiText& other);
  // Raw file or resource bytes: the text ends at the first NUL.
  void assignBytes(std::span<const uint8_t> bytes);
  void append(const char* text);
  void append(const epiText& other);
  void append(char c);  // a NUL is ignored: it would end the text
  void appendLineBreak();

  // Line breaks in the text; a last line without a terminator is not counted.
  size_t lineCount() const;
  // Line n without its terminator; empty when the text has fewer lines.
  epiText line(size_t n) const;
  // `count` lines from line `first`, the breaks between them as they stand; when the text ends
  // first, everything up to the end, terminators included.
  epiText lines(size_t first, size_t count) const;
  // The characters from after the n-th separator to the next separator or the end.
  epiText field(size_t n, char separator) const;
  // `count` fields from field `first`; a run of separators between two of them stays in the
  // result.
  epiText fields(size_t first, size_t count, char separator) const;
  // Field n where a quoted part stands for the whole field: `key:"a:b"` gives `a:b` as field 1,
  // `key:abc:def` gives `abc`.
  epiText quotedField(size_t n, char separator, char quote) const;
  // ASCII letters compare without case; every other byte must be equal.
  bool equalsNoCase(const char* other) const;
  bool equalsNoCase(const epiText& other) const;
  // Base 10 after leading white space and an optional sign, up to the first non-digit; no
  // digits gives 0. Values beyond 32 bits saturate.
  int32_t toLong() const;

 protected:
  std::string text_;
};

// A text that is read from and written to a whole file or a resource, in one piece.
class epiTextFile : public epiText {
 public:
  // Larger files are refused: no settings file of ours comes near this.
  static constexpr size_t kMaxFileBytes = 16u << 20;

  // True when the file was read; the text then holds it. False leaves the text unchanged.
  virtual bool load(const std::string& path);
  // Replaces the file with the text's bytes (no NUL) through writeFileAtomically: a failed
  // write leaves the old file untouched.
  virtual bool save(const std::string& path);
  // A null resource file means the application's own (framework::ResourceFile::application()).
  virtual bool loadResource(const framework::ResourceFile* resourceFile, uint32_t type,
                            uint32_t id);
  virtual bool saveResource(framework::ResourceFile* resourceFile, uint32_t type, uint32_t id);
};

// A text read and written as `key:value` lines. Keys are every character before a line's
// first `:`, matched without ASCII letter case; the first line with the key is the one read and
// the one replaced; lines that are not entries keep their bytes. Only the first 32767 lines are
// examined.
class epiTextSettings : public epiTextFile {
 public:
  static constexpr size_t kMaxLinesExamined = 32767;

  epiTextSettings() = default;
  epiTextSettings(const epiTextSettings&) = default;
  epiTextSettings(epiTextSettings&&) = default;
  epiTextSettings& operator=(const epiTextSettings&) = default;
  epiTextSettings& operator=(epiTextSettings&&) = default;
  ~epiTextSettings() override;

  // Store `key:"value"` / `key:digits`, the key written as given, the line ended with CR LF.
  void setString(const char* key, const char* value);
  void setLong(const char* key, int32_t value);
  // Found: true and the quoted (or bare) value. Otherwise false and the default, or the empty
  // string when there is none. The copy is cut to fit outSize including the NUL.
  bool getString(const char* key, char* out, size_t outSize, const char* def = nullptr) const;
  // `out` is set to the default first; a quoted number reads as 0.
  bool getLong(const char* key, int32_t* out, int32_t def = 0) const;
  bool modified() const { return modified_; }

 private:
  struct Entry {
    size_t index;      // line number
    size_t start;      // first character of the line
    size_t end;        // end of its characters, before the terminator
    size_t next;       // first character after the terminator
    size_t prefixEnd;  // end of the previous line's characters
  };
  bool find(const char* key, Entry* entry) const;
  void store(const char* key, const std::string& formattedValue);

  bool modified_ = false;
};
