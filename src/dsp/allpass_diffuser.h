#pragma once

#include <vector>

namespace dsp {

// Delay-line diffuser: y = s - g x, with s the ring's output and g s + x written back. Its
// response is ((1 + g^2) z^-L - g) / (1 - g z^-L): the all-pass's dispersion, but the delayed
// path keeps full gain, so the level rises by up to (1 - g + g^2) / (1 - g) at the ring's
// resonances. Channels are interleaved and each has its own ring.
class AllpassDiffuser {
 public:
  AllpassDiffuser();

  // Allocates zero-filled rings for a delay of `length` samples and primes the diffuser. Not
  // for the audio thread.
  void setLength(int length, int channels = 1);
  void setCoefficient(float g) { coefficient_ = g; }
  // Clears the rings and puts the read index `length` samples behind the write index.
  void reset();
  // The owner declares the rings stale; reset() primes the diffuser again.
  void unprime() { primed_ = false; }

  // out may equal in.
  void process(float* out, const float* in, int frames);

  int length() const { return length_; }
  int size() const { return size_; }
  int channels() const { return channels_; }
  float coefficient() const { return coefficient_; }
  bool primed() const { return primed_; }

 private:
  int channels_ = 1;
  std::vector<float> ring_;  // channels_ rings of size_ samples, one after the other
  int length_ = 0;
  int size_ = 1;  // a power of two above length_, so the indices wrap with a mask
  int writeIndex_ = 0;
  int readIndex_ = 0;
  bool primed_ = false;
  float coefficient_ = 0.0f;
};

}  // namespace dsp
