#include "plugin/eva_processor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "framework/epi_text.h"

namespace plugin {

int32_t truncatePlain(float plain) {
  if (std::isnan(plain)) return 0;
  if (plain >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (plain <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(plain);
}

evaProcessor::evaProcessor(ProcessorEngine* engine)
    : AudioEffectX(engine ? engine->hostCallback() : nullptr, 0, 0), engine_(engine) {}

evaProcessor::~evaProcessor() {
  close();
  if (engine_ && engine_->releaseForProcessor()) delete engine_;
}

void evaProcessor::setParameter(int32_t index, float normalised) {
  if (!parameters_.contains(index)) return;
  const float plain = fromNormalized(index, normalised);
  storeParameterValue(index, plain, true);
  parameterChanged(index, plain);
}

float evaProcessor::getParameter(int32_t index) {
  if (!parameters_.contains(index) || !parameters_[index].value) return 0.0f;
  return toNormalized(index, parameters_[index].current());
}

void evaProcessor::setParameterAutomated(int32_t index, float plain) {
  if (!parameters_.contains(index)) return;
  storeParameterValue(index, plain, false);
  parameterChanged(index, plain);
  callMaster(audioMasterAutomate, index, 0, nullptr, toNormalized(index, plain));
}

void evaProcessor::open() {
  if (isOpen_) return;
  createDsp();
  suspend();
  isOpen_ = true;
  isClosed_ = false;
}

void evaProcessor::close() {
  if (isClosed_) return;
  suspend();
  destroyDsp();
  isOpen_ = false;
  isClosed_ = true;
}

void evaProcessor::setProgram(int32_t program) {
  if (!programs_.contains(program)) return;
  curProgram_ = program;
  const int count = std::min(parameters_.count(), evaProcessorProgram::kValueCount);
  for (int j = 0; j < count; ++j)
    setParameterPlain(j, programs_[program].values[j]);
}

void evaProcessor::setProgramName(const char* name) {
  if (!programs_.contains(curProgram_)) return;
  char* stored = programs_[curProgram_].name;
  std::memset(stored, 0, evaProcessorProgram::kNameSize);
  copyText(stored, name, evaProcessorProgram::kNameSize);
}

void evaProcessor::getProgramName(char* name) {
  copyText(name, programName(curProgram_), kVstMaxProgNameLen);
}

void evaProcessor::getParameterLabel(int32_t index, char* label) {
  copyText(label, parameters_.contains(index) ? parameters_[index].label : "", kVstMaxParamStrLen);
}

void evaProcessor::getParameterDisplay(int32_t index, char* text) {
  if (!text) return;
  if (!parameters_.contains(index)) {
    copyText(text, "", kVstMaxParamStrLen);
    return;
  }
  std::snprintf(text, kVstMaxParamStrLen, parameters_[index].format,
                static_cast<double>(getParameter(index)));
}

void evaProcessor::getParameterName(int32_t index, char* text) {
  copyText(text, parameters_.contains(index) ? parameters_[index].name : "", kVstMaxParamStrLen);
}

void evaProcessor::storeProgram(int32_t program, const char* name) {
  if (!programs_.contains(program)) return;
  curProgram_ = program;
  evaProcessorProgram& record = programs_[program];
  const int count = std::min(parameters_.count(), evaProcessorProgram::kValueCount);
  for (int j = 0; j < count; ++j)
    record.values[j] = parameters_[j].current();
  if (name) {
    std::memset(record.name, 0, evaProcessorProgram::kNameSize);
    copyText(record.name, name, evaProcessorProgram::kNameSize);
  }
}

void evaProcessor::setParameterPlain(int32_t index, float plain) {
  if (!parameters_.contains(index)) return;
  storeParameterValue(index, plain, true);
  parameterChanged(index, plain);
}

void evaProcessor::parameterChanged(int32_t, float) {}

void evaProcessor::storeParameterValue(int32_t index, float plain, bool markChanged) {
  if (!parameters_.contains(index)) return;
  evaProcessorParameter& p = parameters_[index];
  if (!p.value || p.value->load(std::memory_order_relaxed) == plain) return;
  p.value->store(plain, std::memory_order_relaxed);
  if (markChanged) {
    // The parameter's flag first, so a reader that sees the summary flag finds it.
    p.changed.store(true, std::memory_order_relaxed);
    anyParameterChanged_.store(true, std::memory_order_relaxed);
  }
}

bool evaProcessor::saveSettings(const std::string& file, uint32_t, uint32_t) {
  // File type and creator are attributes this platform does not keep.
  epiTextSettings settings;
  settings.reserve(10000);
  const std::string content = std::string("settings for ") + engineName();
  settings.setString("Content", content.c_str());
  settings.setString("PlugVersion", getPlugVersion());
  settings.setString("SettingsVersion", getSettingsVersion());
  for (int j = 0; j < parameters_.count(); ++j)
    settings.setLong(parameters_[j].key, truncatePlain(parameters_[j].current()));
  return settings.save(file);
}

bool evaProcessor::loadSettings(const std::string& file) {
  epiTextSettings settings;
  if (!settings.load(file)) return false;
  for (int j = 0; j < parameters_.count(); ++j)
    setParameterPlain(j, static_cast<float>(settingsValue(settings, parameters_[j])));
  return true;
}

void evaProcessor::initialize() {
  parameters_.reserve(evaProcessorParameters::kCapacity);
  setupPlug();
  initParameters();
  setParameterCount(parameters_.count());
  setProgramCount(programs_.count());
  setProgram(0);
}

void evaProcessor::createPrograms(int32_t count) {
  programs_.setCount(count);
  const int values = std::min(parameters_.count(), evaProcessorProgram::kValueCount);
  for (int i = 0; i < programs_.count(); ++i) {
    evaProcessorProgram& program = programs_[i];
    program = evaProcessorProgram{};
    std::snprintf(program.name, sizeof program.name, "Program %d", i + 1);
    for (int j = 0; j < values; ++j)
      program.values[j] = parameters_[j].defaultValue;
  }
}

bool evaProcessor::saveProgramBank() {
  return saveProgramBankFile(bankFileName());
}

bool evaProcessor::loadProgramBank() {
  return loadProgramBankFile(bankFileName());
}

bool evaProcessor::saveProgramBankFile(const std::string& path) {
  return writeProgramBank(path, programs_);
}

bool evaProcessor::loadProgramBankFile(const std::string& path) {
  return takeBank(readProgramBank(path, programs_));
}

bool evaProcessor::loadProgramBankData(std::vector<uint8_t> bytes) {
  return takeBank(readProgramBank(std::move(bytes), programs_));
}

bool evaProcessor::takeBank(BankRead result) {
  // A bank that cannot be read whole leaves no programs to use; the defaults take their place.
  if (result == BankRead::kFailed) {
    createPrograms(std::max(programs_.count(), numPrograms_));
  }
  return result == BankRead::kRead;
}

void evaProcessor::resetToDefaults() {
  for (int j = 0; j < parameters_.count(); ++j)
    setParameterPlain(j, parameters_[j].defaultValue);
}

void evaProcessor::readDefaults(epiTextSettings& settings) {
  for (int j = 0; j < parameters_.count(); ++j)
    parameters_[j].defaultValue = static_cast<float>(settingsValue(settings, parameters_[j]));
}

void evaProcessor::applyAllParameters() {
  for (int j = 0; j < parameters_.count(); ++j)
    parameterChanged(j, parameters_[j].current());
}

const char* evaProcessor::getPlugVersion() {
  return "0.0.0";
}

const char* evaProcessor::getSettingsVersion() {
  return "0.0.0";
}

void evaProcessor::setupPlug() {
  setNumInputs(0);
  setNumOutputs(0);
  hasVu();
  canProcessReplacing();
  setUniqueID(static_cast<int32_t>(framework::fourCC("----")));
}

void evaProcessor::initParameters() {
  createPrograms(4);
}

std::string evaProcessor::bankFileName() const {
  return std::string(engineName()) + " settings.dat";
}

const char* evaProcessor::engineName() const {
  return engine_ ? engine_->name() : standaloneName_;
}

float evaProcessor::toNormalized(int32_t index, float plain) const {
  if (!parameters_.contains(index)) return 0.0f;
  const evaProcessorParameter& p = parameters_[index];
  const float range = p.maximum - p.minimum;
  return range != 0.0f ? (plain - p.minimum) / range : 0.0f;
}

float evaProcessor::fromNormalized(int32_t index, float normalised) const {
  if (!parameters_.contains(index)) return 0.0f;
  const evaProcessorParameter& p = parameters_[index];
  return p.minimum + (p.maximum - p.minimum) * normalised;
}

float evaProcessor::parameterValue(int32_t index) const {
  return parameters_.contains(index) ? parameters_[index].current() : 0.0f;
}

const char* evaProcessor::programName(int32_t program) const {
  return programs_.contains(program) ? programs_[program].name : "";
}

// A parameter whose key differs from its name (one of two that share a name) falls back to the
// shared name, so files keyed by name alone still load.
int32_t evaProcessor::settingsValue(epiTextSettings& settings,
                                    const evaProcessorParameter& p) const {
  int32_t value = 0;
  if (settings.getLong(p.key, &value, 0)) return value;
  if (std::strcmp(p.key, p.name) != 0 && settings.getLong(p.name, &value, 0)) return value;
  return 0;
}

}  // namespace plugin
