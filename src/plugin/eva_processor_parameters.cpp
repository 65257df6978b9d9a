#include "plugin/eva_processor_parameters.h"

#include "plugin/audio_effect.h"

namespace plugin {

void evaProcessorParameters::reserve(int capacity) {
  capacity_ = capacity > 0 ? capacity : 0;
  records_ = std::make_unique<evaProcessorParameter[]>(static_cast<size_t>(capacity_));
  count_ = 0;
}

void evaProcessorParameters::addParameter(const char* name, float defaultValue, const char* label,
                                          float minimum, float maximum,
                                          std::atomic<float>* valueLocation, float displayMinimum,
                                          float displayMaximum, const char* format,
                                          const char* key) {
  if (count_ >= capacity_) return;
  evaProcessorParameter& p = records_[count_];
  copyText(p.name, name, evaProcessorParameter::kTextSize);
  copyText(p.label, label, evaProcessorParameter::kTextSize);
  copyText(p.format, format, evaProcessorParameter::kTextSize);
  copyText(p.key, key ? key : name, evaProcessorParameter::kTextSize);
  p.value = valueLocation ? valueLocation : &p.storage;
  p.value->store(defaultValue, std::memory_order_relaxed);
  p.defaultValue = defaultValue;
  p.minimum = minimum;
  p.maximum = maximum;
  p.displayMinimum = displayMinimum;
  p.displayMaximum = displayMaximum;
  p.changed.store(false, std::memory_order_relaxed);
  ++count_;
}

}  // namespace plugin
