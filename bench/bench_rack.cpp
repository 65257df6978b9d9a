// The rack at 44.1 kHz in 64-frame blocks: each stage alone and the whole chain, and the
// processor around it. "per_sample" is the cost of one frame of mono input.

#include <benchmark/benchmark.h>

#include <cmath>
#include <utility>
#include <vector>

#include "bench_signals.h"
#include "plugin/vlvr_processor.h"
#include "rack/amp_simulator.h"
#include "rack/cabinet_stage.h"
#include "rack/noise_gate.h"
#include "rack/spring_reverb.h"
#include "rack/tone_stack.h"
#include "rack/vrmore.h"

namespace {

using benchsignals::guitar;
using benchsignals::kRate;
using benchsignals::perFrame;
constexpr int kBlock = 64;

template <class Stage>
void runBlocks(benchmark::State& state, Stage&& stage) {
  const auto& in = guitar();
  std::vector<float> out(kBlock);
  size_t pos = 0;
  for (auto _ : state) {
    stage(out.data(), in.data() + pos);
    benchmark::DoNotOptimize(out.data());
    pos = (pos + kBlock) % (in.size() - kBlock);
  }
  perFrame(state, kBlock);
}

void BM_Gate(benchmark::State& state) {
  rack::NoiseGate gate;
  gate.setFormat(1, kRate);
  runBlocks(state, [&](float* out, const float* in) {
    std::copy_n(in, kBlock, out);
    gate.process(out, kBlock);
  });
}
BENCHMARK(BM_Gate);

void BM_ToneStack(benchmark::State& state) {
  rack::ToneStack stack;
  stack.setSampleRate(kRate);
  stack.setModel(4);
  runBlocks(state, [&](float* out, const float* in) { stack.process(out, in, kBlock); });
}
BENCHMARK(BM_ToneStack);

void BM_SpringReverb(benchmark::State& state) {
  rack::SpringReverb spring;
  spring.setFormat(1, kRate);
  runBlocks(state, [&](float* out, const float* in) { spring.process(out, in, kBlock); });
}
BENCHMARK(BM_SpringReverb);

void BM_Cabinet(benchmark::State& state) {
  rack::CabinetStage cabinet;
  cabinet.setFormat(kRate);
  cabinet.setModel(int(state.range(0)), 0, 0, 0);
  runBlocks(state, [&](float* out, const float* in) { cabinet.process(out, in, kBlock); });
}
BENCHMARK(BM_Cabinet)->Arg(1)->Arg(5)->Arg(6);

// The amp section with each product amp (preamp 1, 3, 5 with their tone stacks and power
// stages), cabinet 1, overdrive on and the spring reverb up.
void BM_AmpSection(benchmark::State& state) {
  static constexpr int kModels[3][3] = {{1, 0, 2}, {3, 4, 2}, {5, 1, 0}};
  const auto& m = kModels[state.range(0)];
  rack::AmpSimulator amp;
  amp.reset();
  amp.setPreampModel(m[0]);
  amp.setToneStackModel(m[1]);
  amp.setPowerStageModel(m[2]);
  amp.setCabinetModel(1);
  amp.setOverdriveOn(1);
  amp.setSpringReverb(0.6f);
  runBlocks(state, [&](float* out, const float* in) { amp.process(out, in, kBlock); });
}
BENCHMARK(BM_AmpSection)->DenseRange(0, 2);

// The whole rack as the processor drives it.
void runRack(benchmark::State& state, rack::VRmore& rack) {
  const auto& in = guitar();
  std::vector<float> left(kBlock), right(kBlock);
  float* outs[2] = {left.data(), right.data()};
  size_t pos = 0;
  for (auto _ : state) {
    const float* ins[1] = {in.data() + pos};
    rack.process(outs, ins, kBlock);
    benchmark::DoNotOptimize(left.data());
    pos = (pos + kBlock) % (in.size() - kBlock);
  }
  perFrame(state, kBlock);
}

// (a) The product's default program.
void BM_RackDefaultProgram(benchmark::State& state) {
  rack::VRmore rack(kRate, 2);
  rack.initialize();
  // The descriptor table's defaults, by product id.
  for (auto [id, value] :
       {std::pair{8, 64}, {51, 64}, {65, 1},  {5, 30},  {19, 64}, {10, 50}, {11, 40}, {12, 50},
        {9, 0},           {54, 0},  {34, 30}, {35, 64}, {36, 30}, {13, 85}, {15, 64}, {16, 64},
        {17, 64},         {18, 20}, {20, 80}, {63, 0},  {62, 0},  {64, 0}}) {
    rack.setParameter(id, value);
  }
  runRack(state, rack);
}
BENCHMARK(BM_RackDefaultProgram);

// Every stage engaged, with amp choice `amp`.
void engageEverything(rack::VRmore& rack, int amp) {
  for (auto [id, value] : {std::pair{8, 64},
                           {65, 2},
                           {54, 1},
                           {36, 60},
                           {9, 1},
                           {10, 90},
                           {64, 1},
                           {63, 1},
                           {19, 100},
                           {13, 100},
                           {20, 90}}) {
    rack.setParameter(id, value);
  }
  rack.setParameter(62, amp);
}

// (b) Every stage engaged, per amp model; (c) the same with the tuner analysing.
void BM_RackEverything(benchmark::State& state) {
  rack::VRmore rack(kRate, 2);
  rack.initialize();
  engageEverything(rack, int(state.range(0)));
  if (state.range(1)) rack.setTunerMode(2);
  runRack(state, rack);
}
BENCHMARK(BM_RackEverything)->ArgsProduct({{0, 1, 2}, {0, 1}});

// The processor in 512-frame host buffers, with one input channel or two (the argument).
void runProcessor(benchmark::State& state, plugin::vlvrProcessor& processor) {
  constexpr int kHostFrames = 512;
  const auto& in = guitar();
  std::vector<float> left(kHostFrames), right(kHostFrames);
  float* outs[2] = {left.data(), right.data()};
  size_t pos = 0;
  for (auto _ : state) {
    float* channel = const_cast<float*>(in.data() + pos);
    float* ins[2] = {channel, state.range(0) == 2 ? channel : nullptr};
    processor.processReplacing(ins, outs, kHostFrames);
    benchmark::DoNotOptimize(left.data());
    pos = (pos + kHostFrames) % (in.size() - kHostFrames);
  }
  perFrame(state, kHostFrames);
}

// (d) The processor with every stage engaged (amp 0): the input fold and check, and the rack.
void BM_ProcessorEverything(benchmark::State& state) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  processor.open();
  engageEverything(*processor.rack(), 0);
  runProcessor(state, processor);
}
BENCHMARK(BM_ProcessorEverything)->Arg(1)->Arg(2);

// (e) The frame alone: a closed processor folds and checks its input, then writes silence.
void BM_ProcessorFrameOnly(benchmark::State& state) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  runProcessor(state, processor);
}
BENCHMARK(BM_ProcessorFrameOnly)->Arg(1)->Arg(2);

}  // namespace
