#pragma once

#include <string>
#include <vector>

// One render for the picture: its name, the mono input and the left output channel.
struct PlotTrack {
  std::string title;
  std::vector<float> input;
  std::vector<float> output;
  int sampleRate = 44100;
};

// Draws, for each track, the waveform envelope and the average spectrum of input and output
// side by side, and writes the picture as a PNG. Throws CliError when it cannot be written.
void writeLevelsPlot(const std::string& path, const std::vector<PlotTrack>& tracks);
