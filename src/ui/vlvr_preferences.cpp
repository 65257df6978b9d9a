#include "ui/vlvr_preferences.h"

#include <bit>
#include <cmath>

#include "framework/atoms_file.h"
#include "framework/four_cc.h"
#include "plugin/vlvr_processor.h"

namespace ui {
namespace {

constexpr uint32_t kTune = framework::fourCC("tune");
constexpr uint32_t kSkin = framework::fourCC("skin");
constexpr uint32_t kLast = framework::fourCC("last");
// The rack's own parameter for the tuner's reference, in whole hertz.
constexpr int kTunerReferenceParameter = 54;
// Beyond this the reference no longer converts to a whole number of hertz.
constexpr float kMaxReference = 2.0e9f;

bool usableReference(float hz) {
  return std::isfinite(hz) && hz >= 1.0f && hz < kMaxReference;
}

}  // namespace

void vlvrPreferences::setTunerReference(float hz) {
  if (usableReference(hz)) tunerReference_ = hz;
}

void vlvrPreferences::setSkin(int32_t skin) {
  if (skin >= 0 && skin < kSkinCount) skin_ = skin;
}

bool vlvrPreferences::load(const std::string& path) {
  framework::AtomsFile file;
  if (!file.openForReading(path)) return false;
  // The reference is read as a 32-bit word so that a file from the other byte order, whose
  // float is in that order as well, is turned round like its integers.
  int32_t word = 0;
  if (file.readLong(kTune, &word)) setTunerReference(std::bit_cast<float>(word));
  int32_t value = 0;
  if (file.readLong(kSkin, &value)) setSkin(value);
  if (file.readLong(kLast, &value) && value >= 0 && value < kProgramCount) lastProgram_ = value;
  file.close();
  return true;
}

bool vlvrPreferences::save(const std::string& path, int32_t program) const {
  framework::AtomsFile file;
  if (!file.createForWriting(path)) return false;
  file.writeLong(kTune, std::bit_cast<int32_t>(tunerReference_));
  file.writeLong(kSkin, skin_);
  file.writeLong(kLast, program);
  return file.close();
}

void vlvrPreferences::apply(plugin::evaProcessor& processor) const {
  applyTunerReference(processor);
  processor.setProgram(lastProgram_);
}

void vlvrPreferences::applyTunerReference(plugin::evaProcessor& processor) const {
  // Not through the product-level setter, where 54 is the stomp delay's switch.
  const auto* amp = dynamic_cast<plugin::vlvrProcessor*>(&processor);
  if (rack::Gorbel* rack = amp ? amp->rack() : nullptr) {
    rack->setParameter(kTunerReferenceParameter, tunerHz());
  }
}

}  // namespace ui
