#include "levels_plot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>

#include "cli_error.h"

namespace {

constexpr int kFft = 4096;
constexpr int kWidth = 1200;
constexpr int kRowHeight = 220;
constexpr double kFloorDb = -100.0;

// In-place radix-2 FFT.
void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2.0 * std::numbers::pi / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk = 1.0;
      for (size_t k = 0; k < len / 2; ++k, wk *= w) {
        const auto u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Average power spectrum in dB (Hann window, half-overlapping frames), kFft / 2 bins.
std::vector<double> spectrumDb(const std::vector<float>& x) {
  std::vector<double> power(kFft / 2, 0.0);
  std::vector<std::complex<double>> frame(kFft);
  int frames = 0;
  for (size_t start = 0; start + kFft <= x.size(); start += kFft / 2, ++frames) {
    for (int i = 0; i < kFft; ++i) {
      const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kFft);
      frame[i] = w * x[start + i];
    }
    fft(frame);
    for (int k = 0; k < kFft / 2; ++k)
      power[k] += std::norm(frame[k]);
  }
  for (double& p : power) {
    p = frames ? 10.0 * std::log10(p / frames / (kFft * 0.375) + 1e-20) : kFloorDb;
  }
  return power;
}

// Peak per column in dBFS over `columns` equal stretches of the signal.
std::vector<double> envelopeDb(const std::vector<float>& x, int columns) {
  std::vector<double> env(columns, kFloorDb);
  if (x.empty()) return env;
  for (int c = 0; c < columns; ++c) {
    const size_t from = x.size() * c / columns,
                 to = std::max(from + 1, x.size() * (c + 1) / columns);
    float peak = 0.0f;
    for (size_t i = from; i < to && i < x.size(); ++i)
      peak = std::max(peak, std::fabs(x[i]));
    env[c] = std::max(kFloorDb, 20.0 * std::log10(peak + 1e-12));
  }
  return env;
}

void drawCurve(cairo_t* cr, const std::vector<double>& ys, double x0, double y0, double w, double h,
               double yMin, double yMax, const std::vector<double>* xs = nullptr) {
  for (size_t i = 0; i < ys.size(); ++i) {
    const double fx = xs ? (*xs)[i] : double(i) / std::max<size_t>(1, ys.size() - 1);
    const double fy = (std::clamp(ys[i], yMin, yMax) - yMin) / (yMax - yMin);
    const double px = x0 + fx * w, py = y0 + h - fy * h;
    if (i == 0)
      cairo_move_to(cr, px, py);
    else
      cairo_line_to(cr, px, py);
  }
  cairo_stroke(cr);
}

void label(cairo_t* cr, double x, double y, const std::string& text) {
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
}

}  // namespace

void writeLevelsPlot(const std::string& path, const std::vector<PlotTrack>& tracks) {
  const int height = kRowHeight * static_cast<int>(tracks.size()) + 30;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
  label(cr, 10, 18,
        "grey: DI input   red: amp output   left: peak envelope (dBFS, -100..0)   "
        "right: average spectrum (dB, 20 Hz..20 kHz, log frequency)");

  const double plotW = kWidth / 2.0 - 60, plotH = kRowHeight - 50;
  for (size_t t = 0; t < tracks.size(); ++t) {
    const PlotTrack& track = tracks[t];
    const double top = 30 + t * kRowHeight + 20;
    cairo_set_source_rgb(cr, 0, 0, 0);
    label(cr, 40, top - 4, track.title);
    for (int panel = 0; panel < 2; ++panel) {
      const double left = 40 + panel * (kWidth / 2.0);
      cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
      cairo_rectangle(cr, left, top, plotW, plotH);
      cairo_stroke(cr);
    }
    // Envelopes over time.
    const int columns = static_cast<int>(plotW);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    drawCurve(cr, envelopeDb(track.input, columns), 40, top, plotW, plotH, kFloorDb, 0.0);
    cairo_set_source_rgb(cr, 0.8, 0.1, 0.1);
    drawCurve(cr, envelopeDb(track.output, columns), 40, top, plotW, plotH, kFloorDb, 0.0);
    // Spectra on a log frequency axis from 20 Hz to 20 kHz.
    const double nyquist = track.sampleRate / 2.0;
    std::vector<double> xs;
    std::vector<double> inDb = spectrumDb(track.input), outDb = spectrumDb(track.output);
    std::vector<double> inUsed, outUsed;
    for (int k = 1; k < kFft / 2; ++k) {
      const double hz = k * nyquist / (kFft / 2);
      if (hz < 20.0 || hz > 20000.0) continue;
      xs.push_back(std::log(hz / 20.0) / std::log(1000.0));
      inUsed.push_back(inDb[k]);
      outUsed.push_back(outDb[k]);
    }
    const double right = 40 + kWidth / 2.0;
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    drawCurve(cr, inUsed, right, top, plotW, plotH, -120.0, 0.0, &xs);
    cairo_set_source_rgb(cr, 0.8, 0.1, 0.1);
    drawCurve(cr, outUsed, right, top, plotW, plotH, -120.0, 0.0, &xs);
  }
  cairo_destroy(cr);
  // Beside the target first, so a failed write never leaves half a picture.
  const std::string temporary = path + ".part";
  const cairo_status_t status = cairo_surface_write_to_png(surface, temporary.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw CliError("cannot write '" + path + "': " + cairo_status_to_string(status));
  }
}
