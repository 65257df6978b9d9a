// Takes arbitrary bytes as a driver registry file, walks the tree it gives, checks that every
// key is found again by its path, and builds the driver list over it.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/asio_driver_list.h"
#include "platform/asio_registry.h"

namespace {

using platform::AsioRegistry;
using platform::AsioRegistryKey;

void walk(const AsioRegistry& registry, const AsioRegistryKey& key, const std::string& path,
          int depth) {
  FUZZ_CHECK(depth <= 16);
  for (size_t i = 0; i < key.subkeyCount(); ++i) {
    const AsioRegistryKey& subkey = key.subkey(i);
    const std::string& name = subkey.name();
    FUZZ_CHECK(!name.empty() && name.find('\\') == std::string::npos);
    FUZZ_CHECK(name.front() != ' ' && name.back() != ' ');
    const std::string subpath = path.empty() ? name : path + "\\" + name;
    FUZZ_CHECK(registry.openKey(subpath) == &subkey);
    for (const char* value : {"", "clsid", "description"}) {
      if (const std::string* text = subkey.value(value)) {
        platform::AsioClassId id;
        if (platform::parseClassId(*text, id)) FUZZ_CHECK(text->size() == 38);
      }
    }
    walk(registry, subkey, subpath, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AsioRegistry registry;
  registry.read(std::string_view(reinterpret_cast<const char*>(data), size));
  const AsioRegistryKey* root = registry.openKey("");
  FUZZ_CHECK(root != nullptr);
  walk(registry, *root, "", 0);
  const platform::AsioDriverList list(registry);
  char name[8];
  for (int32_t id = 0; id < list.count(); ++id) {
    FUZZ_CHECK(list.getName(id, name, sizeof name) == platform::kAsioOk);
    FUZZ_CHECK(std::string_view(name).size() < sizeof name);
  }
  return 0;
}
