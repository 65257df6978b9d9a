#include "instance_bank.h"

#include <cstring>
#include <string>

#include "framework/safe_file.h"
#include "framework/settings_folder.h"
#include "plugin/eva_processor.h"

namespace vstplugin {
namespace {

std::string bankPath(const plugin::evaProcessor& processor) {
  return framework::SettingsFolder::file(processor.bankFileName());
}

bool samePrograms(const plugin::evaProcessorPrograms& a, const plugin::evaProcessorPrograms& b) {
  if (a.count() != b.count()) return false;
  for (int i = 0; i < a.count(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(plugin::evaProcessorProgram)) != 0) return false;
  }
  return true;
}

}  // namespace

void InstanceBank::load(plugin::evaProcessor& processor) {
  const std::string path = bankPath(processor);
  unreadable_ = !processor.loadProgramBankFile(path) && !framework::fileIsMissing(path);
  loaded_ = processor.programs();
}

bool InstanceBank::saveIfChanged(plugin::evaProcessor& processor) const {
  if (unreadable_) return true;
  const std::string path = bankPath(processor);
  if (!framework::fileIsMissing(path) && samePrograms(loaded_, processor.programs())) return true;
  return framework::SettingsFolder::create() && processor.saveProgramBankFile(path);
}

}  // namespace vstplugin
