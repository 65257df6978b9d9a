#include "vst_engine.h"

#include <dlfcn.h>

#include <filesystem>
#include <new>

#include "framework/safe_file.h"
#include "vst_processor.h"

namespace vstplugin {
namespace {

// An address inside this library, for dladdr.
const char kLibraryMarker = 0;

}  // namespace

plugin::evaProcessor* VstEngine::createProcessor() {
  try {
    return new VstProcessor(this);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::string VstEngine::resourceFilePath() const {
  const std::string fileName = applicationName_ + ".xrs";
  const std::filesystem::path folder = std::filesystem::path(applicationPath()).parent_path();
  const std::filesystem::path beside = folder / fileName;
  const std::filesystem::path installed =
      folder.parent_path().parent_path() / "share" / "valvorama-live" / fileName;
  if (framework::fileIsMissing(beside.string()) && !framework::fileIsMissing(installed.string())) {
    return installed.string();
  }
  return beside.string();
}

// The host's program is not ours: the file that matters is the library this code came from.
bool VstEngine::applicationFilePath(std::string& path) const {
  Dl_info info{};
  if (dladdr(&kLibraryMarker, &info) == 0 || !info.dli_fname) {
    return false;
  }
  std::error_code error;
  const std::filesystem::path library = std::filesystem::canonical(info.dli_fname, error);
  path = error ? std::string(info.dli_fname) : library.string();
  return true;
}

}  // namespace vstplugin
