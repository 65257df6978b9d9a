#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin/vlvr_processor.h"
#include "vst/vst_host.h"
#include "vst/vst_test_support.h"

namespace {

using vsttest::VstInstance;
using vsttest::VstLibrary;

// One instance of the plug-in with a private settings folder.
class PluginDispatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_.ready());
    ASSERT_TRUE(library_.loaded()) << library_.error();
    instance_ = std::make_unique<VstInstance>(library_);
    ASSERT_NE(instance_->effect(), nullptr);
  }
  void TearDown() override { instance_.reset(); }

  // Peak of one block of a 220 Hz tone through the plug-in.
  float peakOfATone() {
    std::vector<float> in(512), outL(512), outR(512);
    for (size_t i = 0; i < in.size(); ++i)
      in[i] = 0.5f * std::sin(6.283f * 220.0f * static_cast<float>(i) / 44100.0f);
    float peak = 0.0f;
    for (int block = 0; block < 8; ++block) {
      instance_->processReplacing(in.data(), in.data(), outL.data(), outR.data(), 512);
      for (float x : outL)
        peak = std::max(peak, std::fabs(x));
    }
    return peak;
  }

  vsttest::PrivateSettings settings_;
  VstLibrary library_;
  std::unique_ptr<VstInstance> instance_;
};

TEST_F(PluginDispatcher, TheRecordIsTheAmpsWithTheReplacingCall) {
  const vstabi::Effect& e = *instance_->effect();
  EXPECT_EQ(e.magic, vstabi::fourCC("VstP"));
  EXPECT_EQ(e.numPrograms, 128);
  EXPECT_EQ(e.numParams, 22);
  EXPECT_EQ(e.numInputs, 2);
  EXPECT_EQ(e.numOutputs, 2);
  EXPECT_EQ(e.flags, vstabi::kFlagHasEditor | vstabi::kFlagCanMono | vstabi::kFlagCanReplacing);
  EXPECT_EQ(e.initialDelay, 0);
  EXPECT_EQ(e.ioRatio, 1.0f);
  EXPECT_EQ(e.uniqueID, vstabi::fourCC("Vlvr"));
  EXPECT_EQ(e.version, 1);
  EXPECT_NE(e.object, nullptr);
  EXPECT_EQ(e.user, nullptr);
  for (const void* entry :
       {reinterpret_cast<const void*>(e.dispatcher), reinterpret_cast<const void*>(e.process),
        reinterpret_cast<const void*>(e.processReplacing),
        reinterpret_cast<const void*>(e.setParameter),
        reinterpret_cast<const void*>(e.getParameter)}) {
    EXPECT_NE(entry, nullptr);
  }
}

// Older hosts look up `main`; each call of either name makes an instance of its own, and one
// without a host callback is refused.
TEST_F(PluginDispatcher, BothEntryPointsMakeInstancesOfTheirOwn) {
  VstInstance legacy(library_, "main");
  ASSERT_NE(legacy.effect(), nullptr);
  EXPECT_EQ(legacy.effect()->uniqueID, vstabi::fourCC("Vlvr"));
  EXPECT_NE(legacy.effect(), instance_->effect());
  EXPECT_NE(legacy.effect()->object, instance_->effect()->object);
  legacy.dispatch(vstabi::kSetProgram, 0, 4);
  EXPECT_EQ(instance_->dispatch(vstabi::kGetProgram), 0);
  EXPECT_EQ(library_.entryPoint("VSTPluginMain")(nullptr), nullptr);
}

TEST_F(PluginDispatcher, AnswersTheFixedQueries) {
  struct Query {
    int32_t opcode;
    intptr_t answer;
  };
  for (const Query q : {Query{vstabi::kIdentify, vstabi::fourCC("NvEf")}, Query{vstabi::kGetVu, 0},
                        Query{vstabi::kGetVstVersion, 2300}, Query{vstabi::kGetPlugCategory, 0},
                        Query{vstabi::kGetTailSize, 0}, Query{vstabi::kGetVendorVersion, 0},
                        Query{vstabi::kStartProcess, 0}, Query{vstabi::kLastOpcode + 1, 0}}) {
    EXPECT_EQ(instance_->dispatch(q.opcode), q.answer) << "opcode " << q.opcode;
  }
  // Every parameter can be automated, and only those.
  for (int32_t i = -1; i <= 22; ++i)
    EXPECT_EQ(instance_->dispatch(vstabi::kCanBeAutomated, i), i >= 0 && i < 22 ? 1 : 0) << i;

  void* chunk = &chunk;
  EXPECT_EQ(instance_->dispatch(vstabi::kGetChunk, 0, 0, &chunk), 0);
  EXPECT_EQ(chunk, nullptr);

  struct Can {
    const char* text;
    int32_t answer;
  };
  for (const Can c :
       {Can{"receiveVstEvents", 1}, Can{"receiveVstMidiEvent", 1}, Can{"sendVstEvents", 0},
        Can{"sendVstMidiEvent", 0}, Can{"bypass", 0}, Can{"receiveVstEvent", 0}, Can{"", 0}}) {
    EXPECT_EQ(instance_->canDo(c.text), c.answer) << '"' << c.text << '"';
  }
}

