#include <gtest/gtest.h>

#include "plugin_test_support.h"

// The stand-alone's record; the plug-in's is tested through its library (tests/vst).
namespace {

using namespace plugin;
using plugintest::makeProcessor;

intptr_t call(AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
              void* ptr = nullptr, float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// What the host callback was last told, and its answer.
struct HostLog {
  int32_t opcode = -1, index = -1;
  float opt = 0;
  intptr_t answer = 0;
} gHost;

intptr_t host(AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
  gHost = {opcode, index, opt, gHost.answer};
  return gHost.answer;
}

// No replacing flag and no events: the stand-alone's host asks for neither.
TEST(PluginInterface, TheRecordAndTheDispatcherOfTheStandAlone) {
  auto p = makeProcessor();
  AEffect* e = p->getAeffect();
  EXPECT_EQ(e->flags, effFlagsCanMono);
  EXPECT_EQ(call(e, effEditOpen), 0) << "no editor";
  EXPECT_EQ(e->object, static_cast<void*>(p.get()));
  e->setParameter(e, 13, 0.5f);
  EXPECT_EQ(p->parameterValue(13), 63.5f);
  EXPECT_EQ(e->getParameter(e, 13), 0.5f);

  call(e, effMainsChanged, 0, 1);
  EXPECT_NE(p->rack(), nullptr) << "resume opens";
  call(e, effMainsChanged, 0, 0);
  EXPECT_NE(p->rack(), nullptr) << "suspend keeps the rack";
  call(e, effClose);
  EXPECT_EQ(p->rack(), nullptr);
  call(e, effOpen);
  EXPECT_NE(p->rack(), nullptr);

  call(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(p->getSampleRate(), 48000.0f);
  call(e, effSetBlockSize, 0, 512);
  EXPECT_EQ(p->getBlockSize(), 512);
  call(e, effGetParamName, 0, 0, nullptr);  // no buffer: nothing written
  for (const char* can : {"receiveVstEvents", "receiveVstMidiEvent", "bypass", ""})
    EXPECT_EQ(call(e, effCanDo, 0, 0, const_cast<char*>(can)), 0) << can;
  EXPECT_EQ(call(e, effCanBeAutomated, 3), 0);
  for (int32_t opcode = effProcessEvents; opcode <= 90; ++opcode)
    EXPECT_TRUE(opcode == effGetVstVersion || call(e, opcode, 0, 0, nullptr) == 0) << opcode;
}

TEST(PluginInterface, TheHostCallbackHearsAboutPanelMovesAndAnswersQueries) {
  plugintest::TestEngine engine;
  engine.callback_ = host;
  gHost = {};
  auto p = makeProcessor(false, &engine);
  p->setParameterAutomated(18, 100.0f);
  EXPECT_EQ(std::pair(gHost.opcode, gHost.index), std::pair(int32_t{audioMasterAutomate}, 18));
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
  EXPECT_EQ(alone->canHostDo("sendVstEvents"), 0);
}

}  // namespace
