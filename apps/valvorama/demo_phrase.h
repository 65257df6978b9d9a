#pragma once

#include <vector>

// A built-in DI guitar phrase, synthesized: a few bars of single notes and strummed chords on
// plucked strings, about 10 s, mono, the same samples on every run.
std::vector<float> demoPhrase(int sampleRate);
