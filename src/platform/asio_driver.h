#pragma once

// The low-latency driver interface of the "Asio" technology. A driver lives in a shared library
// named by the driver registry and is created through the library's one exported factory
// (kAsioFactorySymbol). The driver calls the host back on its own thread once per buffer half.
//
// Plain C++ with a stable layout: the host and a driver library are built by the same compiler
// from this header; nothing here may hold a standard-library type.

#include <cstdint>

namespace platform {

using AsioResult = int32_t;
constexpr AsioResult kAsioOk = 0;
constexpr AsioResult kAsioSuccess = 0x3f4847a0;  // the answer of a successful future() call
constexpr AsioResult kAsioNotPresent = -1000;
constexpr AsioResult kAsioHardwareMalfunction = -999;
constexpr AsioResult kAsioInvalidParameter = -998;
constexpr AsioResult kAsioInvalidMode = -997;
constexpr AsioResult kAsioNotAdvancing = -996;
constexpr AsioResult kAsioNoClock = -995;
constexpr AsioResult kAsioNoMemory = -994;

// A 128-bit class identifier, as written "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
struct AsioClassId {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};

// Sample layouts of a channel buffer.
enum AsioSampleType : int32_t {
  kInt16Msb = 0,
  kInt24Msb = 1,
  kInt32Msb = 2,
  kFloat32Msb = 3,
  kFloat64Msb = 4,
  kInt32Msb16 = 8,
  kInt32Msb18 = 9,
  kInt32Msb20 = 10,
  kInt32Msb24 = 11,
  kInt16Lsb = 16,
  kInt24Lsb = 17,
  kInt32Lsb = 18,
  kFloat32Lsb = 19,
  kFloat64Lsb = 20,
  kInt32Lsb16 = 24,
  kInt32Lsb18 = 25,
  kInt32Lsb20 = 26,
  kInt32Lsb24 = 27,
};

// Message selectors a driver sends to the host (AsioCallbacks::message).
enum AsioSelector : int32_t {
  kSelectorSupported = 1,  // value: the selector asked about
  kEngineVersion = 2,
  kResetRequest = 3,  // the driver needs the host to stop, close and reopen it
  kBufferSizeChange = 4,
  kResyncRequest = 5,
  kLatenciesChanged = 6,
  kSupportsTimeInfo = 7,
  kSupportsTimeCode = 8,
};

struct AsioTimeInfo;  // never filled by this host

struct AsioCallbacks {
  void (*bufferSwitch)(int32_t halfIndex, int32_t directProcess);
  void (*sampleRateDidChange)(double rate);
  int32_t (*message)(int32_t selector, int32_t value, void* message, double* opt);
  AsioTimeInfo* (*bufferSwitchTimeInfo)(AsioTimeInfo* params, int32_t halfIndex,
                                        int32_t directProcess);
};

struct AsioBufferInfo {
  int32_t isInput = 0;
  int32_t channelNumber = 0;
  void* buffers[2] = {nullptr, nullptr};  // filled by createBuffers
};

struct AsioChannelInfo {
  int32_t channel = 0;
  int32_t isInput = 0;
  int32_t isActive = 0;
  int32_t channelGroup = 0;
  int32_t type = kFloat32Lsb;
  char name[32] = {};
};

// The driver object. `sysHandle` of init is the host's window id or null.
class AsioDriver {
 public:
  virtual void release() = 0;  // destroys the object inside the library that made it
  virtual bool init(void* sysHandle) = 0;
  virtual void getDriverName(char* name) = 0;  // up to 32 bytes with the terminator
  virtual int32_t getDriverVersion() = 0;
  virtual void getErrorMessage(char* text) = 0;  // up to 124 bytes with the terminator
  virtual AsioResult start() = 0;
  virtual AsioResult stop() = 0;
  virtual AsioResult getChannels(int32_t* inputs, int32_t* outputs) = 0;
  virtual AsioResult getLatencies(int32_t* input, int32_t* output) = 0;
  virtual AsioResult getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                   int32_t* granularity) = 0;
  virtual AsioResult canSampleRate(double rate) = 0;
  virtual AsioResult getSampleRate(double* rate) = 0;
  virtual AsioResult setSampleRate(double rate) = 0;
  virtual AsioResult getChannelInfo(AsioChannelInfo* info) = 0;
  virtual AsioResult createBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                                   const AsioCallbacks* callbacks) = 0;
  virtual AsioResult disposeBuffers() = 0;
  virtual AsioResult controlPanel() = 0;
  virtual AsioResult outputReady() = 0;  // kAsioNotPresent when the driver has no use for it

 protected:
  ~AsioDriver() = default;
};

// The factory every driver library exports with C linkage: the driver object for `classId`, or
// null when the library does not make that class or cannot create it.
using AsioFactory = AsioDriver* (*)(const AsioClassId* classId);
inline constexpr const char* kAsioFactorySymbol = "valvoramaCreateAsioDriver";

}  // namespace platform
