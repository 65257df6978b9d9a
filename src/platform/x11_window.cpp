#include "platform/x11_window.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "platform/x11_display.h"

namespace platform {
namespace {

constexpr long kEventMask = ExposureMask | StructureNotifyMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask;
// cairo's largest image side.
constexpr int32_t kMaxSide = 32767;

int32_t clampSide(int32_t side) {
  return std::clamp(side, 1, kMaxSide);
}

uint32_t modifiersOf(unsigned int state) {
  uint32_t modifiers = 0;
  if (state & ShiftMask) modifiers |= kShift;
  if (state & ControlMask) modifiers |= kControl;
  if (state & Mod1Mask) modifiers |= kAlt;
  if (state & Button1Mask) modifiers |= kButton1;
  return modifiers;
}

// Control characters (Return, Tab, Escape, Ctrl+letter) are keys, not text.
void putText(uint32_t codePoint, char (&text)[8]) {
  if (codePoint < 0x20 || (codePoint >= 0x7f && codePoint < 0xa0) || codePoint > 0x10ffff) return;
  if (codePoint < 0x80) {
    text[0] = static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    text[0] = static_cast<char>(0xc0 | (codePoint >> 6));
    text[1] = static_cast<char>(0x80 | (codePoint & 0x3f));
  } else if (codePoint < 0x10000) {
    text[0] = static_cast<char>(0xe0 | (codePoint >> 12));
    text[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3f));
    text[2] = static_cast<char>(0x80 | (codePoint & 0x3f));
  } else {
    text[0] = static_cast<char>(0xf0 | (codePoint >> 18));
    text[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3f));
    text[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3f));
    text[3] = static_cast<char>(0x80 | (codePoint & 0x3f));
  }
}

// The key's own symbol (Shift, Caps Lock and Control left out, so Shift+A is still `a`) and the
// character it types, in UTF-8. XLookupString gives Latin-1, and Unicode keysyms directly.
void translateKey(XKeyEvent key, InputEvent& out) {
  char latin1[16];
  KeySym typed = NoSymbol;
  const int count = XLookupString(&key, latin1, sizeof latin1, &typed, nullptr);
  XKeyEvent plain = key;
  plain.state &= ~(ShiftMask | LockMask | ControlMask);
  KeySym identity = NoSymbol;
  char ignored[16];
  XLookupString(&plain, ignored, sizeof ignored, &identity, nullptr);
  out.keysym = static_cast<uint32_t>(identity);
  if (out.type != InputEvent::Type::kKeyPress) return;
  if (typed >= 0x1000100 && typed <= 0x110ffff)
    putText(static_cast<uint32_t>(typed - 0x1000000), out.text);
  else if (count == 1)
    putText(static_cast<unsigned char>(latin1[0]), out.text);
}

void copySurface(cairo_surface_t* from, cairo_surface_t* to) {
  cairo_t* cr = cairo_create(to);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, from, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
}

bool takesBackBufferWords(Display* display, const XWindowAttributes& window) {
  const Visual* visual = window.visual;
  if (visual->c_class != TrueColor || (window.depth != 24 && window.depth != 32) ||
      visual->red_mask != 0xff0000 || visual->green_mask != 0xff00 || visual->blue_mask != 0xff)
    return false;
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  bool words = false;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == window.depth) words = formats[i].bits_per_pixel == 32;
  if (formats) XFree(formats);
  return words;
}

// One colour channel of a true-colour pixel: the top bits of cairo's 8-bit value, in place.
unsigned long channel(uint32_t value8, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long value = bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits);
  return (value << shift) & mask;
}

}  // namespace

std::unique_ptr<X11Window> X11Window::create(X11Display& display, Window parent, bool topLevel,
                                             int32_t x, int32_t y, int32_t width, int32_t height) {
  X11Display::HandlerScope handlers;
  Display* xDisplay = display.xDisplay();
  width = clampSide(width);
  height = clampSide(height);
  XSetWindowAttributes attributes{};
  attributes.event_mask = kEventMask;
  // The back buffer paints every exposed pixel: no server-side clearing (no flicker), and
  // content kept in place when the window grows.
  attributes.background_pixmap = None;
  attributes.bit_gravity = NorthWestGravity;
  Window window = 0;
  XWindowAttributes created{};
  const int error = display.checked([&] {
    window = XCreateWindow(xDisplay, parent, x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWEventMask | CWBackPixmap | CWBitGravity, &attributes);
    XGetWindowAttributes(xDisplay, window, &created);
  });
  if (error != 0 || window == 0 || created.visual == nullptr) return nullptr;

  std::unique_ptr<X11Window> result(new X11Window(display, window, created, topLevel));
  if (topLevel) {
    Atom deleteWindow = display.atom("WM_DELETE_WINDOW");
    XSetWMProtocols(xDisplay, window, &deleteWindow, 1);
  } else {
    XMapWindow(xDisplay, window);
  }
  XFlush(xDisplay);
  return result;
}

