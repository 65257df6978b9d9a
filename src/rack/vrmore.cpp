#include "rack/vrmore.h"

#include <algorithm>

namespace rack {
namespace {

// Product ids with a translation of their own.
enum ProductId {
  kWahRackMode = 4,
  kOverdriveOn = 9,
  kStompLevel = 36,
  kChorusLevel = 39,
  kFlangerLevel = 43,
  kPlateLevel = 46,
  kEchoLevel = 50,
  kTunerSwitch = 53,
  kStompSwitch = 54,  // 54..58 switch 36, 39, 43, 46, 50
  kEchoSwitch = 58,
  kStompBypass = 59,
  kOutputBypass = 61,
  kAmpModel = 62,
  kCabinet = 63,
  kSpeakerMode = 64,
  kWahMode = 65,
};

constexpr int kSwitched[] = {kStompLevel, kChorusLevel, kFlangerLevel, kPlateLevel, kEchoLevel};

}  // namespace

VRmore::VRmore(float sampleRate, int channels) : Gorbel(sampleRate, channels) {}

void VRmore::initialize() {
  reset();
  for (auto& p : productParams_)
    p.store(0, std::memory_order_relaxed);
  for (auto [id, value] :
       {std::pair{62, 0}, {64, 0}, {63, 0}, {61, 1}, {53, 1}, {55, 0}, {56, 0}, {39, 0}, {43, 0}}) {
    setParameter(id, value);
  }
}

int VRmore::productParameter(int id) const {
  return id >= 0 && id < kProductParameterCount ? stored(id) : 0;
}

double VRmore::setParameter(int id, int value) {
  if (id < 0 || id >= kProductParameterCount) return 0.0;
  value = std::clamp(value, 0, 127);
  productParams_[id].store(value, std::memory_order_relaxed);

  if (id == kWahRackMode) {
    if (stored(kTunerSwitch) != 0) setRack(kWahRackMode, value);
  } else if (id == kOverdriveOn) {
    setRack(id, value);
  } else if (const auto* level = std::find(std::begin(kSwitched), std::end(kSwitched), id);
             level != std::end(kSwitched)) {
    // A switched level reaches the rack only while its switch is on.
    const int switchId = kStompSwitch + static_cast<int>(level - std::begin(kSwitched));
    if (stored(switchId) != 0) setRack(id, value);
  } else if (id == kTunerSwitch) {
    setRack(kWahRackMode, value != 0 ? stored(kWahRackMode) : 0);
  } else if (id >= kStompSwitch && id <= kEchoSwitch) {
    const int levelId = kSwitched[id - kStompSwitch];
    setRack(levelId, value != 0 ? stored(levelId) : 0);
  } else if (id >= kStompBypass && id <= kOutputBypass) {
    const int flags[3] = {stored(59), stored(60), stored(61)};
    setBypassFlags(flags);
  } else if (id == kAmpModel) {
    // Preamp, tone stack and power stage of each amp choice, always in that order.
    static constexpr int kModels[3][3] = {{1, 0, 2}, {3, 4, 2}, {5, 1, 0}};
    if (value <= 2) {
      for (int rackId = 0; rackId < 3; ++rackId)
        setRack(rackId, kModels[value][rackId]);
    }
  } else if (id == kCabinet) {
    applyCabinet(value);
  } else if (id == kSpeakerMode) {
    applyCabinet(stored(kCabinet));
  } else if (id == kWahMode) {
    static constexpr int kRackWahModes[3] = {1, 0, 2};  // pedal, off, automatic
    if (value <= 2) setRack(kWahRackMode, kRackWahModes[value]);
  } else {
    setRack(id, value);
  }
  return 0.0;
}

void VRmore::applyCabinet(int choice) {
  static constexpr int kCabinetModels[3] = {1, 6, 5};
  if (stored(kSpeakerMode) == 0) {
    setRack(3, CabinetStage::kNoCabinet);
  } else if (choice >= 0 && choice <= 2) {
    setRack(3, kCabinetModels[choice]);
  }
}

void VRmore::setTunerMode(uint32_t mode) {
  switch (mode) {
    case 0:
      tunerModeOn_.store(true, std::memory_order_relaxed);
      tunerModeMute_.store(true, std::memory_order_relaxed);
      Gorbel::setParameter(53, 2);
      break;
    case 1:
      tunerModeOn_.store(false, std::memory_order_relaxed);
      tunerModeMute_.store(false, std::memory_order_relaxed);
      Gorbel::setParameter(53, 0);
      break;
    case 2:
      tunerModeOn_.store(true, std::memory_order_relaxed);
      tunerModeMute_.store(false, std::memory_order_relaxed);
      Gorbel::setParameter(53, 1);
      break;
    default:
      break;
  }
}

void VRmore::updateTunerDisplay() {
  display_.update(reading_.read());
}

}  // namespace rack
