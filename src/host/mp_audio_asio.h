#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "host/mp_audio_driver.h"
#include "platform/asio_driver.h"
#include "platform/asio_driver_list.h"

namespace host {

// The back end of the technology "Asio": lists the registered drivers, loads the chosen one and
// runs one block inside each of its buffer switches, converting between the driver's sample
// types and floats. The input and output device lists both name every registered driver; the
// driver of the output device is the one opened.
//
// The driver calls back on its own thread through plain functions, which reach the one current
// instance through a process-wide pointer: only one instance may be open at a time.
class MPAudioAsio : public MPAudioDriver {
 public:
  static constexpr int32_t kMaxBuffersPerDirection = 32;

  // Reads the standard registry files (AsioRegistry::standardFiles) with the user's drivers.reg
  // of the settings folder.
  MPAudioAsio();
  ~MPAudioAsio() override;

  bool getCapabilities(int32_t device, bool isInput, AudioCapabilities& caps) override;
  bool hasControlPanel() override { return true; }
  bool showControlPanel(int32_t device, bool isInput) override;
  // The driver asked to be reset (its buffer size or rate changed): it no longer streams, and
  // the host is to close and reopen it.
  bool resetRequested() const override { return resetRequested_.load(std::memory_order_relaxed); }

  // The driver's error text after a failed init, else "No ASIO Driver" / "No ASIO Driver Error".
  const char* errorMessage() const { return errorMessage_; }
  int32_t inputLatency() const { return inputLatency_; }
  int32_t outputLatency() const { return outputLatency_; }

  // One channel of `frames` samples between a driver sample type and floats. Types without a
  // conversion read as silence (`out` untouched) and write zeros.
  static void convertInput(int32_t type, const void* in, float* out, int32_t frames);
  static void convertOutput(int32_t type, const float* in, void* out, int32_t frames);

 protected:
  bool openDevices() override;
  void closeDevices() override;
  bool startStreaming() override;
  void stopStreaming() override;
  void enumerate() override;

 private:
  static void onBufferSwitch(int32_t half, int32_t directProcess);
  static void onSampleRateChanged(double rate);
  static int32_t onMessage(int32_t selector, int32_t value, void* message, double* opt);
  static platform::AsioTimeInfo* onBufferSwitchTimeInfo(platform::AsioTimeInfo* params,
                                                        int32_t half, int32_t directProcess);

  void bufferSwitch(int32_t half);
  int32_t message(int32_t selector, int32_t value);
  // The driver id of a device record, or -1.
  int32_t driverOf(int32_t device) const;
  bool createBuffers();
  void unloadDriver();
  // Runs `query` on the open driver when `device` is the open one, or on the device's driver
  // loaded and initialised for the query alone when nothing is open.
  bool withDriver(int32_t device, const std::function<bool(platform::AsioDriver&)>& query);

  static std::atomic<MPAudioAsio*> current_;

  platform::AsioDriverList drivers_;
  std::vector<int32_t> recordDrivers_;  // device record index -> driver id
  platform::AsioDriver* driver_ = nullptr;
  int32_t driverId_ = -1;
  int32_t device_ = -1;
  char errorMessage_[124] = "No ASIO Driver";

  int32_t driverInputs_ = 0;
  int32_t driverOutputs_ = 0;
  int32_t inputLatency_ = 0;
  int32_t outputLatency_ = 0;
  bool postOutput_ = false;
  bool buffersCreated_ = false;
  int32_t inputBuffers_ = 0;
  int32_t outputBuffers_ = 0;
  std::array<platform::AsioBufferInfo, 2 * kMaxBuffersPerDirection> bufferInfos_{};
  std::array<int32_t, 2 * kMaxBuffersPerDirection> sampleTypes_{};
  platform::AsioCallbacks callbacks_{};

  std::atomic<bool> stopping_{false};
  std::atomic<uint32_t> switchCount_{0};
  std::atomic<bool> resetRequested_{false};
};

}  // namespace host