X11Window::X11Window(X11Display& display, Window window, const XWindowAttributes& attributes,
                     bool topLevel)
    : display_(&display),
      window_(window),
      topLevel_(topLevel),
      width_(attributes.width),
      height_(attributes.height),
      back_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_)),
      gc_(XCreateGC(display.xDisplay(), window, 0, nullptr)),
      visual_(attributes.visual),
      depth_(attributes.depth),
      direct_(takesBackBufferWords(display.xDisplay(), attributes)) {
  display_->attach(window_, this);
}

X11Window::~X11Window() {
  if (display_) {
    X11Display::HandlerScope handlers;
    display_->detach(window_);
    // A window X has already destroyed (its parent went first) answers BadWindow, which the
    // display swallows.
    if (!gone_ && !display_->broken()) XDestroyWindow(display_->xDisplay(), window_);
    XFreeGC(display_->xDisplay(), gc_);
    display_->flush();
  }
  cairo_surface_destroy(back_);
}

// Closing the connection frees the window on the server.
void X11Window::orphan() {
  X11Display::HandlerScope handlers;
  XFreeGC(display_->xDisplay(), gc_);
  display_ = nullptr;
  gone_ = true;
}

bool X11Window::live() const {
  return display_ && !gone_ && !display_->broken();
}

void X11Window::present(int32_t x, int32_t y, int32_t width, int32_t height) {
  const int32_t left = std::max(x, 0), top = std::max(y, 0);
  const int32_t right = std::min(x + width, width_), bottom = std::min(y + height, height_);
  if (!live() || right <= left || bottom <= top) return;
  X11Display::HandlerScope handlers;
  cairo_surface_flush(back_);
  if (direct_)
    putDirect(left, top, right - left, bottom - top);
  else
    putConverted(left, top, right - left, bottom - top);
  XFlush(display_->xDisplay());
}

// cairo's pixels are native-endian 32-bit words; the image says which end comes first, and Xlib
// swaps for a server of the other kind.
void X11Window::putDirect(int32_t x, int32_t y, int32_t width, int32_t height) {
  char* data = reinterpret_cast<char*>(cairo_image_surface_get_data(back_));
  XImage* image =
      XCreateImage(display_->xDisplay(), visual_, static_cast<unsigned>(depth_), ZPixmap, 0, data,
                   static_cast<unsigned>(width_), static_cast<unsigned>(height_), 32,
                   cairo_image_surface_get_stride(back_));
  if (!image) return;
  image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
  XPutImage(display_->xDisplay(), window_, gc_, image, x, y, x, y, static_cast<unsigned>(width),
            static_cast<unsigned>(height));
  image->data = nullptr;  // the back buffer's, not the image's
  XDestroyImage(image);
}

void X11Window::putConverted(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (visual_->c_class != TrueColor)
    return;  // no colour maps: every server of today has true colour
  XImage* image =
      XCreateImage(display_->xDisplay(), visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                   nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
  if (!image) return;
  image->data = static_cast<char*>(
      std::malloc(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height)));
  if (!image->data) {
    XDestroyImage(image);
    return;
  }
  const unsigned char* data = cairo_image_surface_get_data(back_);
  const int stride = cairo_image_surface_get_stride(back_);
  for (int32_t row = 0; row < height; ++row) {
    const auto* words = reinterpret_cast<const uint32_t*>(data + (y + row) * stride) + x;
    for (int32_t column = 0; column < width; ++column) {
      const uint32_t argb = words[column];
      XPutPixel(image, column, row,
                channel((argb >> 16) & 0xff, visual_->red_mask) |
                    channel((argb >> 8) & 0xff, visual_->green_mask) |
                    channel(argb & 0xff, visual_->blue_mask));
    }
  }
  XPutImage(display_->xDisplay(), window_, gc_, image, 0, 0, x, y, static_cast<unsigned>(width),
            static_cast<unsigned>(height));
  XDestroyImage(image);  // frees the pixels too
}

