#pragma once

#include <atomic>
#include <complex>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/biquad_filter.h"
#include "rack/cabinet_stage.h"
#include "rack/clipper.h"
#include "rack/power_sag.h"
#include "rack/spring_reverb.h"
#include "rack/tone_stack.h"

namespace rack {

// The amp section: tremolo and overdrive stomps, a preamp (three voicing filters, a gain and
// a clipper), the passive tone stack with presence, the spring reverb, the master volume, the
// power stage (sag and clipper) and the speaker cabinet. Mono, in blocks of at most 64 frames.
//
// Threads: process() and every setter run on the audio thread (the rack applies parameters
// there at the start of a block); setFormat() and reset() run while audio is stopped. The one
// exception is setToneStack(), which may also be called from another thread: it waits until
// the audio thread is out of the tone stack, and the audio thread skips the tone stack for a
// block rather than wait for a recompute.
class AmpSimulator {
 public:
  static constexpr int kMaxFrames = 64;

  // Models the product selects: preamp 1, 3, 5; tone stack 0, 1, 3, 4; power 0 to 3; cabinets
  // 1, 5, 6 and 8 (none). Preamp 0, tone stack 3, power 0 and cabinet 2 are the built-in ones.
  static constexpr int kNoCabinet = CabinetStage::kNoCabinet;

  AmpSimulator();

  void setFormat(int channels, int sampleRate);
  void reset();
  // Clears the audio state from the audio thread, after a block came out not finite: as
  // reset(), but the tone stack only when no other thread holds it (the next bad block
  // catches it then).
  void recover();
  // source and destination may be the same buffer; frames at most kMaxFrames.
  int process(float* destination, const float* source, int frames);

  void setPreampModel(int model);
  void setToneStackModel(int model);
  void setPowerStageModel(int model);
  void setCabinetModel(int model);
  void setCabinetOptions(int option1, int option2, int option3);
  void setTremolo(float speed, float depth);
  void setOverdriveOn(int on);
  void setDrive(float drive);
  void setOverdriveToneLevel(float tone, float level);
  void setPreamp(int model, float gain, int preampSwitch, float volume);
  void setToneStack(int model, float low, float mid, float high, float presence);
  void setSpringReverb(float amount);
  void setBypassFlags(int stompBypass, int ampBypass);

  int preampModel() const { return preampModel_; }
  int toneStackModel() const { return toneStackModel_.load(std::memory_order_relaxed); }
  int powerStageModel() const { return powerStageModel_; }
  int cabinetModel() const { return cabinet_.model(); }
  float volumeGain() const { return volumeGain_; }
  // The presence filter's response at a frequency in hertz (tests, response displays).
  std::complex<double> presenceResponse(double hz) const { return presenceFilter_.response(hz); }

 private:
  void clearStages();
  void runToneStack(float* a, float* b, int frames);
  void holdToneStack();
  void releaseToneStack();
  void applyToneStack(int model, float low, float mid, float high, float presence);
  void updateVolumeGain();

  float sampleRate_ = 44100.0f;
  float scratchA_[kMaxFrames] = {};
  float scratchB_[kMaxFrames] = {};
  std::unique_ptr<dsp::TAutomatedEffect> tremolo_;
  dsp::BiquadFilter odPreFilter_;
  dsp::BiquadFilter odPostFilter_;
  Clipper odClipper_;
  dsp::BiquadFilter voicing1_, voicing2_, voicing3_;
  float preampGain_ = 1.0f;
  Clipper preampClipper_;
  dsp::BiquadFilter presenceFilter_;
  ToneStack toneStack_;
  PowerSag sag_;
  Clipper powerClipper_;
  CabinetStage cabinet_;
  SpringReverb springReverb_;

  int preampModel_ = 0;
  std::atomic<int> toneStackModel_{3};  // also written by setToneStack() from other threads
  int powerStageModel_ = 0;
  int cabinetOptions_[3] = {0, 0, 0};
  int overdriveOn_ = 0;
  float drive_ = 0.5f, overdriveTone_ = 0.5f, overdriveLevel_ = 0.5f;
  float gain_ = 0.2f;
  int preampSwitch_ = 0;
  // Knobs and presence filter: written only while the tone stack is held.
  float low_ = 0.5f, mid_ = 0.5f, high_ = 0.5f, presence_ = 0.0f;
  bool toneStackFirst_ = false;
  bool halfVolumeLaw_ = false;
  float volume_ = 0.8f;
  float volumeGain_ = 1.0f;
  float reverbSend_ = 0.0f;
  float tremoloDepth_ = 0.0f;
  bool initialized_ = false;
  std::atomic_flag toneStackBusy_ = ATOMIC_FLAG_INIT;
  int stompBypass_ = 0;
  int ampBypass_ = 0;
};

}  // namespace rack
