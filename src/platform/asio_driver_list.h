#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/asio_driver.h"
#include "platform/asio_registry.h"

namespace platform {

// The drivers registered under "software\asio", built once from a registry: an entry only when
// its "clsid" parses and the library named by clsid\{…}\InprocServer32 exists. Opening loads the
// library with dlopen and asks its factory for the driver object. Nothing needs initialising
// for the loader, so there is no counterpart of COM's initialise/uninitialise.
//
// Used from one thread (the user-interface thread) only.
class AsioDriverList {
 public:
  static constexpr AsioResult kCannotCreate = -5000;
  static constexpr AsioResult kMissingOutput = -5001;
  static constexpr AsioResult kAlreadyOpen = -5002;
  static constexpr AsioResult kNotInList = -5003;
  static constexpr size_t kMaxNameLength = 255;

  explicit AsioDriverList(const AsioRegistry& registry);
  ~AsioDriverList();
  AsioDriverList(const AsioDriverList&) = delete;
  AsioDriverList& operator=(const AsioDriverList&) = delete;

  int32_t count() const { return static_cast<int32_t>(entries_.size()); }
  // The driver's name in `size` bytes; a longer name is cut to size - 4 characters and ends
  // in "...".
  AsioResult getName(int32_t driverId, char* name, size_t size) const;
  // Loads the driver; it stays loaded (and cannot be opened again) until close().
  AsioResult open(int32_t driverId, AsioDriver** driver);
  AsioResult close(int32_t driverId);

 private:
  struct Entry {
    AsioClassId classId;
    std::string name;
    std::string library;
    void* handle = nullptr;
    AsioDriver* driver = nullptr;
  };

  const Entry* find(int32_t driverId) const;

  std::vector<Entry> entries_;  // index = driverId, in registry order
};

}  // namespace platform
