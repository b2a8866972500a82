// The three graph views: window classes, placement and painting.
#include "ui/views.h"

#include <cstdint>

#include "editor/views.h"
#include "resources/resource.h"
#include "ui/app.h"

namespace plimbar {

const char kWaveViewClass[] = "WaveWnd";
const char kVolumeViewClass[] = "VolWnd";
const char kPitchViewClass[] = "PitchWnd";

namespace {

// Black and RGB(0, 255, 0) as the pixels of a 32-bit DIB (0x00RRGGBB).
constexpr ViewColours kColours = {0x00000000u, 0x0000FF00u};

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

// A 32-bit top-down DIB section a view's picture is drawn into, kept
// between paints and made again only when the view's size changes.
struct Canvas {
  HBITMAP bitmap = nullptr;
  uint32_t* pixels = nullptr;
  int w = 0;
  int h = 0;
};
Canvas g_canvases[3];  // the waveform, volume and pitch views'

bool Prepare(Canvas& c, HDC reference, int w, int h) {
  if (c.bitmap != nullptr && c.w == w && c.h == h) return true;
  if (c.bitmap != nullptr) DeleteObject(c.bitmap);
  c = Canvas();
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down: row 0 first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(reference, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return false;
  c.bitmap = bitmap;
  c.pixels = static_cast<uint32_t*>(bits);
  c.w = w;
  c.h = h;
  return true;
}

enum ViewKind { kWave, kVolume, kPitch };

// Draws the view's picture into its canvas and copies it with one BitBlt.
LRESULT PaintView(HWND hwnd, ViewKind kind) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  Canvas& c = g_canvases[kind];
  if (rc.right > 0 && rc.bottom > 0 && Prepare(c, hdc, rc.right, rc.bottom)) {
    GdiFlush();  // the bitmap may still be in use by the last BitBlt
    if (kind == kWave) {
      DrawWaveView(g_session, c.w, c.h, c.pixels, kColours);
    } else {
      DrawCurveView(g_session, kind == kPitch ? kPitchCurve : kVolumeCurve, c.w, c.h, c.pixels,
                    kColours);
    }
    HDC mem = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mem, c.bitmap);
    BitBlt(hdc, 0, 0, c.w, c.h, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
  }
  EndPaint(hwnd, &ps);
  return 0;
}

}  // namespace

bool RegisterViewClasses(HINSTANCE instance) {
  return RegisterViewClass(instance, kWaveViewClass, WaveWndProc) &&
         RegisterViewClass(instance, kVolumeViewClass, VolWndProc) &&
         RegisterViewClass(instance, kPitchViewClass, PitchWndProc);
}

LRESULT CALLBACK WaveWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) return PaintView(hwnd, kWave);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK VolWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) return PaintView(hwnd, kVolume);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK PitchWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) return PaintView(hwnd, kPitch);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void FitViewToFrame(HWND dialog, int frameId, HWND view) {
  RECT rc;
  if (!GetClientRect(GetDlgItem(dialog, frameId), &rc)) return;
  MoveWindow(view, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

void PlaceViews(HWND dialog) {
  FitViewToFrame(dialog, IDC_WAVE_FRAME, g_waveView);
  FitViewToFrame(dialog, IDC_PITCH_FRAME, g_pitchView);
  FitViewToFrame(dialog, IDC_VOLUME_FRAME, g_volumeView);
}

}  // namespace plimbar
