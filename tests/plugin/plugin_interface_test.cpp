#include <gtest/gtest.h>

#include "plugin_test_support.h"

// The stand-alone's record; the plug-in's is tested through its library (tests/vst).
namespace {

using namespace plugin;
using plugintest::makeProcessor;

intptr_t call(AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
              void* ptr = nullptr) {
  return e->dispatcher(e, opcode, index, value, ptr, 0.0f);
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

// No replacing flag and no events: the stand-alone's host asks for neither. Panel moves reach the
// host callback.
TEST(PluginInterface, TheRecordDispatcherAndHostCallbackOfTheStandAlone) {
  plugintest::TestEngine engine;
  engine.callback_ = host;
  auto p = makeProcessor(false, &engine);
  AEffect* e = p->getAeffect();
  EXPECT_EQ(e->flags, effFlagsCanMono);
  EXPECT_EQ(e->object, static_cast<void*>(p.get()));
  call(e, effMainsChanged, 0, 1);
  EXPECT_NE(p->rack(), nullptr) << "resume opens";
  call(e, effMainsChanged, 0, 0);
  EXPECT_NE(p->rack(), nullptr) << "suspend keeps the rack";
  call(e, effClose);
  EXPECT_EQ(p->rack(), nullptr);
  call(e, effGetParamName, 0, 0, nullptr);  // no buffer: nothing written
  for (int32_t opcode = effProcessEvents; opcode <= 90; ++opcode)
    EXPECT_TRUE(opcode == effGetVstVersion || call(e, opcode, 0, 0, nullptr) == 0) << opcode;

  p->setParameterAutomated(18, 100.0f);
  EXPECT_EQ(std::pair(gHost.opcode, gHost.index), std::pair(int32_t{audioMasterAutomate}, 18));
  EXPECT_FLOAT_EQ(gHost.opt, 100.0f / 127.0f);
  EXPECT_EQ(p->getMasterVersion(), 1) << "a host answering 0";
  gHost.answer = 2400;
  EXPECT_FALSE(p->isInputConnected(0)) << "the host answered non-zero";
  EXPECT_EQ(makeProcessor()->getMasterVersion(), 1) << "no host";
}

}  // namespace