TEST_F(PluginDispatcher, ProgramsAreSelectedAndNamedWithinTheBank) {
  EXPECT_EQ(instance_->dispatch(vstabi::kGetProgram), 0);
  for (const intptr_t program : {intptr_t{5}, intptr_t{128}, intptr_t{-1}, intptr_t{1000}}) {
    instance_->dispatch(vstabi::kSetProgram, 0, program);
    EXPECT_EQ(instance_->dispatch(vstabi::kGetProgram), 5) << "after asking for " << program;
  }
  instance_->dispatch(vstabi::kSetProgram, 0, 127);
  EXPECT_EQ(instance_->dispatch(vstabi::kGetProgram), 127);

  char name[] = "Clean Sunday";
  instance_->dispatch(vstabi::kSetProgramName, 0, 0, name);
  EXPECT_EQ(instance_->dispatchText(vstabi::kGetProgramName), "Clean Sunday");
  // A host's program name buffer holds 24 bytes: longer names come back cut, never overrun.
  char longName[] = "A name longer than any host buffer";
  instance_->dispatch(vstabi::kSetProgramName, 0, 0, longName);
  EXPECT_EQ(instance_->dispatchText(vstabi::kGetProgramName), std::string(longName, 23));
  instance_->dispatch(vstabi::kSetProgram, 0, 126);
  EXPECT_EQ(instance_->dispatchText(vstabi::kGetProgramName), "Program 127");
}

TEST_F(PluginDispatcher, EveryParameterHasItsNameLabelAndDisplay) {
  const char* const names[22] = {"Gate Level",
                                 "Ouput Level",
                                 "Wah Mode",
                                 "WahPosition",
                                 "Reverb",
                                 "OverDrive Dist",
                                 "Overdrive Tone",
                                 "Overdrive Lev",
                                 "Overd On/Off",
                                 "Sto Del On/Off",
                                 "Delay Feedb",
                                 "Delay Time",
                                 "Stomp Del Level",
                                 "Preamp Gain",
                                 "Low",
                                 "Mid",
                                 "High",
                                 "Presence",
                                 "Volume",
                                 "Wah Mode",
                                 "Stomp Del Level",
                                 "Speaker mode"};
  for (int32_t i = 0; i < 22; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(instance_->dispatchText(vstabi::kGetParamName, i), names[i]);
    EXPECT_EQ(instance_->dispatchText(vstabi::kGetParamLabel, i), " ");
    for (const float normalised : {0.0f, 1.0f}) {
      instance_->setParameter(i, normalised);
      EXPECT_EQ(instance_->getParameter(i), normalised);
      EXPECT_EQ(instance_->dispatchText(vstabi::kGetParamDisplay, i),
                normalised == 0.0f ? "0.000000" : "1.000000");
    }
  }
  EXPECT_EQ(instance_->dispatchText(vstabi::kGetParamName, 22), "");
  EXPECT_EQ(instance_->getParameter(22), 0.0f);
}

TEST_F(PluginDispatcher, MainsOnOpensAClosedProcessorsRack) {
  instance_->dispatch(vstabi::kSetSampleRate, 0, 0, nullptr, 44100.0f);
  EXPECT_EQ(peakOfATone(), 0.0f);  // no rack yet: silence
  instance_->dispatch(vstabi::kMainsChanged, 0, 1);
  EXPECT_GT(peakOfATone(), 0.01f);
  instance_->dispatch(vstabi::kMainsChanged, 0, 0);
  EXPECT_GT(peakOfATone(), 0.01f);  // suspending keeps the rack
}

// Without a window the processor's own setParameterAutomated still tells the host, through the
// callback the instance was made with.
TEST_F(PluginDispatcher, AutomationReachesTheHostCallback) {
  auto* processor = static_cast<plugin::AudioEffect*>(instance_->effect()->object);
  instance_->clearCalls();
  processor->setParameterAutomated(13, 100.0f);  // preamp gain, 0..127
  const auto automations = instance_->callsWith(vstabi::kHostAutomate);
  ASSERT_EQ(automations.size(), 1u);
  EXPECT_EQ(automations[0].index, 13);
  EXPECT_FLOAT_EQ(automations[0].opt, 100.0f / 127.0f);
  EXPECT_FLOAT_EQ(instance_->getParameter(13), 100.0f / 127.0f);
}

// The stand-alone's processor keeps its own answers: no replacing flag, no events.
TEST(StandAloneProcessor, KeepsItsAnswers) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  plugin::AEffect* e = processor.getAeffect();
  EXPECT_EQ(e->flags & plugin::effFlagsCanReplacing, 0);
  char events[] = "receiveVstEvents";
  char midi[] = "receiveVstMidiEvent";
  EXPECT_EQ(e->dispatcher(e, plugin::effCanDo, 0, 0, events, 0.0f), 0);
  EXPECT_EQ(e->dispatcher(e, plugin::effCanDo, 0, 0, midi, 0.0f), 0);
  EXPECT_EQ(e->dispatcher(e, plugin::effProcessEvents, 0, 0, nullptr, 0.0f), 0);
}

}  // namespace
