#include "platform/asio_driver_list.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/jack_messages.h"

namespace platform {

namespace {

bool isFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

AsioDriverList::AsioDriverList(const AsioRegistry& registry) {
  const AsioRegistryKey* drivers = registry.openKey("software\\asio");
  const AsioRegistryKey* classes = registry.openKey("clsid");
  if (!drivers || !classes) return;
  for (size_t i = 0; i < drivers->subkeyCount(); ++i) {
    const AsioRegistryKey& key = drivers->subkey(i);
    const std::string* clsid = key.value("clsid");
    Entry entry;
    if (!clsid || !parseClassId(*clsid, entry.classId)) continue;
    const AsioRegistryKey* classKey = classes->findSubkey(*clsid);
    const AsioRegistryKey* server = classKey ? classKey->findSubkey("InprocServer32") : nullptr;
    const std::string* library = server ? server->value("") : nullptr;
    if (!library || !isFile(*library)) continue;
    entry.library = *library;
    const std::string* description = key.value("description");
    entry.name = (description ? *description : key.name()).substr(0, kMaxNameLength);
    entries_.push_back(std::move(entry));
  }
}

AsioDriverList::~AsioDriverList() {
  for (int32_t id = 0; id < count(); ++id)
    close(id);
}

const AsioDriverList::Entry* AsioDriverList::find(int32_t driverId) const {
  return (driverId >= 0 && driverId < count()) ? &entries_[static_cast<size_t>(driverId)] : nullptr;
}

AsioResult AsioDriverList::getName(int32_t driverId, char* name, size_t size) const {
  const Entry* entry = find(driverId);
  if (!entry) return kNotInList;
  if (!name || size == 0) return kMissingOutput;
  if (entry->name.size() < size) {
    std::memcpy(name, entry->name.c_str(), entry->name.size() + 1);
  } else {
    const size_t kept = size > 4 ? size - 4 : 0;
    std::memcpy(name, entry->name.data(), kept);
    const size_t dots = std::min<size_t>(3, size - 1 - kept);
    std::memset(name + kept, '.', dots);
    name[kept + dots] = '\0';
  }
  return kAsioOk;
}

AsioResult AsioDriverList::open(int32_t driverId, AsioDriver** driver) {
  if (!find(driverId)) return kNotInList;
  if (!driver) return kMissingOutput;
  Entry& entry = entries_[static_cast<size_t>(driverId)];
  if (entry.driver) return kAlreadyOpen;
  *driver = nullptr;
  silenceJackMessages();
  // Never unmapped: a driver library's threads or exit handlers may outlive its driver object.
  void* handle = ::dlopen(entry.library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) return kCannotCreate;
  const auto factory = reinterpret_cast<AsioFactory>(::dlsym(handle, kAsioFactorySymbol));
  AsioDriver* created = factory ? factory(&entry.classId) : nullptr;
  if (!created) {
    ::dlclose(handle);
    return kCannotCreate;
  }
  entry.handle = handle;
  entry.driver = created;
  *driver = created;
  return kAsioOk;
}

AsioResult AsioDriverList::close(int32_t driverId) {
  if (!find(driverId)) return kNotInList;
  Entry& entry = entries_[static_cast<size_t>(driverId)];
  if (entry.driver) entry.driver->release();
  if (entry.handle) ::dlclose(entry.handle);
  entry.driver = nullptr;
  entry.handle = nullptr;
  return kAsioOk;
}

}  // namespace platform
