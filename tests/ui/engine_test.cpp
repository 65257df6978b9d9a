#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/four_cc.h"
#include "framework/resource_file.h"
#include "framework/settings_folder.h"
#include "plugin/parameter_descriptor.h"
#include "plugin/vlvr_processor.h"
#include "ui/eva_editor.h"
#include "ui/vlvr_engine.h"
#include "ui_test_support.h"

namespace {

namespace fs = std::filesystem;

int liveEngines = 0;
int liveProcessors = 0;

class CountedProcessor : public plugin::vlvrProcessor {
 public:
  explicit CountedProcessor(plugin::ProcessorEngine* engine) : vlvrProcessor(engine) {
    ++liveProcessors;
  }
  ~CountedProcessor() override { --liveProcessors; }
};

// The product's engine, run as if its program file were `program`; it counts itself and its
// processors so ownership mistakes show up as counts (and as double frees under ASan).
class TestEngine : public ui::vlvrEngine {
 public:
  explicit TestEngine(std::string program) : program_(std::move(program)) { ++liveEngines; }
  ~TestEngine() override { --liveEngines; }
  bool applicationFilePath(std::string& path) const override {
    path = program_;
    return true;
  }
  plugin::evaProcessor* createProcessor() override { return new CountedProcessor(this); }

 private:
  std::string program_;
};

// A fresh folder whose "settings" stands in for the user's settings folder.
struct Folder : uitest::TempFolder {
  Folder() { framework::SettingsFolder::setOverride(path("settings")); }
  ~Folder() { framework::SettingsFolder::setOverride(""); }
};

const fs::path kBuiltResources = VALVORAMA_LIVE_RESOURCES;

float defaultOf(const plugin::evaProcessor& processor, int index) {
  return processor.parameters()[index].defaultValue;
}

TEST(Engine, InitFromTheBuiltResourceFileAnEditorWithoutAWindowAndTheProcessorTakesTheEngineAlong) {
  Folder folder;
  auto* engine = new TestEngine((kBuiltResources.parent_path() / "valvorama-live").string());
  engine->setHostCallback(nullptr);
  engine->setStandAlone(true);
  ASSERT_TRUE(engine->init());

  plugin::evaProcessor* processor = engine->processor();
  ui::evaEditor* editor = engine->editor();
  ASSERT_TRUE(processor && editor);
  EXPECT_EQ(engine->resourcePath(), kBuiltResources.string());
  EXPECT_EQ(engine->updatePath(), folder.path("settings/ValvoramaUpdate.xrs"));
  EXPECT_FALSE(fs::exists(folder.path("settings")));  // reading creates nothing
  EXPECT_EQ(processor->engine(), engine);
  EXPECT_EQ(processor->getEditor(), editor);
  EXPECT_TRUE(processor->getAeffect()->flags & plugin::effFlagsHasEditor);
  EXPECT_EQ(editor->processor(), processor);
  EXPECT_EQ(framework::ResourceFile::application(), engine->resourceFile());
  EXPECT_EQ(ui::evaEngine::current(), engine);

  // The built file carries the table's own defaults, so nothing drifts between the two.
  ASSERT_EQ(processor->parameters().count(), plugin::kParameterCount);
  for (int j = 0; j < plugin::kParameterCount; ++j) {
    EXPECT_EQ(defaultOf(*processor, j), plugin::kParameterDescriptors[j].defaultValue) << j;
  }

  TestEngine* other = new TestEngine("/nowhere/valvorama-live");  // the editor takes `current` back
  plugin::ERect* rect = nullptr;
  EXPECT_EQ(editor->getRect(&rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(ui::evaEngine::current(), engine);
  delete other;

  // No display to open the window on, or no parent to open it in: the editor is open without
  // one, and what would draw does nothing.
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  ::unsetenv("DISPLAY");
  for (void* parent : {reinterpret_cast<void*>(uintptr_t{0x400001}), static_cast<void*>(nullptr)}) {
    EXPECT_EQ(editor->open(parent), 1);
    EXPECT_TRUE(engine->hasWindow());
    EXPECT_EQ(engine->attachedToHost(), parent != nullptr);
    EXPECT_EQ(editor->window(), nullptr);
    EXPECT_EQ(engine->midiHandler(), nullptr);
    editor->postUpdate();
    editor->idle();
    editor->parameterDisplayChanged(13, 5.0f);
    EXPECT_FALSE(editor->updatePending());
    editor->close();
    EXPECT_FALSE(engine->attachedToHost() || engine->hasWindow() || editor->isOpen());
  }
  if (display) ::setenv("DISPLAY", saved.c_str(), 1);

  processor->open();
  delete processor;  // closes, then deletes the engine, which must not delete it back
  EXPECT_EQ(liveProcessors, 0);
  EXPECT_EQ(liveEngines, 0);
  EXPECT_EQ(framework::ResourceFile::application(), nullptr);
  EXPECT_EQ(ui::evaEngine::current(), nullptr);
}

TEST(Engine, AnInstalledLayoutsResourceFileGivesTheDefaultsInTextResource101) {
  Folder folder;
  const std::string path = folder.path("usr/share/valvorama-live/ValvoramaLive.xrs");
  // Keys as the processor writes them: the two rows that share a name go under what they pick.
  const std::string defaults = "Volume:33\r\nCabinet:2\r\nAmp Model:3\r\nWah Mode:1\r\n";
  fs::create_directories(fs::path(path).parent_path());
  framework::ResourceFile file;
  ASSERT_TRUE(file.open(path));
  ASSERT_TRUE(file.write(framework::fourCC("TEXT"), 101,
                         {reinterpret_cast<const uint8_t*>(defaults.data()), defaults.size()}));
  TestEngine engine(folder.path("usr/bin/valvorama-live"));
  ASSERT_TRUE(engine.init());
  EXPECT_EQ(engine.resourcePath(), path);
  const plugin::evaProcessor& processor = *engine.processor();
  // Volume, cabinet, amp model, wah mode, and one missing from the text: 0.
  for (auto [row, value] : {std::pair{18, 33.0f}, {19, 2.0f}, {20, 3.0f}, {2, 1.0f}, {13, 0.0f}})
    EXPECT_EQ(defaultOf(processor, row), value) << row;
  EXPECT_EQ(processor.parameterValue(18), 33.0f);
  EXPECT_EQ(processor.programs()[127].values[18], 33.0f);
  // Deleted directly, the engine takes its processor with it.
}

TEST(Engine, InitFailsCleanlyWithoutAUsableResourceFile) {
  const struct {
    const char* what;
    void (*prepare)(const Folder&);
  } cases[] = {
      {"corrupt",
       [](const Folder& f) {
         fs::create_directories(f.path("app"));
         std::ofstream(f.path("app/ValvoramaLive.xrs")) << "XRSC but not really";
       }},
      {"corrupt update file",
       [](const Folder& f) {
         fs::create_directories(f.path("app"));
         fs::create_directories(f.path("settings"));
         fs::copy_file(kBuiltResources, f.path("app/ValvoramaLive.xrs"));
         std::ofstream(f.path("settings/ValvoramaUpdate.xrs")) << "garbage";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder folder;
    c.prepare(folder);
    auto* engine = new TestEngine(folder.path("app/valvorama-live"));
    EXPECT_FALSE(engine->init());
    EXPECT_EQ(engine->processor(), nullptr);
    EXPECT_EQ(engine->editor(), nullptr);
    EXPECT_EQ(engine->resourceFile(), nullptr);
    EXPECT_EQ(framework::ResourceFile::application(), nullptr);
    EXPECT_EQ(liveProcessors, 0);
    EXPECT_EQ(liveEngines, 1);  // the processor that went did not take the engine along
    delete engine;
    EXPECT_EQ(liveEngines, 0);
  }
}

}  // namespace
