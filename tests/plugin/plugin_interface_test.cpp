#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "framework/four_cc.h"
#include "plugin_test_support.h"
#include "support/signals.h"

namespace {

using namespace plugin;
using plugintest::makeProcessor;

// The published record's offsets on 64-bit Linux.
static_assert(sizeof(void*) == 8);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, processReplacing) == 120);

intptr_t call(AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
              void* ptr = nullptr, float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// What the host callback was last told.
struct HostLog {
  int calls = 0;
  int32_t opcode = -1, index = -1;
  float opt = 0;
  intptr_t answer = 0;
} gHost;

intptr_t host(AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
  ++gHost.calls;
  gHost.opcode = opcode;
  gHost.index = index;
  gHost.opt = opt;
  return gHost.answer;
}

class CountingEditor : public AEffEditor {
 public:
  intptr_t open(void*) override { return ++opened; }
  void idle() override { ++idles; }
  int opened = 0, idles = 0;
};

TEST(PluginInterface, TheRecordDescribesTheProcessor) {
  vlvrProcessor bare;
  AEffect* e = bare.getAeffect();
  EXPECT_EQ(e->magic, int32_t(framework::fourCC("VstP")));
  EXPECT_EQ(e->numPrograms, 0);
  EXPECT_EQ(e->numInputs, 1);
  EXPECT_EQ(e->uniqueID, int32_t(framework::fourCC("NoEf")));

  auto p = makeProcessor();
  e = p->getAeffect();
  EXPECT_EQ(e->numPrograms, 128);
  EXPECT_EQ(e->numParams, 22);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, effFlagsCanMono);
  EXPECT_EQ(e->uniqueID, int32_t(framework::fourCC("Vlvr")));
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->object, static_cast<void*>(p.get()));
  EXPECT_EQ(e->user, nullptr);
  EXPECT_EQ(p->getEditor(), nullptr);

  CountingEditor editor;
  p->setEditor(&editor);
  EXPECT_EQ(e->flags, effFlagsCanMono | effFlagsHasEditor);
  EXPECT_EQ(call(e, effEditOpen), 1);
  call(e, effEditIdle);
  EXPECT_EQ(editor.idles, 1);
  p->setEditor(nullptr);
  EXPECT_EQ(e->flags, effFlagsCanMono);
  EXPECT_EQ(call(e, effEditOpen), 0);
}

