// The "Asio" back end: registry files, driver list, sample conversion, the loopback test driver.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "framework/scratch_folder.h"
#include "host/eva_host_audio.h"
#include "host/mp_audio_asio.h"
#include "platform/asio_driver_list.h"
#include "platform/asio_registry.h"
#include "plugin/eva_processor.h"
#include "plugin/sample_rate.h"
#include "support/eventually.h"

namespace {

using host::MPAudioAsio;
using namespace platform;

// A registry file of its own for one test, the only one the driver list reads while it lives.
class AsioTestRegistry {
 public:
  static constexpr const char* kLoopbackClass = "{4C6F6F70-6261-636B-0000-56616C766F72}";

  AsioTestRegistry() {
    std::ofstream(path("drivers.reg"));
    ::setenv("VALVORAMA_DRIVER_REGISTRY", path("drivers.reg").c_str(), 1);
  }
  ~AsioTestRegistry() { ::unsetenv("VALVORAMA_DRIVER_REGISTRY"); }

  // A driver under "software\asio\<key>" whose class names `library`.
  void addDriver(const std::string& key, const std::string& description,
                 const std::string& library = LOOPBACK_DRIVER_PATH,
                 const std::string& clsid = kLoopbackClass) {
    std::ofstream out(path("drivers.reg"), std::ios::app);
    out << "[software\\asio\\" << key << "]\n";
    if (!description.empty()) out << "description = " << description << "\n";
    out << "clsid = " << clsid << "\n[clsid\\" << clsid << "\\InprocServer32]\n@ = " << library
        << "\n";
  }
  std::string path(const std::string& name) const { return folder_.path(name); }

 private:
  testsupport::ScratchFolder folder_;
};

// Listed: drivers with a class id and an existing library, names cut to fit; malformed lines
// are ignored; requests are checked.
TEST(AsioDriverList, ListsCutsNamesAndOpensOneInstance) {
  AsioTestRegistry files;
  std::ofstream(files.path("drivers.reg"), std::ios::app)
      << "# comment\r\nignored = before any key\n[software\\asio\\Unclosed\nno equals sign\n";
  files.addDriver("Loop", std::string(300, 'x'));
  files.addDriver("NoLibrary", "Missing", files.path("missing.so"),
                  "{00000000-0000-0000-0000-00000000000A}");
  files.addDriver("BadId", "Bad", LOOPBACK_DRIVER_PATH, "{not-a-class-id}");
  files.addDriver("Other", "Wrong class", LOOPBACK_DRIVER_PATH,
                  "{00000000-0000-0000-0000-000000000001}");
  AsioDriverList list(AsioRegistry::loadStandard(""));
  ASSERT_EQ(list.count(), 2);
  char name[300];
  ASSERT_EQ(list.getName(0, name, sizeof name), kAsioOk);
  EXPECT_EQ(name, std::string(AsioDriverList::kMaxNameLength, 'x'));
  ASSERT_EQ(list.getName(1, name, sizeof name), kAsioOk);
  EXPECT_STREQ(name, "Wrong class");
  char shortName[10];
  ASSERT_EQ(list.getName(0, shortName, sizeof shortName), kAsioOk);
  EXPECT_STREQ(shortName, "xxxxxx...");

  AsioDriver *driver = nullptr, *again = nullptr;
  EXPECT_EQ(list.getName(-1, name, sizeof name), AsioDriverList::kNotInList);
  EXPECT_EQ(list.open(0, nullptr), AsioDriverList::kMissingOutput);
  EXPECT_EQ(list.open(1, &driver), AsioDriverList::kCannotCreate);
  ASSERT_EQ(list.open(0, &driver), kAsioOk);
  EXPECT_EQ(list.open(0, &again), AsioDriverList::kAlreadyOpen);
  EXPECT_EQ(list.close(0), kAsioOk);
}

int64_t readLittleEndian(const uint8_t* p, size_t bytes) {
  uint64_t bits = 0;
  for (size_t i = 0; i < bytes; ++i)
    bits |= uint64_t{p[i]} << (8 * i);
  const uint64_t sign = uint64_t{1} << (8 * bytes - 1);
  return static_cast<int64_t>(bits ^ sign) - static_cast<int64_t>(sign);
}

// Output clips, truncates toward zero, makes NaN silent; input returns within a step, signed.
TEST(AsioConversion, IntegerTypesRoundTripAndTheOthersAreSilent) {
  const struct {
    int32_t type;
    size_t bytes;
    double fullScale;
  } types[] = {
      {kInt16Lsb, 2, 32767.0},     {kInt24Lsb, 3, 8388607.0},  {kInt32Lsb, 4, 2147483647.0},
      {kInt32Lsb16, 4, 32767.0},   {kInt32Lsb18, 4, 131071.0}, {kInt32Lsb20, 4, 524287.0},
      {kInt32Lsb24, 4, 8388607.0},
  };
  const float samples[] = {1.0f, -1.0f, 0.5f, -0.25f, 1e-3f, -1e-4f, 0.0f, -1.5f, std::nanf("")};
  constexpr int32_t n = sizeof samples / sizeof samples[0];
  for (const auto& t : types) {
    SCOPED_TRACE(t.type);
    std::vector<uint8_t> device(t.bytes * n + 1, 0xee);
    MPAudioAsio::convertOutput(t.type, samples, device.data(), n);
    EXPECT_EQ(device.back(), 0xee) << "wrote past the block";
    float back[n];
    MPAudioAsio::convertInput(t.type, device.data(), back, n);
    for (int32_t i = 0; i < n; ++i) {
      const double clipped = samples[i] == samples[i] ? std::clamp(samples[i], -1.0f, 1.0f) : 0;
      const int64_t written = readLittleEndian(&device[i * t.bytes], t.bytes);
      EXPECT_EQ(written, static_cast<int64_t>(clipped * t.fullScale)) << samples[i];
      EXPECT_NEAR(back[i], clipped, 1.0 / t.fullScale + 1e-7) << samples[i];
    }
    EXPECT_EQ(back[0], 1.0f);
    EXPECT_EQ(back[1], -1.0f);
  }

  // Big-endian and double types are silent both ways.
  std::vector<uint8_t> bytes(3 * n + 1, 0x5a);
  MPAudioAsio::convertOutput(kInt24Msb, samples, bytes.data(), n);
  bytes.back() ^= 0x5a;  // zero unless the block overran
  EXPECT_EQ(bytes, std::vector<uint8_t>(3 * n + 1, 0));
  float in[n] = {7};
  MPAudioAsio::convertInput(kFloat64Lsb, bytes.data(), in, n);
  EXPECT_EQ(in[0], 7.0f);  // left as it was: the input buffer stays silent
}

class AsioConcurrency : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"LOOPBACK_PREFERRED_SIZE", "LOOPBACK_RESET_AFTER", "LOOPBACK_RATE"})
      ::unsetenv(name);
    plugin::setProcessSampleRate(44100.0f);
  }
  AsioTestRegistry registry_;
};

