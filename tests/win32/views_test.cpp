// The graph views drawn into memory: the fast waveform paint against one
// SetPixel per sample, and the curve bars against hand-worked heights.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <vector>

#include "engine/engine.h"
#include "ui/views.h"

namespace plimbar {
namespace {

constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlack = 0x000000;

// A memory DC drawing into a w x h 32-bit DIB whose pixels the test reads.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h) {
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&px_),
                            nullptr, 0);
    old_ = SelectObject(dc_, bmp_);
    Fill(0x123456);  // neither colour the views use
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  void Fill(uint32_t v) {
    GdiFlush();
    for (int i = 0; i < w_ * h_; ++i) px_[i] = v;
  }
  uint32_t At(int x, int y) const {
    GdiFlush();
    return px_[y * w_ + x] & 0xFFFFFF;
  }
  std::vector<uint32_t> Pixels() const {
    GdiFlush();
    std::vector<uint32_t> v(px_, px_ + w_ * h_);
    for (uint32_t& p : v) p &= 0xFFFFFF;
    return v;
  }

 private:
  int w_, h_;
  HDC dc_;
  HBITMAP bmp_;
  HGDIOBJ old_;
  uint32_t* px_ = nullptr;
};

std::unique_ptr<Engine> EngineWith(int time, int rate, int bits) {
  std::unique_ptr<Engine> e = NewEngine();
  SetTime(e->patch, time);
  e->format.rate = rate;
  e->format.bits = bits;
  return e;
}

// Fills the PCM buffers with a sweep that visits every level, full scale
// at both ends included.
void FillSweep(Engine& e) {
  uint32_t x = 12345;
  for (int i = 0; i < kMaxSamples; ++i) {
    x = x * 1103515245u + 12345u;
    int s = static_cast<int>((x >> 8) & 0xFFFF) - 32768;
    if (i % 97 == 0) s = 32767;
    if (i % 89 == 0) s = -32768;
    e.pcm16[i] = static_cast<int16_t>(s);
    e.pcm8[i] = static_cast<uint8_t>((s >> 8) + 128);
  }
}

struct PaintCase {
  int time, rate, bits, w, h;
};

void PrintTo(const PaintCase& c, std::ostream* os) {
  *os << "Time " << c.time << ", " << c.rate << " Hz, " << c.bits << " bits, " << c.w << " x "
      << c.h;
}

class WaveformPaint : public testing::TestWithParam<PaintCase> {};

TEST_P(WaveformPaint, MatchesOneSetPixelPerSample) {
  const PaintCase c = GetParam();
  std::unique_ptr<Engine> e = EngineWith(c.time, c.rate, c.bits);
  FillSweep(*e);
  Canvas fast(c.w, c.h), plain(c.w, c.h);
  PaintWaveform(fast.dc(), c.w, c.h, *e);
  PaintWaveformPerPixel(plain.dc(), c.w, c.h, *e);
  EXPECT_EQ(fast.Pixels(), plain.Pixels());
  int green = 0;
  for (uint32_t p : fast.Pixels()) {
    EXPECT_TRUE(p == kGreen || p == kBlack);
    green += p == kGreen;
  }
  EXPECT_GT(green, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WaveformPaint,
    testing::Values(PaintCase{100, 44100, 16, 432, 98}, PaintCase{100, 44100, 8, 432, 98},
                    PaintCase{50, 22050, 16, 433, 97}, PaintCase{50, 22050, 8, 300, 61},
                    PaintCase{1, 11025, 16, 1000, 40}, PaintCase{1, 11025, 8, 999, 41},
                    PaintCase{3, 44100, 16, 7, 5}));

TEST(WaveformView, SilenceIsOneLineOnTheMiddleRow) {
  // 16-bit zeros and 8-bit 128s both sit on row H / 2.
  for (int bits : {16, 8}) {
    std::unique_ptr<Engine> e = EngineWith(50, 44100, bits);
    for (int i = 0; i < kMaxSamples; ++i) e->pcm8[i] = 128;
    Canvas c(300, 60);
    PaintWaveform(c.dc(), 300, 60, *e);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 300; ++x)
        ASSERT_EQ(c.At(x, y), y == 30 ? kGreen : kBlack) << bits << " bits " << x << "," << y;
  }
}

TEST(WaveformView, FewerPointsThanColumnsGiveADottedLine) {
  // Time 1 at 11025 Hz: 882 / 4 = 220 points over 1000 columns; point i
  // lands in column (1000 * i) / 220.
  std::unique_ptr<Engine> e = EngineWith(1, 11025, 16);
  EXPECT_EQ(WaveformPointCount(*e), 220);
  Canvas c(1000, 40);
  PaintWaveform(c.dc(), 1000, 40, *e);
  std::vector<bool> lit(1000, false);
  for (int i = 0; i < 220; ++i) lit[1000 * i / 220] = true;
  for (int x = 0; x < 1000; ++x) ASSERT_EQ(c.At(x, 20), lit[x] ? kGreen : kBlack) << x;
}

