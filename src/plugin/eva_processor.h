#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "plugin/audio_effect_x.h"
#include "plugin/eva_processor_parameters.h"
#include "plugin/eva_processor_programs.h"
#include "plugin/processor_engine.h"
#include "plugin/program_bank.h"

class epiTextSettings;

namespace plugin {

// The product-independent processor: parameters with plain and normalised values and change
// flags, programs, the program bank file and the text export of the current values.
//
// Threads: parameter values and change flags may be written by the user-interface, MIDI or host
// thread while another reads them; programs, files and open/close belong to the
// user-interface thread.
class evaProcessor : public AudioEffectX {
 public:
  explicit evaProcessor(ProcessorEngine* engine = nullptr);
  ~evaProcessor() override;

  // The plug-in operations. Values cross the plug-in interface normalised (0..1);
  // setParameterAutomated takes the front panel's plain value.
  void setParameter(int32_t index, float normalised) override;
  float getParameter(int32_t index) override;
  void setParameterAutomated(int32_t index, float plain) override;
  void open() override;
  void close() override;
  void setProgram(int32_t program) override;
  void setProgramName(const char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(int32_t index, char* label) override;
  void getParameterDisplay(int32_t index, char* text) override;
  void getParameterName(int32_t index, char* text) override;
  void suspend() override {}
  void resume() override { open(); }

  // The processor's own operations, in slot order.
  virtual void storeProgram(int32_t program, const char* name);
  virtual void setParameterPlain(int32_t index, float plain);
  // Makes the sound follow a stored value; called on every store, changed or not.
  virtual void parameterChanged(int32_t index, float plain);
  virtual void storeParameterValue(int32_t index, float plain, bool markChanged);
  virtual bool saveSettings(const std::string& file, uint32_t type = framework::fourCC("TEXT"),
                            uint32_t creator = framework::fourCC("ttxt"));
  virtual bool loadSettings(const std::string& file);
  virtual void initialize();
  virtual void createPrograms(int32_t count);
  virtual bool saveProgramBank();
  virtual bool loadProgramBank();
  // Every parameter back to its default, as a program recall would do it.
  virtual void resetToDefaults();
  virtual void readDefaults(epiTextSettings& settings);
  virtual void applyAllParameters();
  virtual const char* getPlugVersion();
  virtual const char* getSettingsVersion();
  virtual void setupPlug();
  virtual void createDsp() {}
  virtual void destroyDsp() {}
  virtual void initParameters();
  virtual void setDspSampleRate(int32_t rate) { (void)rate; }

  // The bank file at an explicit path. Loading: true when the file's programs were read. A
  // missing or foreign file changes nothing; a damaged one leaves the default programs.
  bool saveProgramBankFile(const std::string& path);
  bool loadProgramBankFile(const std::string& path);
  // The same from a file image in memory (fuzzing, tests).
  bool loadProgramBankData(std::vector<uint8_t> bytes);
  // The engine's name followed by " settings.dat", in the current folder.
  std::string bankFileName() const;
  const char* engineName() const;
  ProcessorEngine* engine() const { return engine_; }

  // Plain <-> normalised; 0.0 for an index outside the parameters.
  float toNormalized(int32_t index, float plain) const;
  float fromNormalized(int32_t index, float normalised) const;

  evaProcessorParameters& parameters() { return parameters_; }
  const evaProcessorParameters& parameters() const { return parameters_; }
  // The current plain value; 0.0 for an index outside the parameters.
  float parameterValue(int32_t index) const;
  const evaProcessorPrograms& programs() const { return programs_; }
  // The whole stored name (up to 31 characters); "" for a program that does not exist.
  const char* programName(int32_t program) const;

  bool anyParameterChanged() const { return anyParameterChanged_.load(std::memory_order_relaxed); }
  void clearAnyParameterChanged() { anyParameterChanged_.store(false, std::memory_order_relaxed); }
  bool isOpen() const { return isOpen_; }

 protected:
  // The name used when there is no engine (the command-line tool has none).
  void setStandaloneName(const char* name) { standaloneName_ = name; }

 private:
  bool takeBank(BankRead result);
  int32_t settingsValue(epiTextSettings& settings, const evaProcessorParameter& p) const;

  evaProcessorParameters parameters_;
  std::atomic<bool> anyParameterChanged_{false};
  evaProcessorPrograms programs_;
  ProcessorEngine* engine_;
  bool isOpen_ = false;
  bool isClosed_ = false;
  const char* standaloneName_ = "Unknown";
};

// A plain value as a whole number, truncated toward zero; NaN gives 0 and values beyond the
// 32-bit range give its ends, so a damaged file cannot make the conversion undefined.
int32_t truncatePlain(float plain);

}  // namespace plugin