// Generic drivers are not listed; one instance at a time, and only it answers while open.
TEST_F(AsioConcurrency, CapabilitiesComeFromTheDriverAndOneInstanceIsOpen) {
  registry_.addDriver("mme", "ASIO Multimedia Driver");
  registry_.addDriver("loop", "Loopback");
  registry_.addDriver("other", "Second");
  MPAudioAsio first, second;
  first.enumerateDevices(false);
  EXPECT_EQ(first.getOutputDevices().size(), 2u);
  host::AudioCapabilities out;
  ASSERT_TRUE(first.getCapabilities(0, false, out));
  EXPECT_EQ(out.bufferSizes, std::vector<int32_t>{256});
  EXPECT_EQ(out.sampleRates, (std::vector<int32_t>{44100, 48000}));
  EXPECT_FALSE(first.getCapabilities(2, false, out));

  EXPECT_FALSE(first.open(0, 0, 256, 0, 1, 0, 1, 22050)) << "a rate the driver refuses";
  EXPECT_FALSE(first.open(0, 0, 256, 0, 1, 0, 5, 48000)) << "a channel the driver lacks";
  ASSERT_TRUE(first.open(host::kFirstDevice, host::kFirstDevice, 1024, 0, 1, 0, 1, 48000));
  EXPECT_EQ(first.getBufferSize(), 256);
  EXPECT_FALSE(first.getCapabilities(1, false, out));
  EXPECT_FALSE(second.open(0, 0, 256, 0, 1, 0, 1, 48000));
  first.close();
  EXPECT_TRUE(second.open(0, 0, 256, 0, 1, 0, 1, 48000));
}

struct CountingProcessor : plugin::evaProcessor {
  void processReplacing(float**, float**, int32_t count) override {
    frames.fetch_add(count, std::memory_order_relaxed);
  }
  std::atomic<int64_t> frames{0};
};

TEST_F(AsioConcurrency, TheHostRunsAtTheDriversSizeAndReopensOnAResetRequest) {
  registry_.addDriver("loop", "Loopback");
  ::setenv("LOOPBACK_RESET_AFTER", "10", 1);
  CountingProcessor processor;
  host::evaHostAudio audio(processor, "");
  host::HardwareSettings& settings = audio.settings();
  settings.audioTechnology = "Asio";
  settings.curInDeviceName = settings.curOuDeviceName = "Loopback";
  settings.selectedFrequencies = "48000";
  settings.selectedBufSize = "1024";
  audio.create();
  ASSERT_EQ(audio.start(), host::evaHostAudio::State::kRunning);
  EXPECT_EQ(audio.bufferFrames(), 256);
  EXPECT_FALSE(audio.serviceReset());

  // After the request no block reaches the processor until the host reopens the driver.
  ASSERT_TRUE(testsupport::eventually([&] { return audio.audio()->resetRequested(); }));
  const int64_t frames = processor.frames.load();
  EXPECT_EQ(frames, 10 * 256);
  ::unsetenv("LOOPBACK_RESET_AFTER");
  // The driver's size and rate changed: the host follows both.
  ::setenv("LOOPBACK_PREFERRED_SIZE", "128", 1);
  ::setenv("LOOPBACK_RATE", "44100", 1);
  EXPECT_TRUE(audio.serviceReset());
  EXPECT_EQ(audio.status().state, host::evaHostAudio::State::kRunning);
  EXPECT_EQ(audio.bufferFrames(), 128);
  EXPECT_EQ(settings.selectedBufSize, "128");
  EXPECT_EQ(settings.selectedFrequencies, "44100");
  EXPECT_EQ(plugin::processSampleRate(), 44100.0f);
  ASSERT_TRUE(
      testsupport::eventually([&] { return processor.frames.load() >= frames + 10 * 128; }));
}

}  // namespace