void X11Window::setTitle(const std::string& title) {
  if (!live() || !topLevel_) return;
  X11Display::HandlerScope handlers;
  Display* xDisplay = display_->xDisplay();
  XStoreName(xDisplay, window_, title.c_str());
  XChangeProperty(xDisplay, window_, display_->atom("_NET_WM_NAME"), display_->atom("UTF8_STRING"),
                  8, PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  XFlush(xDisplay);
}

void X11Window::resize(int32_t width, int32_t height) {
  width = clampSide(width);
  height = clampSide(height);
  if (live()) {
    X11Display::HandlerScope handlers;
    XResizeWindow(display_->xDisplay(), window_, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XFlush(display_->xDisplay());
  }
  adoptSize(width, height);
}

void X11Window::show() {
  if (!live()) return;
  X11Display::HandlerScope handlers;
  if (topLevel_)
    XMapRaised(display_->xDisplay(), window_);
  else
    XMapWindow(display_->xDisplay(), window_);
  XFlush(display_->xDisplay());
}

void X11Window::hide() {
  if (!live()) return;
  X11Display::HandlerScope handlers;
  XUnmapWindow(display_->xDisplay(), window_);
  XFlush(display_->xDisplay());
}

// The old picture stays in the top left corner until the owner redraws.
void X11Window::adoptSize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return;
  cairo_surface_t* fresh = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  copySurface(back_, fresh);
  cairo_surface_destroy(back_);
  back_ = fresh;
  width_ = width;
  height_ = height;
}

void X11Window::handle(XEvent& event) {
  InputEvent out;
  switch (event.type) {
    case Expose: {
      const XExposeEvent& area = event.xexpose;
      present(area.x, area.y, area.width, area.height);
      out = {.type = InputEvent::Type::kExpose,
             .x = area.x,
             .y = area.y,
             .width = area.width,
             .height = area.height};
      break;
    }
    case ConfigureNotify: {
      const int32_t width = clampSide(event.xconfigure.width);
      const int32_t height = clampSide(event.xconfigure.height);
      if (width == width_ && height == height_) return;
      adoptSize(width, height);
      out = {.type = InputEvent::Type::kResize, .width = width, .height = height};
      break;
    }
    case ButtonPress:
    case ButtonRelease: {
      const XButtonEvent& button = event.xbutton;
      const bool press = event.type == ButtonPress;
      out = {.x = button.x, .y = button.y, .modifiers = modifiersOf(button.state)};
      if (button.button == Button4 || button.button == Button5) {
        if (!press) return;  // a wheel step is one press; its release says nothing
        out.type = InputEvent::Type::kWheel;
        out.wheel = button.button == Button4 ? 1 : -1;
      } else if (button.button >= Button1 && button.button <= Button3) {
        out.type = press ? InputEvent::Type::kButtonPress : InputEvent::Type::kButtonRelease;
        out.button = static_cast<int32_t>(button.button);
      } else {
        return;
      }
      break;
    }
    case MotionNotify:
      out = {.type = InputEvent::Type::kMotion,
             .x = event.xmotion.x,
             .y = event.xmotion.y,
             .modifiers = modifiersOf(event.xmotion.state)};
      break;
    case KeyPress:
    case KeyRelease:
      out = {.type = event.type == KeyPress ? InputEvent::Type::kKeyPress
                                            : InputEvent::Type::kKeyRelease,
             .modifiers = modifiersOf(event.xkey.state)};
      translateKey(event.xkey, out);
      break;
    case ClientMessage:
      if (event.xclient.message_type != display_->atom("WM_PROTOCOLS") ||
          static_cast<Atom>(event.xclient.data.l[0]) != display_->atom("WM_DELETE_WINDOW"))
        return;
      out.type = InputEvent::Type::kClose;
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window != window_) return;
      gone_ = true;
      display_->detach(window_);
      out.type = InputEvent::Type::kDestroyed;
      break;
    default:
      return;
  }
  deliver(out);
}

// A copy of the handler runs, so that it may destroy this window.
void X11Window::deliver(const InputEvent& event) {
  const auto handler = onEvent;
  if (handler) handler(event);
}

}  // namespace platform
