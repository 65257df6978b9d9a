
#include "tuner_signals.h"

namespace {

using namespace tunertest;
using pseudoutils::NoteName;

constexpr double kLead = 0.1;    // silence before the pluck
constexpr double kSettle = 1.0;  // from here on every reading must be right

NoteName nameOf(double hz, int* cents = nullptr) {
  const double semitones = 12.0 * std::log2(hz / 440.0);
  const long nearest = std::lround(semitones);
  if (cents)
    *cents = static_cast<int>((semitones - nearest) * 100.0);  // truncated like the readout
  return pseudoutils::noteName(static_cast<int>(nearest % 12));
}

bool names(const pseudoutils::TunerReading& r, NoteName n) {
  return r.letter == n.letter && r.sharp == n.sharp;
}

int pitchedAfter(const TunerRig& rig, double seconds) {
  return int(std::count_if(rig.log.begin(), rig.log.end(),
                           [&](const auto& e) { return e.seconds > seconds && e.pitched(); }));
}

// Bass low E (period over a third of the frame) to fretted notes, -40..+40 cents, plucked
// mid-string and near the bridge (partials 2 to 5 above the fundamental), over a -80 dB floor.
TEST(TunerAccuracy, PluckedStringsFrom41To800HzAndNoFalseNoteFromNoise) {
  const std::pair<const char*, double> strings[] = {
      {"bass E1", 41.2}, {"bass A1", 55.0}, {"drop C", 65.41}, {"drop D", 73.42}, {"E2", 82.41},
      {"bass G", 98.0},  {"A2", 110.0},     {"D3", 146.83},    {"G3", 196.0},     {"B3", 246.94},
      {"E4", 329.63},    {"G4", 392.0},     {"A4", 440.0},     {"B4", 493.88},    {"D5", 587.33},
      {"E5", 659.26},    {"F#5", 739.99},   {"G5", 783.99}};
  std::printf("%-8s %7s %6s %7s\n", "string", "Hz", "worst", "missed");
  for (const auto& [label, nominal] : strings) {
    int worst = 0, missed = 0, cases = 0;
    for (double detune : {-40, -23, -9, -2, 0, 3, 17, 31, 40}) {
      const double hz = nominal * std::pow(2.0, detune / 1200.0);
      for (unsigned p = 0; p < 2 && hz <= 800.0; ++p) {
        const unsigned seed = unsigned(detune + 100) * 2 + p;
        std::vector<float> signal(size_t(kLead * kRate), 0.0f);
        const auto note = pluck(hz, 2.0, p ? 0.13 : 0.18, p ? 0.10 : 0.22, seed);
        signal.insert(signal.end(), note.begin(), note.end());
        addNoise(signal, 1e-4f, seed + 100);
        const TunerRig rig(signal);

        int trueCents = 0, error = 0, readings = 0;
        const NoteName name = nameOf(hz, &trueCents);
        const int tolerance = hz < 400.0 ? 2 : 3;
        for (const auto& e : rig.log) {
          if (!e.pitched()) continue;
          const int off = names(e.reading, name) ? std::abs(e.reading.cents - trueCents) : 99;
          if (e.seconds - kLead > kSettle) error = std::max(error, off), ++readings;
        }
        SCOPED_TRACE(testing::Message() << label << " " << detune << " cents, pluck " << p);
        EXPECT_GE(readings, 20);
        EXPECT_EQ(rig.allocations, 0u);
        EXPECT_LE(error, tolerance) << "(99: another note)";
        missed += readings < 20 || error > tolerance;
        worst = std::max(worst, error);
        ++cases;
      }
    }
    std::printf("%-8s %7.2f %6d %4d/%d\n", label, nominal, worst, missed, cases);
  }

  // Silence and noise never give a pitch. A note cut off after 1 s, then noise or silence: no
  // other note shows and the pitch goes within 20 ms, long before an unvoiced frame can complete.
  for (float level : {0.0f, 1e-4f, 0.3f}) {
    std::vector<float> noise(3 * kRate, 0.0f);
    addNoise(noise, level, 1);
    const TunerRig rig(noise);
    EXPECT_EQ(pitchedAfter(rig, 0.0), 0) << level;
  }
  for (double hz : {82.41, 440.0}) {
    for (float level : {0.0f, 0.1f}) {
      SCOPED_TRACE(testing::Message() << hz << " Hz, then noise " << level);
      auto signal = pluck(hz, 1.0, 0.18, 0.22, 9);
      std::vector<float> noise(2 * kRate, 0.0f);
      addNoise(noise, level, 10);
      signal.insert(signal.end(), noise.begin(), noise.end());
      const TunerRig rig(signal);
      EXPECT_EQ(pitchedAfter(rig, 1.02), 0);
      for (const auto& e : rig.log)
        EXPECT_TRUE(e.seconds < 1.0 || !e.pitched() || names(e.reading, nameOf(hz))) << e.seconds;
    }
  }
}

}  // namespace
