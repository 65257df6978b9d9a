#include "ui/eva_engine.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <new>

#include "framework/safe_file.h"
#include "framework/settings_folder.h"
#include "gui/epi_picture.h"
#include "ui/eva_editor.h"
#include "ui/eva_window.h"

namespace ui {

namespace {

// Instances of a plug-in make themselves current from several threads.
std::atomic<evaEngine*> currentEngine{nullptr};

// The editor's size when the main picture cannot be read (an update file that dropped it).
constexpr int16_t kPanelWidth = 800;
constexpr int16_t kPanelHeight = 400;

}  // namespace

evaEngine::evaEngine() {
  makeCurrent();
}

evaEngine::~evaEngine() {
  // Deleted directly (init failed, or never handed over): the processor must not delete us
  // again from its destructor.
  ownedByProcessor_ = false;
  deleteEditor();
  delete processor_;
  if (resourcesInUse_) releaseResources();
  evaEngine* self = this;
  currentEngine.compare_exchange_strong(self, nullptr, std::memory_order_relaxed);
}

evaEngine* evaEngine::current() {
  return currentEngine.load(std::memory_order_relaxed);
}

void evaEngine::makeCurrent() {
  currentEngine.store(this, std::memory_order_relaxed);
}

const framework::ResourceFile* evaEngine::resourceFile() const {
  return resourcesInUse_ ? &resources_ : nullptr;
}

gui::PictureCache* evaEngine::pictures() {
  if (!resourcesInUse_) return nullptr;
  if (!pictures_) pictures_ = std::make_unique<gui::PictureCache>(resources_);
  return pictures_.get();
}

bool evaEngine::releaseForProcessor() {
  if (!ownedByProcessor_) return false;
  // The processor is being destroyed: it only needs to lose its editor.
  deleteEditor();
  processor_ = nullptr;
  if (resourcesInUse_) releaseResources();
  return true;
}

// Another instance's file may have become the application's since.
void evaEngine::releaseResources() {
  if (framework::ResourceFile::application() == &resources_)
    framework::ResourceFile::setApplication(nullptr);
  resourcesInUse_ = false;
}

std::unique_ptr<evaWindow> evaEngine::createWindow() {
  return std::make_unique<evaWindow>(*this);
}

evaEditor* evaEngine::createEditor() {
  return new (std::nothrow) evaEditor();
}

plugin::evaProcessor* evaEngine::createProcessor() {
  try {
    return new plugin::evaProcessor(this);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::string evaEngine::resourceFilePath() const {
  const std::string fileName = applicationName_ + ".xrs";
  const std::filesystem::path folder = std::filesystem::path(applicationPath_).parent_path();
  const std::filesystem::path installed =
      folder.parent_path() / "share" / "valvorama-live" / fileName;
  if (framework::fileIsMissing((folder / fileName).string()) &&
      !framework::fileIsMissing(installed.string())) {
    return installed.string();
  }
  return (folder / fileName).string();
}

bool evaEngine::applicationFilePath(std::string& path) const {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return false;
  path = self.string();
  return true;
}

void evaEngine::setApplicationName() {
  applicationName_ = "Unknown";
}

bool evaEngine::init() {
  if (processor_) return false;  // once only
  makeCurrent();
  processor_ = createProcessor();
  if (!processor_) return false;
  editor_ = createEditor();
  if (!editor_) {
    delete processor_;
    processor_ = nullptr;
    return false;
  }
  editor_->setProcessor(processor_);
  editor_->setEngine(this);
  processor_->setEditor(editor_);

  setApplicationName();
  if (!applicationFilePath(applicationPath_)) applicationPath_.clear();
  if (!openResources()) {
    deleteEditor();
    delete processor_;
    processor_ = nullptr;
    return false;
  }
  processor_->initialize();
  ownedByProcessor_ = true;
  return true;
}

bool evaEngine::openResources() {
  resourcePath_ = resourceFilePath();
  updatePath_ = framework::SettingsFolder::file(kUpdateFileName);
  // The container takes a missing file for an empty one; the application's own file missing
  // means a broken installation, which must not pass for one without defaults or pictures.
  if (framework::fileIsMissing(resourcePath_) || !resources_.open(resourcePath_, updatePath_)) {
    return false;
  }
  framework::ResourceFile::setApplication(&resources_);
  resourcesInUse_ = true;
  return true;
}

void evaEngine::deleteEditor() {
  if (!editor_) return;
  editor_->close();
  if (processor_) processor_->setEditor(nullptr);
  delete editor_;
  editor_ = nullptr;
}

plugin::ERect evaEngine::editorSize() const {
  const auto size = gui::pictureSize(resources_, static_cast<uint32_t>(mainPictureId()));
  if (!size) return plugin::ERect{0, 0, kPanelHeight, kPanelWidth};
  return plugin::ERect{0, 0, static_cast<int16_t>(size->height), static_cast<int16_t>(size->width)};
}

void evaEngine::attachToHost(void* parent) {
  hostParent_ = parent;
}

void evaEngine::detachFromHost() {
  hostParent_ = nullptr;
}

plugin::MidiHandler* evaEngine::midiHandler() const {
  std::lock_guard lock(userInterfaceMutex_);
  evaWindow* window = editor_ ? editor_->window() : nullptr;
  return window && window->isOpen() ? window->midiHandler() : nullptr;
}

}  // namespace ui
