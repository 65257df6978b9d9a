#pragma once

#include <cstddef>

namespace testsupport {

// Counts heap allocations made by the current thread while a scope is alive; used to prove that
// the audio path allocates nothing.
class AllocationCounter {
 public:
  AllocationCounter();
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  std::size_t count() const;

 private:
  std::size_t start_;
};

}  // namespace testsupport
