#include "processor_session.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "arguments.h"
#include "cli_error.h"
#include "framework/settings_folder.h"
#include "plugin/sample_rate.h"

namespace {

bool equalNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

ProcessorSession::ProcessorSession() : processor_(std::make_unique<plugin::vlvrProcessor>()) {
  processor_->initialize();
}

std::string ProcessorSession::loadBank(const std::string& explicitPath) {
  if (!explicitPath.empty()) {
    if (!processor_->loadProgramBankFile(explicitPath)) {
      throw CliError("cannot read program bank '" + explicitPath + "'");
    }
    return explicitPath;
  }
  const std::string standard = framework::SettingsFolder::file(processor_->bankFileName());
  if (std::filesystem::exists(standard)) {
    if (!processor_->loadProgramBankFile(standard)) {
      throw CliError("cannot read program bank '" + standard + "'");
    }
    return standard;
  }
  return {};
}

void ProcessorSession::start(int sampleRate, int program) {
  plugin::AEffect& fx = effect();
  plugin::setProcessSampleRate(static_cast<float>(sampleRate));
  fx.dispatcher(&fx, plugin::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  fx.dispatcher(&fx, plugin::effMainsChanged, 0, 1, nullptr, 0.0f);  // resume: opens the rack
  fx.dispatcher(&fx, plugin::effSetProgram, 0, program, nullptr, 0.0f);
}

int ProcessorSession::findParameter(const std::string& name) const {
  const auto& params = processor_->parameters();
  auto choices = [&] {
    std::string list;
    for (int i = 0; i < params.count(); ++i) {
      list += (i ? ", " : "") + std::to_string(i) + " \"" + params[i].name + "\"";
    }
    return list;
  };
  if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) {
    return parseInteger(name, 0, params.count() - 1, "parameter index");
  }
  int found = -1;
  for (int i = 0; i < params.count(); ++i) {
    if (!equalNoCase(name, params[i].name)) continue;
    if (found >= 0) {
      throw CliError("parameter name \"" + name + "\" is shared by parameters " +
                     std::to_string(found) + " and " + std::to_string(i) +
                     "; give the index instead. Parameters: " + choices());
    }
    found = i;
  }
  if (found < 0) throw CliError("no parameter \"" + name + "\". Parameters: " + choices());
  return found;
}

void ProcessorSession::set(const std::string& assignment) {
  const auto eq = assignment.find('=');
  if (eq == std::string::npos) throw CliError("--set takes NAME=VALUE, not '" + assignment + "'");
  const int index = findParameter(assignment.substr(0, eq));
  const auto& p = processor_->parameters()[index];
  const std::string what = std::string("value of \"") + p.name + "\"";
  setPlain(index, static_cast<float>(
                      parseNumber(assignment.substr(eq + 1), p.minimum, p.maximum, what.c_str())));
}

// The plain value goes in as it is: a round trip through the record's normalised scale could
// land a hair below a whole number, which the rack would truncate to the one below.
void ProcessorSession::setPlain(int index, float plain) {
  processor_->setParameterPlain(index, plain);
}

void ProcessorSession::process(const float* left, const float* right, float* outLeft,
                               float* outRight, int frames) {
  plugin::AEffect& fx = effect();
  float* inputs[2] = {const_cast<float*>(left), const_cast<float*>(right)};
  float* outputs[2] = {outLeft, outRight};
  fx.processReplacing(&fx, inputs, outputs, frames);
}