TEST(WaveformView, FullScaleSamplesLandOnRowOneAndBelowTheView) {
  // Even H: 32767 goes to row 1 (30 - 983010 / 65536 = 30 - 14 = ... with
  // H = 60: 30 - (32767 * 60) / 65536 = 30 - 29 = 1); -32768 to row 60,
  // outside the view.
  std::unique_ptr<Engine> e = EngineWith(1, 44100, 16);
  for (int i = 0; i < 882; ++i) e->pcm16[i] = i % 2 ? 32767 : -32768;
  Canvas c(100, 60);
  PaintWaveform(c.dc(), 100, 60, *e);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(c.At(x, y), y == 1 ? kGreen : kBlack) << x << "," << y;
  // The same in 8 bits: byte 255 is 32512: 30 - (32512 * 60) / 65536 = 1.
  e->format.bits = 8;
  for (int i = 0; i < 882; ++i) e->pcm8[i] = i % 2 ? 255 : 0;
  Canvas c8(100, 60);
  PaintWaveform(c8.dc(), 100, 60, *e);
  for (int x = 0; x < 100; ++x) EXPECT_EQ(c8.At(x, 1), kGreen) << x;
  EXPECT_EQ(c8.Pixels(), c.Pixels());
}

TEST(WaveformView, PointCountFollowsTheRate) {
  std::unique_ptr<Engine> e = EngineWith(50, 44100, 16);
  EXPECT_EQ(WaveformPointCount(*e), 44100);
  e->format.rate = 22050;
  EXPECT_EQ(WaveformPointCount(*e), 22050);
  e->format.rate = 11025;
  EXPECT_EQ(WaveformPointCount(*e), 11025);
  e->format.rate = 48000;  // only a hand-edited settings file could ask
  EXPECT_EQ(WaveformPointCount(*e), 0);
}

TEST(CurveView, BarsStandOnTheBottomEdge) {
  // A 64 x 11 view: column x shows entry (x * 256) / 64 = 4x; a value v
  // gives a green bar of (11 - 1) * v + 1 pixels, truncated.
  double row[kCurvePoints];
  for (int i = 0; i < kCurvePoints; ++i) row[i] = i / 255.0;
  row[0] = 0.0;     // one pixel
  row[4] = 1.0;     // full column
  row[8] = 3.5;     // above 1: full column
  row[12] = -0.25;  // h = -2: black column
  row[16] = 0.35;   // h = 3 (3.5 truncated)
  RECT rc = {0, 0, 64, 11};
  Canvas c(64, 11);
  PaintCurve(c.dc(), rc, row);
  auto bar = [&](int x) {
    int n = 0;
    for (int y = 0; y < 11; ++y) {
      uint32_t p = c.At(x, y);
      EXPECT_TRUE(p == kGreen || p == kBlack) << x << "," << y;
      if (p == kGreen) {
        ++n;
        EXPECT_TRUE(y == 10 || c.At(x, y + 1) == kGreen) << "bar not on the bottom: " << x;
      }
    }
    return n;
  };
  EXPECT_EQ(bar(0), 1);
  EXPECT_EQ(bar(1), 11);
  EXPECT_EQ(bar(2), 11);
  EXPECT_EQ(bar(3), 0);
  EXPECT_EQ(bar(4), 4);
  for (int x = 5; x < 64; ++x) {
    const int h = static_cast<int>(10 * ((4 * x) / 255.0));
    EXPECT_EQ(bar(x), h + 1) << x;
  }
}

TEST(CurveView, NarrowAndEmptyViews) {
  double row[kCurvePoints];
  for (int i = 0; i < kCurvePoints; ++i) row[i] = i < 128 ? 0.5 : 0.0;
  // Width 3: entries 0, 85, 170.
  Canvas c(3, 21);
  RECT rc = {0, 0, 3, 21};
  PaintCurve(c.dc(), rc, row);
  EXPECT_EQ(c.At(0, 10), kGreen);
  EXPECT_EQ(c.At(0, 9), kBlack);
  EXPECT_EQ(c.At(1, 10), kGreen);
  EXPECT_EQ(c.At(2, 19), kBlack);
  EXPECT_EQ(c.At(2, 20), kGreen);
  // Width 0 draws nothing and does not fail.
  Canvas z(4, 4);
  RECT none = {0, 0, 0, 4};
  PaintCurve(z.dc(), none, row);
  EXPECT_EQ(z.At(0, 0), 0x123456u);
}

// The time of one waveform paint of 88200 points (Time 100, 44100 Hz)
// into a memory bitmap, the plain way and the fast way. A measurement for
// the log, not a pass/fail limit; the window-DC figures come from the
// end-to-end run.
TEST(WaveformView, PaintTimeIntoMemory) {
  std::unique_ptr<Engine> e = EngineWith(100, 44100, 16);
  FillSweep(*e);
  Canvas c(432, 98);
  LARGE_INTEGER f, t0, t1, t2;
  QueryPerformanceFrequency(&f);
  const int reps = 5;
  QueryPerformanceCounter(&t0);
  for (int r = 0; r < reps; ++r) PaintWaveformPerPixel(c.dc(), 432, 98, *e);
  GdiFlush();
  QueryPerformanceCounter(&t1);
  for (int r = 0; r < reps; ++r) PaintWaveform(c.dc(), 432, 98, *e);
  GdiFlush();
  QueryPerformanceCounter(&t2);
  const double perPixel = 1000.0 * (t1.QuadPart - t0.QuadPart) / f.QuadPart / reps;
  const double fast = 1000.0 * (t2.QuadPart - t1.QuadPart) / f.QuadPart / reps;
  std::printf("waveform paint, 88200 points, 432 x 98, memory DC: SetPixel %.2f ms, "
              "memory bitmap %.2f ms\n", perPixel, fast);
  RecordProperty("setpixel_ms", std::to_string(perPixel));
  RecordProperty("bitmap_ms", std::to_string(fast));
}

}  // namespace
}  // namespace plimbar
