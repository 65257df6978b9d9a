// The JACK driver library on its own, loaded as the host loads it, on the fixture's server.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jack/jack_driver_class_id.h"
#include "jack_probe_client.h"
#include "platform/asio_driver.h"
#include "support/allocation_counter.h"
#include "support/jack/jack_fixture.h"

namespace {

using namespace std::chrono_literals;
using jacktest::JackProbeClient;
using jacktest::waitUntil;
using platform::AsioDriver;

constexpr auto kLimit = 10s;

std::string errorOf(AsioDriver& driver) {
  char text[124] = {};
  driver.getErrorMessage(text);
  return text;
}

// What the callbacks saw. They are plain functions, as the host's are, so this is global.
struct SwitchLog {
  std::atomic<int> switches{0};
  std::array<int32_t, 64> halves{};
  std::atomic<size_t> allocations{0};
  std::atomic<int> resetRequests{0};
} gLog;

void onSwitch(int32_t half, int32_t) {
  static thread_local std::optional<testsupport::AllocationCounter> counter;
  if (!counter) counter.emplace();
  const int n = gLog.switches.load(std::memory_order_relaxed);
  if (n < static_cast<int>(gLog.halves.size())) gLog.halves[static_cast<size_t>(n)] = half;
  gLog.allocations.store(counter->count(), std::memory_order_relaxed);
  gLog.switches.store(n + 1, std::memory_order_release);
}

int32_t onMessage(int32_t selector, int32_t value, void*, double*) {
  if (selector == platform::kResetRequest) gLog.resetRequests.fetch_add(1);
  return selector == platform::kSelectorSupported && value == platform::kResetRequest ? 1 : 0;
}

const platform::AsioCallbacks kCallbacks{&onSwitch, nullptr, &onMessage, nullptr};

using JackDriver = testsupport::JackServerTest;

// What the switch moves in and out is compared with an offline render in asio_jack_test.
TEST_F(JackDriver, DescribesTheServerRunsTheSwitchAndFollowsTheServersChanges) {
  // The library opened as the driver list opens it, and one driver of it, initialised.
  std::unique_ptr<void, int (*)(void*)> library(dlopen(JACK_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL),
                                                &dlclose);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto factory =
      reinterpret_cast<platform::AsioFactory>(dlsym(library.get(), platform::kAsioFactorySymbol));
  ASSERT_NE(factory, nullptr);
  std::unique_ptr<AsioDriver, void (*)(AsioDriver*)> driver(
      factory(&jackdriver::kJackDriverClassId), [](AsioDriver* d) { d->release(); });
  ASSERT_NE(driver, nullptr);
  ASSERT_TRUE(driver->init(nullptr)) << errorOf(*driver);
  const int32_t period = server_->period();
  std::array<platform::AsioBufferInfo, 3> infos{};
  const auto createBuffers = [&] {  // input 0 and outputs 0 and 1, at the server's period
    infos = {{{1, 0, {}}, {0, 0, {}}, {0, 1, {}}}};
    return driver->createBuffers(infos.data(), 3, period, &kCallbacks);
  };
  const auto switchesPass = [](int count) {
    const int from = gLog.switches.load();
    return waitUntil([&] { return gLog.switches.load() >= from + count; }, kLimit);
  };

  platform::AsioClassId other = jackdriver::kJackDriverClassId;
  other.data4[7] ^= 1;
  EXPECT_EQ(factory(&other), nullptr);

  // The fixture's server has the dummy card's ports and two loopback ports per direction. The
  // probe goes before the server: a client opened after its death deletes it.
  std::optional<JackProbeClient> probe;
  probe.emplace("probe", 0, 0, 0);
  ASSERT_TRUE(probe->ok());
  jack_client_t* client = probe->client();
  int32_t inputs = 0, outputs = 0;
  ASSERT_EQ(driver->getChannels(&inputs, &outputs), platform::kAsioOk);
  ASSERT_EQ(std::pair(inputs, outputs), std::pair(4, 4));
  platform::AsioChannelInfo beyondLast;
  beyondLast.channel = 4;
  beyondLast.isInput = 1;
  EXPECT_EQ(driver->getChannelInfo(&beyondLast), platform::kAsioInvalidParameter);
  EXPECT_NE(driver->setSampleRate(44100.0), platform::kAsioOk);
  EXPECT_EQ(errorOf(*driver), "The JACK server runs at 48000 Hz, not 44100 Hz");

  EXPECT_EQ(driver->start(), platform::kAsioInvalidMode) << "no buffers yet";
  std::array<platform::AsioBufferInfo, 2> twice{{{1, 0, {}}, {1, 0, {}}}};
  std::array<platform::AsioBufferInfo, 1> beyond{{{0, 4, {}}}};
  EXPECT_EQ(driver->createBuffers(twice.data(), 1, 2 * period, &kCallbacks),
            platform::kAsioInvalidMode);
  for (const auto& [infos, count] :
       {std::pair{twice.data(), 2}, {beyond.data(), 1}, {twice.data(), 0}}) {
    EXPECT_EQ(driver->createBuffers(infos, count, period, &kCallbacks),
              platform::kAsioInvalidParameter)
        << count << " buffers";
  }
  ASSERT_EQ(createBuffers(), platform::kAsioOk);
  ASSERT_EQ(driver->start(), platform::kAsioOk);
  // Connected to the physical ports of their channels, as the probe client soon hears.
  for (const auto& [own, physical] : {std::pair{"Valvorama Live:in_1", "system:capture_1"},
                                      {"Valvorama Live:out_1", "system:playback_1"},
                                      {"Valvorama Live:out_2", "system:playback_2"}}) {
    jack_port_t* port = jack_port_by_name(client, own);
    ASSERT_NE(port, nullptr) << own;
    EXPECT_TRUE(waitUntil([&] { return jack_port_connected_to(port, physical) != 0; }, kLimit))
        << own << " to " << physical;
  }

  ASSERT_TRUE(switchesPass(12));
  ASSERT_EQ(driver->stop(), platform::kAsioOk);
  const int switches = gLog.switches.load();
  for (int i = 0; i < std::min<int>(switches, gLog.halves.size()); ++i)
    ASSERT_EQ(gLog.halves[size_t(i)], i % 2) << "switch " << i;
  EXPECT_EQ(gLog.allocations.load(), 0u) << "the JACK thread allocated between switches";
  EXPECT_FALSE(waitUntil([&] { return gLog.switches.load() > switches; }, 300ms))
      << "a switch after stop";
  ASSERT_EQ(driver->disposeBuffers(), platform::kAsioOk);
  EXPECT_EQ(jack_port_by_name(client, "Valvorama Live:in_1"), nullptr);

  // New buffers; a new period on the server asks the host for a reset.
  ASSERT_EQ(createBuffers(), platform::kAsioOk);
  ASSERT_EQ(driver->start(), platform::kAsioOk);
  ASSERT_TRUE(switchesPass(2));
  ASSERT_EQ(jack_set_buffer_size(client, jack_nframes_t(2 * period)), 0);
  ASSERT_TRUE(waitUntil([] { return gLog.resetRequests.load() >= 1; }, kLimit));
  // No switch runs on buffers of the old size until the host makes new ones.
  const int beforeReset = gLog.switches.load();
  EXPECT_FALSE(waitUntil([&] { return gLog.switches.load() > beforeReset; }, 300ms));
  EXPECT_EQ(gLog.resetRequests.load(), 1) << "one request for one change";
  probe.reset();

  server_->kill();
  ASSERT_TRUE(waitUntil([&driver] { return driver->start() == platform::kAsioHardwareMalfunction; },
                        kLimit));
  EXPECT_EQ(errorOf(*driver), "The JACK server has shut down");
  // Any client opened now makes libjack close and delete the one whose server went.
  EXPECT_EQ(jack_client_open("other", JackNoStartServer, nullptr), nullptr);
  // Each call comes back, and none touches the deleted client.
  auto stopped = std::async(std::launch::async, [&driver] { return driver->stop(); });
  ASSERT_EQ(stopped.wait_for(kLimit), std::future_status::ready) << "stop hangs";
  EXPECT_EQ(stopped.get(), platform::kAsioOk);
  auto released = std::async(std::launch::async, [lost = driver.release()] {
    lost->disposeBuffers();
    lost->release();
  });
  ASSERT_EQ(released.wait_for(kLimit), std::future_status::ready) << "release hangs";
}

}  // namespace
