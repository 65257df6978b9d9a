#include "plugin/vlvr_processor.h"

#include <cstring>
#include <new>

#include "framework/epi_text.h"
#include "framework/four_cc.h"
#include "plugin/parameter_descriptor.h"
#include "plugin/sample_rate.h"
#include "rack/finite_samples.h"

namespace plugin {
namespace {

constexpr uint32_t kDefaultsType = framework::fourCC("TEXT");
constexpr uint32_t kDefaultsId = 101;
constexpr int kChannels = 2;

// Rows 19 and 20 share their names with rows 2 and 12; in text settings they go under the names
// of what they select, so an export keeps all four values apart.
const char* settingsKey(int row) {
  switch (row) {
    case 19:
      return "Cabinet";
    case 20:
      return "Amp Model";
    default:
      return kParameterDescriptors[row].name;
  }
}

}  // namespace

vlvrProcessor::vlvrProcessor(ProcessorEngine* engine) : evaProcessor(engine) {
  setStandaloneName("ValvoramaLive");
  for (auto& scratch : scratchOutputs_)
    scratch = std::make_unique<float[]>(kWorkFrames);
  monoBuffer_ = std::make_unique<float[]>(kWorkFrames);
}

vlvrProcessor::~vlvrProcessor() {
  close();
}

void vlvrProcessor::process(float** inputs, float** outputs, int32_t frames) {
  processFrame(outputs, inputs, frames, true);
}

void vlvrProcessor::processReplacing(float** inputs, float** outputs, int32_t frames) {
  processFrame(outputs, inputs, frames, false);
}

vlvrProcessor::Split vlvrProcessor::splitFrames(int32_t frames) {
  Split split{std::max(frames, 0), 1, 0};
  while (split.length > kWorkFrames) {
    split.length >>= 1;
    split.count <<= 1;
  }
  split.rest = std::max(frames, 0) - split.length * split.count;
  return split;
}

void vlvrProcessor::processFrame(float* const* outputs, const float* const* inputs, int32_t frames,
                                 bool accumulate) {
  if (!outputs || !outputs[0] || !outputs[1]) return;
  forEachPiece(frames, [&](int32_t offset, int32_t n) {
    processPiece(outputs, inputs, offset, n, accumulate);
  });
}

void vlvrProcessor::processPiece(float* const* outputs, const float* const* inputs, int32_t offset,
                                 int32_t n, bool accumulate) {
  const float* in0 = inputs && inputs[0] ? inputs[0] + offset : nullptr;
  const float* in1 = inputs && inputs[1] ? inputs[1] + offset : nullptr;
  float* out[kChannels] = {outputs[0] + offset, outputs[1] + offset};

  foldInputs(in0, in1, n);
  rackInputs_[0] = monoBuffer_.get();
  rackInputs_[1] = in1;

  if (!rack_) {
    for (float* channel : out)
      std::memset(channel, 0, sizeof(float) * static_cast<size_t>(n));
    return;
  }

  for (int c = 0; c < kChannels; ++c)
    rackOutputs_[c] = accumulate ? scratchOutputs_[c].get() : out[c];
  rack_->process(rackOutputs_, rackInputs_, n);
  countSilencedBlocks();
  if (accumulate) {
    for (int c = 0; c < kChannels; ++c) {
      const float* scratch = scratchOutputs_[c].get();
      for (int32_t i = 0; i < n; ++i)
        out[c][i] += scratch[i];
    }
  }
}

// The rack reads channel 0 only: the average of both inputs, or the first one alone, with
// every sample that is not finite taken as 0. Halving before the sum keeps two large finite
// samples from adding up to an infinity.
void vlvrProcessor::foldInputs(const float* in0, const float* in1, int32_t n) {
  float* mono = monoBuffer_.get();
  uint32_t nonFinite = 0;
  if (in0 && in1) {
    for (int32_t i = 0; i < n; ++i) {
      mono[i] = rack::finiteOrZero(in0[i], nonFinite) * 0.5f +
                rack::finiteOrZero(in1[i], nonFinite) * 0.5f;
    }
  } else if (in0) {
    for (int32_t i = 0; i < n; ++i)
      mono[i] = rack::finiteOrZero(in0[i], nonFinite);
  } else {
    std::memset(mono, 0, sizeof(float) * static_cast<size_t>(n));
  }
  if (nonFinite != 0) nonFiniteInputs_.fetch_add(nonFinite, std::memory_order_relaxed);
}

// The rack counts its own silenced blocks; the processor's count outlives the rack.
void vlvrProcessor::countSilencedBlocks() {
  const uint64_t silenced = rack_->silencedBlocks();
  if (silenced == rackSilenced_) return;
  silencedBlocks_.fetch_add(silenced - rackSilenced_, std::memory_order_relaxed);
  rackSilenced_ = silenced;
}

void vlvrProcessor::parameterChanged(int32_t index, float plain) {
  if (!rack_ || index < 0 || index >= kParameterCount) return;
  rack_->setParameter(kParameterDescriptors[index].rackParameterId, truncatePlain(plain));
}

const char* vlvrProcessor::getPlugVersion() {
  return "1.2.1 - 13/11/2003";
}

const char* vlvrProcessor::getSettingsVersion() {
  return "1.0.1";
}

void vlvrProcessor::setupPlug() {
  setNumInputs(2);
  setNumOutputs(2);
  canMono();
  setUniqueID(static_cast<int32_t>(framework::fourCC("Vlvr")));
  plugEngine_ = engine();
}

void vlvrProcessor::createDsp() {
  try {
    rack_ = std::make_unique<rack::VRmore>(processSampleRate(), kChannels);
  } catch (const std::bad_alloc&) {
    rack_.reset();
  }
  rackSilenced_ = 0;
  if (rack_) rack_->initialize();
  applyAllParameters();
}

void vlvrProcessor::destroyDsp() {
  rack_.reset();
}

void vlvrProcessor::initParameters() {
  evaProcessorParameters& params = parameters();
  for (int row = 0; row < kParameterCount; ++row) {
    const ParameterDescriptor& d = kParameterDescriptors[row];
    params.addParameter(d.name, d.defaultValue, " ", d.minimum, d.maximum, nullptr, d.minimum,
                        d.maximum, d.format, settingsKey(row));
  }

  const framework::ResourceFile* resources = plugEngine_ ? plugEngine_->resourceFile() : nullptr;
  if (resources) {
    epiTextSettings defaults;
    if (defaults.loadResource(resources, kDefaultsType, kDefaultsId)) readDefaults(defaults);
  }

  for (int j = 0; j < params.count(); ++j)
    params[j].value->store(params[j].defaultValue, std::memory_order_relaxed);
  createPrograms(128);
}

void vlvrProcessor::setDspSampleRate(int32_t rate) {
  if (rack_) rack_->setFormat(static_cast<float>(rate), kChannels, -1);
}

}  // namespace plugin
