#pragma once

#include <memory>

namespace pseudoutils {

// The tuner's objects are created by factories and destroyed by their release(); this lets
// their owners hold them like any other unique object.
struct Releaser {
  template <class T>
  void operator()(T* object) const {
    object->release();
  }
};

template <class Interface>
using Owned = std::unique_ptr<Interface, Releaser>;

}  // namespace pseudoutils