TEST(PluginInterface, TheDispatcherAnswersTheStandardOpcodes) {
  auto p = makeProcessor();
  AEffect* e = p->getAeffect();
  call(e, effMainsChanged, 0, 1);
  EXPECT_NE(p->rack(), nullptr) << "resume opens";
  call(e, effMainsChanged, 0, 0);
  EXPECT_NE(p->rack(), nullptr) << "suspend keeps the rack";
  call(e, effClose);
  EXPECT_EQ(p->rack(), nullptr);
  call(e, effOpen);
  EXPECT_NE(p->rack(), nullptr);

  call(e, effSetProgram, 0, 5);
  EXPECT_EQ(call(e, effGetProgram), 5);
  call(e, effSetProgram, 0, 128);
  call(e, effSetProgram, 0, -1);
  EXPECT_EQ(call(e, effGetProgram), 5);

  char text[64];
  call(e, effSetProgramName, 0, 0, const_cast<char*>("Clean"));
  call(e, effGetProgramName, 0, 0, text);
  EXPECT_STREQ(text, "Clean");
  call(e, effGetParamName, 1, 0, text);
  EXPECT_STREQ(text, "Ouput Level");
  call(e, effGetParamLabel, 1, 0, text);
  EXPECT_STREQ(text, " ");
  call(e, effGetParamDisplay, 18, 0, text);
  EXPECT_STREQ(text, "0.629921");
  call(e, effGetParamName, 22, 0, text);
  EXPECT_STREQ(text, "");
  call(e, effGetParamName, 0, 0, nullptr);  // no buffer: nothing written

  EXPECT_EQ(call(e, effIdentify), intptr_t(framework::fourCC("NvEf")));
  EXPECT_EQ(call(e, effGetVu), 0);
  call(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(p->getSampleRate(), 48000.0f);
  call(e, effSetBlockSize, 0, 512);
  EXPECT_EQ(p->getBlockSize(), 512);
  void* chunk = &text;
  EXPECT_EQ(call(e, effGetChunk, 0, 0, &chunk), 0);
  EXPECT_EQ(call(e, effSetChunk, 0, 10, text), 0);

  for (const char* can : {"receiveVstEvents", "bypass", "plugAsChannelInsert", ""})
    EXPECT_EQ(call(e, effCanDo, 0, 0, const_cast<char*>(can)), 0) << can;
  EXPECT_EQ(call(e, effGetVstVersion), 2300);
  EXPECT_EQ(call(e, effGetPlugCategory), 0);
  EXPECT_EQ(call(e, effGetEffectName, 0, 0, text), 0);
  EXPECT_EQ(call(e, effCanBeAutomated, 3), 0);
  EXPECT_EQ(p->canHostDo("sendVstEvents"), 0) << "no host";
  for (int32_t opcode = effProcessEvents; opcode <= 90; ++opcode) {
    if (opcode == effGetVstVersion) continue;
    ASSERT_EQ(call(e, opcode, 0, 0, nullptr), 0) << opcode;
  }
}

TEST(PluginInterface, EntryPointsActLikeDirectCalls) {
  auto viaRecord = makeProcessor();
  auto direct = makeProcessor(true);
  AEffect* e = viaRecord->getAeffect();
  call(e, effMainsChanged, 0, 1);

  e->setParameter(e, 13, 0.5f);
  direct->setParameter(13, 0.5f);
  EXPECT_EQ(viaRecord->parameterValue(13), 63.5f);
  EXPECT_EQ(e->getParameter(e, 13), 0.5f);
  EXPECT_EQ(e->getParameter(e, 40), 0.0f);

  constexpr int kFrames = 3000;
  std::vector<float> in = testsupport::whiteNoise(kFrames, 0.3f);
  std::vector<float> a0(kFrames), a1(kFrames), b0(kFrames), b1(kFrames);
  float* ins[2] = {in.data(), in.data()};
  float* outsA[2] = {a0.data(), a1.data()};
  float* outsB[2] = {b0.data(), b1.data()};
  e->processReplacing(e, ins, outsA, kFrames);
  direct->processReplacing(ins, outsB, kFrames);
  EXPECT_EQ(a0, b0);
  EXPECT_EQ(a1, b1);

  // The accumulating entry adds the next stretch of sound to what the outputs hold.
  std::vector<float> c0(kFrames, 0.5f), c1(kFrames, 0.5f);
  float* outsC[2] = {c0.data(), c1.data()};
  e->process(e, ins, outsC, kFrames);
  direct->processReplacing(ins, outsB, kFrames);
  for (int i = 0; i < kFrames; ++i)
    ASSERT_EQ(c0[i], 0.5f + b0[i]) << i;
}

TEST(PluginInterface, TheHostCallbackHearsAboutPanelMoves) {
  plugintest::TestEngine engine;
  engine.callback_ = host;
  gHost = {};
  auto p = makeProcessor(false, &engine);
  p->setParameterAutomated(18, 100.0f);
  EXPECT_EQ(gHost.opcode, audioMasterAutomate);
  EXPECT_EQ(gHost.index, 18);
  EXPECT_FLOAT_EQ(gHost.opt, 100.0f / 127.0f);
  EXPECT_EQ(p->getMasterVersion(), 1) << "a host answering 0";
  gHost.answer = 2400;
  EXPECT_EQ(p->getMasterVersion(), 2400);
  EXPECT_FALSE(p->isInputConnected(0)) << "the host answered non-zero";
  gHost.answer = 0;
  EXPECT_TRUE(p->isOutputConnected(1));

  auto alone = makeProcessor();
  EXPECT_EQ(alone->getMasterVersion(), 1);
  EXPECT_TRUE(alone->isInputConnected(0));
}

}  // namespace
