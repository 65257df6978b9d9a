#pragma once

#include <cstdint>

// The effect library's vector operations on float arrays. "Stereo" means two interleaved
// channels; lengths are in frames where the name says stereo or the argument is called frames,
// otherwise in samples. A ramp is a gain that grows by `step` after every frame; the ramp
// kernels return the gain reached after the last frame. The loops are written plainly so the
// compiler vectorises them; unlike the original four-at-a-time kernels they accept any length.
namespace dsp::vec {

// 1: stereo d += s * (gL, gR)
inline void mixStereoGains(float* d, const float* s, int frames, float gL, float gR) {
  for (int i = 0; i < frames; ++i) {
    d[2 * i] += s[2 * i] * gL;
    d[2 * i + 1] += s[2 * i + 1] * gR;
  }
}

// 2: d += s * ramp, mono or stereo
inline float mixRamp(float* d, const float* s, int frames, int channels, float gain, float step) {
  for (int i = 0; i < frames; ++i, gain += step) {
    for (int c = 0; c < channels; ++c)
      d[i * channels + c] += s[i * channels + c] * gain;
  }
  return gain;
}

// 3: stereo d += mono s * ramp on both channels
inline float mixMonoToStereoRamp(float* d, const float* s, int frames, float gain, float step) {
  for (int i = 0; i < frames; ++i, gain += step) {
    d[2 * i] += s[i] * gain;
    d[2 * i + 1] += s[i] * gain;
  }
  return gain;
}

// 4: stereo d += stereo s * ramp * (gL, gR)
inline float mixStereoRampGains(float* d, const float* s, int frames, float gain, float step,
                                float gL, float gR) {
  for (int i = 0; i < frames; ++i, gain += step) {
    d[2 * i] += s[2 * i] * gain * gL;
    d[2 * i + 1] += s[2 * i + 1] * gain * gR;
  }
  return gain;
}

// 5: stereo d += mono s * ramp * (gL, gR)
inline float mixMonoToStereoRampGains(float* d, const float* s, int frames, float gain, float step,
                                      float gL, float gR) {
  for (int i = 0; i < frames; ++i, gain += step) {
    d[2 * i] += s[i] * gain * gL;
    d[2 * i + 1] += s[i] * gain * gR;
  }
  return gain;
}

// 6: d *= ramp in place, mono or stereo
inline float applyRamp(float* d, int frames, int channels, float gain, float step) {
  for (int i = 0; i < frames; ++i, gain += step) {
    for (int c = 0; c < channels; ++c)
      d[i * channels + c] *= gain;
  }
  return gain;
}

// 7 and 8: d += s (the any-length variant is the same loop here)
inline void add(float* d, const float* s, int samples) {
  for (int i = 0; i < samples; ++i)
    d[i] += s[i];
}

// 9: stereo d += mono s on both channels
inline void mixMonoToStereo(float* d, const float* s, int frames) {
  for (int i = 0; i < frames; ++i) {
    d[2 * i] += s[i];
    d[2 * i + 1] += s[i];
  }
}

// 10: stereo d += mono s * (gL, gR)
inline void mixMonoToStereoGains(float* d, const float* s, int frames, float gL, float gR) {
  for (int i = 0; i < frames; ++i) {
    d[2 * i] += s[i] * gL;
    d[2 * i + 1] += s[i] * gR;
  }
}

// 11: d = d + (s - d) * g, blending d towards s
inline void blend(float* d, const float* s, int samples, float g) {
  for (int i = 0; i < samples; ++i)
    d[i] += (s[i] - d[i]) * g;
}

// 12: d = d * g2 + s * g1
inline void weightedSum(float* d, const float* s, int samples, float g1, float g2) {
  for (int i = 0; i < samples; ++i)
    d[i] = d[i] * g2 + s[i] * g1;
}

// 13: stereo d *= (gL, gR) in place
inline void scaleStereo(float* d, int frames, float gL, float gR) {
  for (int i = 0; i < frames; ++i) {
    d[2 * i] *= gL;
    d[2 * i + 1] *= gR;
  }
}

// 14: stereo d = stereo s * (gL, gR)
inline void copyScaledStereo(float* d, const float* s, int frames, float gL, float gR) {
  for (int i = 0; i < frames; ++i) {
    d[2 * i] = s[2 * i] * gL;
    d[2 * i + 1] = s[2 * i + 1] * gR;
  }
}

// 15: two mono outputs += left and right of stereo s * (gL, gR)
inline void mixSplitStereo(float* left, float* right, const float* s, int frames, float gL,
                           float gR) {
  for (int i = 0; i < frames; ++i) {
    left[i] += s[2 * i] * gL;
    right[i] += s[2 * i + 1] * gR;
  }
}

// 16: two mono outputs = left and right of stereo s * (gL, gR)
inline void splitStereo(float* left, float* right, const float* s, int frames, float gL, float gR) {
  for (int i = 0; i < frames; ++i) {
    left[i] = s[2 * i] * gL;
    right[i] = s[2 * i + 1] * gR;
  }
}

// 17: d holds 16-bit-range values; d = int(d) * g2 / 32768 + s * g1 / 32768
inline void weightedSumInt16(float* d, const int16_t* s, int samples, float g1, float g2) {
  const float k2 = g2 / 32768.0f;
  const float k1 = g1 / 32768.0f;
  for (int i = 0; i < samples; ++i) {
    d[i] = static_cast<float>(static_cast<int32_t>(d[i])) * k2 + static_cast<float>(s[i]) * k1;
  }
}

// 18: d = s / 32768
inline void fromInt16(float* d, const int16_t* s, int samples) {
  for (int i = 0; i < samples; ++i)
    d[i] = static_cast<float>(s[i]) / 32768.0f;
}

// 19: d = a - b
inline void subtract(float* d, const float* a, const float* b, int samples) {
  for (int i = 0; i < samples; ++i)
    d[i] = a[i] - b[i];
}

// 20: d = a * b
inline void multiply(float* d, const float* a, const float* b, int samples) {
  for (int i = 0; i < samples; ++i)
    d[i] = a[i] * b[i];
}

// 21: stereo d = stereo s * g[frame], one gain per frame
inline void scaleStereoPerFrame(float* d, const float* s, const float* g, int frames) {
  for (int i = 0; i < frames; ++i) {
    d[2 * i] = s[2 * i] * g[i];
    d[2 * i + 1] = s[2 * i + 1] * g[i];
  }
}

// 22: x = 1 / (x + 1) in place
inline void reciprocalOfOnePlus(float* x, int samples) {
  for (int i = 0; i < samples; ++i)
    x[i] = 1.0f / (x[i] + 1.0f);
}

}  // namespace dsp::vec
