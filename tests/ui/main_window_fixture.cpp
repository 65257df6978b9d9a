#include "main_window_fixture.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "gui/epi_alpha_control_text.h"

namespace uitest {

void MainWindowTest::SetUp() {
  XvfbTest::SetUp();
  if (HasFatalFailure()) return;
  folder_ = std::make_unique<TempFolder>();
  framework::SettingsFolder::setOverride(folder_->path("settings"));
  input_ = std::make_unique<testsupport::XTestInput>();
  ASSERT_TRUE(input_->available()) << input_->error();
  Display* host = input_->display();
  parent_ = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 1100, 480, 0, 0, 0);
  XMapWindow(host, parent_);
  XSync(host, False);
  openAmp();
}

void MainWindowTest::TearDown() {
  if (engine_) closeAmp();
  if (parent_) XDestroyWindow(input_->display(), parent_);
  input_.reset();
  framework::SettingsFolder::setOverride("");
  folder_.reset();
  gui::releaseFontCaches();  // or the leak checker reports fontconfig's
}

void MainWindowTest::openAmp() {
  engine_ = new WindowEngine({&milliseconds_, &meter_, &passes_});
  ASSERT_TRUE(engine_->init());
  processor().open();
  processor().loadProgramBankFile(framework::SettingsFolder::file(processor().bankFileName()));
  ASSERT_EQ(engine_->editor()->open(reinterpret_cast<void*>(parent_)), 1);
  ASSERT_NE(engine_->editor()->window(), nullptr);
  ASSERT_TRUE(passUntil([&] {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(input_->display(), window().nativeHandle(), &attributes) &&
           attributes.map_state == IsViewable;
  }));
}

void MainWindowTest::closeAmp() {
  engine_->editor()->close();
  processor().close();
  delete engine_->processor();  // takes the engine along
  engine_ = nullptr;
}

void MainWindowTest::idle(uint64_t ms) {
  milliseconds_.advance(ms);
  meter_.advance(ms);
  engine_->editor()->idle();
}

bool MainWindowTest::passUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline || !engine_->processEvents(10)) return false;
  }
  return true;
}

bool MainWindowTest::click(int control, int panel) {
  const gui::Rect area = bounds(control, panel);
  window().noteControl(-1, -1);
  input_->moveTo(window().nativeHandle(), area.x + area.width / 2, area.y + area.height / 2);
  input_->press(1);
  input_->release(1);
  return passUntil([&] { return window().lastControl() >= 0; });
}

bool MainWindowTest::drag(int control, int dy) {
  const gui::Rect area = bounds(control);
  const int x = area.x + area.width / 2, y = area.y + area.height / 2;
  window().noteControl(-1, -1);
  input_->drag(window().nativeHandle(), x, y, x, y + dy, 4);
  return passUntil([&] { return window().lastControl() == control; });
}

bool MainWindowTest::type(const std::string& text, const std::function<bool()>& done) {
  input_->focus(window().nativeHandle());
  input_->typeText(text);
  return passUntil(done);
}

bool MainWindowTest::typeKey(uint32_t keysym, const std::function<bool()>& done) {
  input_->focus(window().nativeHandle());
  input_->typeKey(keysym);
  return passUntil(done);
}

std::string MainWindowTest::text(int item) const {
  const auto* control =
      dynamic_cast<const gui::epiAlphaControl_text*>(window().panel(kFront)->control(item));
  return control ? control->text() : "(no text item)";
}

void MainWindowTest::play(double hz, float amplitude, double seconds, int block) {
  std::vector<float> in(static_cast<size_t>(block)), left(in.size()), right(in.size());
  float* inputs[2] = {in.data(), nullptr};
  float* outputs[2] = {left.data(), right.data()};
  for (int done = 0; done < int(seconds * 44100.0); done += block) {
    for (float& sample : in) {
      sample = amplitude * float(std::sin(phase_));
      phase_ += 2.0 * M_PI * hz / 44100.0;
    }
    processor().processReplacing(inputs, outputs, block);
  }
}

void MainWindowTest::tunedTicks(double hz, int count) {
  constexpr double kOneBlock = 64 / 44100.0;
  for (int tick = 0; tick < count; ++tick) {
    play(hz, 0.5f, kOneBlock, 64);
    for (int i = 0; i < 1000 && !(rack().reading().valid && !rack().reading().noPitch); ++i)
      play(hz, 0.5f, kOneBlock, 64);
    idle(ui::vlvrWindow::kMeterMs);
  }
}

}  // namespace uitest
