#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace plugin {

// One processor parameter. The value and the change flag are written by one thread and read by
// another (panel, MIDI and host on one side, the window's refresh on the other), so they are
// atomics used with relaxed order.
struct evaProcessorParameter {
  static constexpr int kTextSize = 32;

  char name[kTextSize] = {};
  char label[kTextSize] = {};           // unit shown after the value
  std::atomic<float>* value = nullptr;  // current plain value: `storage` or an outside location
  float defaultValue = 0.0f;
  float minimum = 0.0f;
  float maximum = 0.0f;
  float displayMinimum = 0.0f;
  float displayMaximum = 0.0f;
  char format[kTextSize] = {};  // printf format for one double, used for the display text
  std::atomic<float> storage{0.0f};
  std::atomic<bool> changed{false};  // changed by a source other than the front panel
  // The key of the value in text settings: the name, unless two parameters share a name.
  char key[kTextSize] = {};

  float current() const { return value ? value->load(std::memory_order_relaxed) : 0.0f; }
  bool isChanged() const { return changed.load(std::memory_order_relaxed); }
  void clearChanged() { changed.store(false, std::memory_order_relaxed); }
};

// The processor's parameters: a counted array of records with a fixed capacity. The index of a
// parameter is its position, in the order added.
class evaProcessorParameters {
 public:
  static constexpr int kCapacity = 128;

  // Allocates `capacity` empty records (count 0); earlier records are dropped.
  void reserve(int capacity);
  // Ignored once the capacity is reached. A null `valueLocation` keeps the value in the
  // record's own storage; a null `key` uses the name.
  void addParameter(const char* name, float defaultValue, const char* label, float minimum,
                    float maximum, std::atomic<float>* valueLocation, float displayMinimum,
                    float displayMaximum, const char* format, const char* key = nullptr);

  int count() const { return count_; }
  int capacity() const { return capacity_; }
  bool contains(int index) const { return index >= 0 && index < count_; }
  evaProcessorParameter& operator[](int index) { return records_[index]; }
  const evaProcessorParameter& operator[](int index) const { return records_[index]; }

 private:
  std::unique_ptr<evaProcessorParameter[]> records_;
  int capacity_ = 0;
  int16_t count_ = 0;
};

}  // namespace plugin
