#pragma once

// Where the "Asio" technology finds its drivers: a small key tree read from text files, standing
// in for the registry keys "software\asio\<driver>" (values "description" and "clsid") and
// "clsid\{…}\InprocServer32" (its default value names the driver's shared library).
//
// File format, one item per line (spaces and tabs around items ignored, "\r\n" accepted):
//
//   # a comment (also "; a comment")
//   [software\asio\JACK]
//   description = JACK Audio Connection Kit
//   clsid = {6E6A6163-6B00-4000-8000-56616C766F72}
//
//   [clsid\{6E6A6163-6B00-4000-8000-56616C766F72}\InprocServer32]
//   @ = /usr/lib/x86_64-linux-gnu/valvorama-live/libvalvorama_jack_driver.so
//
// "[path]" opens (and creates) a key; the path's parts are separated by backslashes. "name =
// value" sets a value of the key opened last; "@" names the key's default value. The value is
// the rest of the line, taken as is. Key and value names compare without regard to letter case.
// Lines that fit none of these, and values before the first key, are ignored. Several files
// merge into one tree: keys add up, and a later file's value replaces an earlier one.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/asio_driver.h"

namespace platform {

// One key: named values and subkeys, each in the order it first appeared.
class AsioRegistryKey {
 public:
  explicit AsioRegistryKey(std::string name) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  // The value called `name` ("" for the default value), or null.
  const std::string* value(std::string_view name) const;
  size_t subkeyCount() const { return subkeys_.size(); }
  const AsioRegistryKey& subkey(size_t index) const { return *subkeys_[index]; }
  const AsioRegistryKey* findSubkey(std::string_view name) const;

  // Null when the key already holds as many subkeys as a file may give it.
  AsioRegistryKey* makeSubkey(std::string_view name);
  void setValue(std::string_view name, std::string_view value);

 private:
  std::string name_;
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::unique_ptr<AsioRegistryKey>> subkeys_;
};

class AsioRegistry {
 public:
  // Colon-separated registry files; when set, the only ones read (tests, trials of a driver).
  static constexpr const char* kFilesVariable = "VALVORAMA_DRIVER_REGISTRY";
  static constexpr const char* kSystemFile = "/etc/valvorama-live/drivers.reg";
  static constexpr const char* kUserFileName = "drivers.reg";

  // The files read, earliest first: the installed drivers' files ("*.reg" in
  // <program>/../share/valvorama-live/drivers.d; for a companion program in
  // <prefix>/libexec/valvorama-live/ and for a program of a build tree, in the share folder two
  // levels up), the system file, then `userFile`; or only the files of kFilesVariable.
  static std::vector<std::string> standardFiles(const std::string& userFile);
  static AsioRegistry loadStandard(const std::string& userFile);

  // False when the file cannot be read; a readable file always adds what it can.
  bool readFile(const std::string& path);
  void read(std::string_view text);

  // The key at a backslash-separated path, or null; "" is the root.
  const AsioRegistryKey* openKey(std::string_view path) const;

 private:
  AsioRegistryKey root_{""};
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in hexadecimal digits of either case.
bool parseClassId(std::string_view text, AsioClassId& id);
bool sameClassId(const AsioClassId& a, const AsioClassId& b);

}  // namespace platform
