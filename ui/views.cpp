// The three graph views: window classes, placement and painting.
#include "ui/views.h"

#include <cstring>

#include "resources/resource.h"
#include "ui/app.h"

namespace plimbar {

const char kWaveViewClass[] = "WaveWnd";
const char kVolumeViewClass[] = "VolWnd";
const char kPitchViewClass[] = "PitchWnd";

namespace {

constexpr uint32_t kGreenPixel = 0x0000FF00;  // 0x00RRGGBB of kViewGreen

bool RegisterViewClass(HINSTANCE instance, const char* name, WNDPROC proc) {
  WNDCLASSA wc = {};
  wc.style = 0;
  wc.lpfnWndProc = proc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  // The program has no icon of this id, so the views get none; a child
  // window shows no icon anyway.
  wc.hIcon = LoadIconA(instance, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = name;
  return RegisterClassA(&wc) != 0;
}

// A 32-bit top-down DIB section the waveform is drawn into, kept between
// paints and made again only when the view's size changes.
struct WaveCanvas {
  HBITMAP bitmap = nullptr;
  uint32_t* pixels = nullptr;
  int w = 0;
  int h = 0;
};
WaveCanvas g_canvas;  // the waveform view's drawing surface

bool PrepareCanvas(HDC reference, int w, int h) {
  if (g_canvas.bitmap != nullptr && g_canvas.w == w && g_canvas.h == h)
    return true;
  if (g_canvas.bitmap != nullptr) DeleteObject(g_canvas.bitmap);
  g_canvas = WaveCanvas();
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down: row 0 first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(reference, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return false;
  g_canvas.bitmap = bitmap;
  g_canvas.pixels = static_cast<uint32_t*>(bits);
  g_canvas.w = w;
  g_canvas.h = h;
  return true;
}

LRESULT PaintView(HWND hwnd, void (*paint)(HDC, const RECT&)) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  paint(hdc, rc);
  EndPaint(hwnd, &ps);
  return 0;
}

void PaintWaveView(HDC hdc, const RECT& rc) {
  PaintWaveform(hdc, rc.right, rc.bottom, g_engine);
}

void PaintPitchView(HDC hdc, const RECT& rc) {
  PaintCurve(hdc, rc, g_engine.pitchTable + g_currentOsc * kCurvePoints);
}

void PaintVolumeView(HDC hdc, const RECT& rc) {
  PaintCurve(hdc, rc, g_engine.volumeTable + g_currentOsc * kCurvePoints);
}

}  // namespace

bool RegisterViewClasses(HINSTANCE instance) {
  return RegisterViewClass(instance, kWaveViewClass, WaveWndProc) &&
         RegisterViewClass(instance, kVolumeViewClass, VolWndProc) &&
         RegisterViewClass(instance, kPitchViewClass, PitchWndProc);
}

LRESULT CALLBACK WaveWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) return PaintView(hwnd, PaintWaveView);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK VolWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) return PaintView(hwnd, PaintVolumeView);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK PitchWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) return PaintView(hwnd, PaintPitchView);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void FitViewToFrame(HWND dialog, int frameId, HWND view) {
  RECT rc;
  if (!GetClientRect(GetDlgItem(dialog, frameId), &rc)) return;
  MoveWindow(view, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
             TRUE);
}

void PlaceViews(HWND dialog) {
  FitViewToFrame(dialog, IDC_WAVE_FRAME, g_waveView);
  FitViewToFrame(dialog, IDC_PITCH_FRAME, g_pitchView);
  FitViewToFrame(dialog, IDC_VOLUME_FRAME, g_volumeView);
}

int WaveformPointCount(const Engine& e) {
  switch (e.format.rate) {
    case 44100: return e.patch.soundLength;
    case 22050: return e.patch.soundLength / 2;
    case 11025: return e.patch.soundLength / 4;
    default: return 0;  // no such rate: nothing was mixed
  }
}

int PcmSampleAt(const Engine& e, int i) {
  if (e.format.bits == 16) return e.pcm16[i];
  return (static_cast<int>(e.pcm8[i]) - 128) * 256;
}

void PlotWaveform(const Engine& e, int w, int h, uint32_t* pixels,
                  uint32_t colour) {
  const int n = WaveformPointCount(e);
  if (n <= 0 || n > kMaxSamples || w <= 0 || h <= 0) return;
  for (int i = 0; i < n; ++i) {
    const int s = PcmSampleAt(e, i);
    const int x = static_cast<int>(static_cast<long long>(w) * i / n);
    const int y = h / 2 - static_cast<int>(static_cast<long long>(s) * h / 65536);
    if (x >= 0 && x < w && y >= 0 && y < h)
      pixels[static_cast<size_t>(y) * w + x] = colour;
  }
}

void PaintWaveform(HDC hdc, int w, int h, const Engine& e) {
  if (w <= 0 || h <= 0) return;
  if (!PrepareCanvas(hdc, w, h)) {
    PaintWaveformPerPixel(hdc, w, h, e);  // no memory bitmap: draw directly
    return;
  }
  GdiFlush();  // the bitmap may still be in use by the last BitBlt
  std::memset(g_canvas.pixels, 0, static_cast<size_t>(w) * h * 4);
  PlotWaveform(e, w, h, g_canvas.pixels, kGreenPixel);
  HDC mem = CreateCompatibleDC(hdc);
  HGDIOBJ old = SelectObject(mem, g_canvas.bitmap);
  BitBlt(hdc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}

void PaintWaveformPerPixel(HDC hdc, int w, int h, const Engine& e) {
  RECT rc = {0, 0, w, h};
  FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  const int n = WaveformPointCount(e);
  if (n <= 0 || n > kMaxSamples || w <= 0) return;
  for (int i = 0; i < n; ++i) {
    const int s = PcmSampleAt(e, i);
    const int x = static_cast<int>(static_cast<long long>(w) * i / n);
    const int y = h / 2 - static_cast<int>(static_cast<long long>(s) * h / 65536);
    SetPixel(hdc, x, y, kViewGreen);
  }
}

void PaintCurve(HDC hdc, const RECT& rc, const double* row) {
  HBRUSH green = CreateSolidBrush(kViewGreen);
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  const int w = rc.right;
  for (int x = 0; x < w; ++x) {
    double v = row[(x * kCurvePoints) / w];
    // Any value beyond these fills the column or leaves it black alike.
    if (v > 2.0) v = 2.0;
    if (v < -2.0) v = -2.0;
    const int h = static_cast<int>((rc.bottom - rc.top - 1) * v);
    // The bar's top edge, kept inside the view: a bar taller than the view
    // fills the column, a negative one leaves it black.
    int edge = rc.bottom - h - 1;
    if (edge < rc.top) edge = rc.top;
    if (edge > rc.bottom) edge = rc.bottom;
    RECT above = {x, rc.top, x + 1, edge};
    RECT bar = {x, edge, x + 1, rc.bottom};
    FillRect(hdc, &above, black);
    FillRect(hdc, &bar, green);
  }
  DeleteObject(green);
}

}  // namespace plimbar
