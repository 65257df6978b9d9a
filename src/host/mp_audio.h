#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/mp_audio_driver.h"

namespace host {

// The technology switch: owns the driver of the chosen technology and forwards every device
// operation to it. Without a driver every operation answers false, 0 or an empty list, so a
// host with no technology keeps running in silence.
class MPAudio : public MPAudioInterface {
 public:
  using DriverFactory = std::unique_ptr<MPAudioDriver> (*)();

  static constexpr int32_t kTechnologyCount = 2;

  MPAudio();
  ~MPAudio() override;
  MPAudio(const MPAudio&) = delete;
  MPAudio& operator=(const MPAudio&) = delete;

  static int32_t getTechnologyCount() { return kTechnologyCount; }
  // False (and `name` untouched) for an index outside the table.
  static bool getTechnologyName(int32_t index, std::string& name);
  // Closes and deletes the current driver, then creates the one of `index`; whether a driver
  // exists afterwards.
  bool selectTechnology(int32_t index);
  // Exact, case-sensitive; a name outside the table leaves no technology and returns false.
  bool selectTechnologyByName(const char* name);
  // The table row in use, -1 when none.
  int32_t technology() const { return technology_; }
  // Null when no technology is selected or its driver could not be made.
  MPAudioDriver* driver() const { return driver_.get(); }

  // How a technology's driver is made; a null factory makes none. Returns the previous one, so
  // a test that puts in a fake back end can restore it.
  static DriverFactory setDriverFactory(int32_t index, DriverFactory factory);

  bool openByNames(const char* inputName, const char* outputName, int32_t bufferSize,
                   int32_t input1, int32_t input2, int32_t outputLeft, int32_t outputRight,
                   int32_t sampleRate) override;
  bool open(int32_t inputDevice, int32_t outputDevice, int32_t bufferSize, int32_t input1,
            int32_t input2, int32_t outputLeft, int32_t outputRight, int32_t sampleRate) override;
  bool openConfig(const AudioDeviceConfig& config) override;
  bool openConfigByNames(const char* inputName, const char* outputName,
                         AudioDeviceConfig config) override;
  void close() override;
  bool start() override;
  void stop() override;
  bool isRunning() const override;
  bool isOpen() const override;
  int64_t getSamplePosition() const override;
  int32_t getBufferSize() const override;
  void enumerateDevices(bool force) override;
  const AudioDeviceList& getOutputDevices() override;
  const AudioDeviceList& getInputDevices() override;
  bool findDevice(const char* name, bool isInput, int32_t& index) override;
  bool getCapabilities(int32_t device, bool isInput, AudioCapabilities& caps) override;
  bool hasControlPanel() override;
  bool showControlPanel(int32_t device, bool isInput) override;
  bool resetRequested() const override;

 private:
  void releaseDriver();

  std::unique_ptr<MPAudioDriver> driver_;
  int32_t technology_ = -1;
};

}  // namespace host
