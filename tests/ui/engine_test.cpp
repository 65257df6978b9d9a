#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/resource_file.h"
#include "framework/settings_folder.h"
#include "plugin/parameter_descriptor.h"
#include "plugin/vlvr_processor.h"
#include "ui/eva_editor.h"
#include "ui/vlvr_engine.h"
#include "ui_test_support.h"

namespace {

namespace fs = std::filesystem;

int liveEngines = 0, liveProcessors = 0;

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

struct Folder : uitest::TempFolder {
  Folder() { framework::SettingsFolder::setOverride(path("settings")); }
  ~Folder() { framework::SettingsFolder::setOverride(""); }
};

const fs::path kBuiltResources = VALVORAMA_LIVE_RESOURCES;

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
  EXPECT_EQ(framework::ResourceFile::application(), engine->resourceFile());
  EXPECT_EQ(ui::evaEngine::current(), engine);

  // The built file carries the table's own defaults, so nothing drifts between the two.
  ASSERT_EQ(processor->parameters().count(), plugin::kParameterCount);
  for (int j = 0; j < plugin::kParameterCount; ++j)
    EXPECT_EQ(processor->parameters()[j].defaultValue,
              plugin::kParameterDescriptors[j].defaultValue);

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

TEST(Engine, InitFailsCleanlyWithoutAUsableResourceFile) {
  for (const char* corrupt : {"app/ValvoramaLive.xrs", "settings/ValvoramaUpdate.xrs"}) {
    SCOPED_TRACE(corrupt);
    Folder folder;
    fs::create_directories(folder.path("app"));
    fs::create_directories(folder.path("settings"));
    fs::copy_file(kBuiltResources, folder.path("app/ValvoramaLive.xrs"));
    std::ofstream(folder.path(corrupt)) << "XRSC but not really";
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
