// Draws the pictures of korvsetup from the shapes below:
//
//   gear.bmp        67 x 67, 24 bit: the blue gear at the top left of the
//                   installer window (bitmap 112)
//   connection.bmp  490 x 122, 8 bit with a palette: a receipt printer joined
//                   by a USB cable to a laptop, as a line drawing (bitmap
//                   113), shown while no printer is connected. The drawing
//                   has about 200 colors (its few inks and their anti-aliased
//                   edges), so a palette holds it without loss at a third of
//                   the size of 24-bit pixels, and the picture is the bulk of
//                   the shipped executable's resources
//   korvsetup.ico   16, 32 and 48 px, 32 bit with alpha: a printer with a blue
//                   gear (icon 102)
//
// Every picture is a list of shapes (disks, rings, rounded boxes, polygons,
// strokes along lines and curves) in pixel coordinates, y down. Each pixel is
// sampled 8 x 8 times, which gives the edges their anti-aliasing.
//
// Usage:
//   korv_artwork --out <dir>     write the three files into <dir>
//   korv_artwork --check <dir>   compare the files in <dir> with what this
//                                program draws; exit 1 when they differ
//
// The pictures in app/res/art are this program's output; after changing a
// shape, run `korv_artwork --out app/res/art` (build target korv_art_update).
//
// Standard C++ only, so that any host compiler builds it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Canvas and shapes

struct Color {
  double r, g, b;
};

constexpr Color Rgb(int hex) {
  return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0};
}

// Palette shared by the pictures.
constexpr Color kWhite = Rgb(0xFFFFFF);
constexpr Color kInk = Rgb(0x2F3A48);        // lines of the drawing
constexpr Color kSoftInk = Rgb(0x8A96A6);    // printed lines on paper, details
constexpr Color kBlue = Rgb(0x1C6ED8);       // gear, cable, accents
constexpr Color kDarkBlue = Rgb(0x1553A8);   // shading of the gear
constexpr Color kLightBlue = Rgb(0xE3EEFB);  // laptop display
constexpr Color kBodyGray = Rgb(0xF1F3F6);   // faint fill of the devices
constexpr Color kIconBody = Rgb(0xD9DEE5);   // printer body of the icon
constexpr Color kIconShade = Rgb(0xB4BCC8);

struct Point {
  double x, y;
};

struct Box {
  double x0, y0, x1, y1;
};

// Inside test of a shape at a point.
using Inside = std::function<bool(double, double)>;

struct Shape {
  Box box;  // everything inside lies in this box
  Inside inside;
};

class Canvas {
 public:
  // A canvas filled with a color (alpha 1) or, without one, transparent.
  Canvas(int width, int height) : w_(width), h_(height), px_(Size(), {0, 0, 0, 0}) {}
  Canvas(int width, int height, Color background)
      : w_(width), h_(height), px_(Size(), {background.r, background.g, background.b, 1}) {}

  int Width() const { return w_; }
  int Height() const { return h_; }

  // Paints the shape in a color with the given opacity.
  void Fill(const Shape& shape, Color color, double opacity = 1.0) {
    Fill(shape, [color](double, double) { return color; }, opacity);
  }

  // Paints the shape with a color that depends on the place (a gradient).
  void Fill(const Shape& shape, const std::function<Color(double, double)>& color,
            double opacity = 1.0) {
    constexpr int kSamples = 8;
    const int xa = std::max(0, static_cast<int>(std::floor(shape.box.x0)));
    const int ya = std::max(0, static_cast<int>(std::floor(shape.box.y0)));
    const int xb = std::min(w_ - 1, static_cast<int>(std::ceil(shape.box.x1)));
    const int yb = std::min(h_ - 1, static_cast<int>(std::ceil(shape.box.y1)));
    for (int y = ya; y <= yb; ++y) {
      for (int x = xa; x <= xb; ++x) {
        int hits = 0;
        for (int sy = 0; sy < kSamples; ++sy) {
          for (int sx = 0; sx < kSamples; ++sx) {
            if (shape.inside(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples)) ++hits;
          }
        }
        if (hits > 0) Blend(x, y, color(x + 0.5, y + 0.5), opacity * hits / (kSamples * kSamples));
      }
    }
  }

  // 8-bit channels of a pixel: r, g, b, a.
  void Pixel(int x, int y, std::uint8_t out[4]) const {
    const Px& p = px_[Index(x, y)];
    out[0] = Byte(p.r);
    out[1] = Byte(p.g);
    out[2] = Byte(p.b);
    out[3] = Byte(p.a);
  }

 private:
  struct Px {
    double r, g, b, a;  // straight (not premultiplied) color
  };

  std::size_t Size() const { return static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_); }
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(w_) + static_cast<std::size_t>(x);
  }
  static std::uint8_t Byte(double v) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
  }

  void Blend(int x, int y, Color c, double coverage) {
    Px& p = px_[Index(x, y)];
    const double a = coverage + p.a * (1 - coverage);
    if (a <= 0) return;
    const double keep = p.a * (1 - coverage);
    p.r = (c.r * coverage + p.r * keep) / a;
    p.g = (c.g * coverage + p.g * keep) / a;
    p.b = (c.b * coverage + p.b * keep) / a;
    p.a = a;
  }

  int w_, h_;
  std::vector<Px> px_;
};

double Distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

double DistanceToSegment(double x, double y, Point a, Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(x - (a.x + t * dx), y - (a.y + t * dy));
}

// Signed distance to a box with rounded corners: negative inside.
double RoundBoxDistance(double x, double y, Box b, double radius) {
  const double cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
  const double hx = (b.x1 - b.x0) / 2 - radius, hy = (b.y1 - b.y0) / 2 - radius;
  const double qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

Box Grow(Box b, double by) { return {b.x0 - by, b.y0 - by, b.x1 + by, b.y1 + by}; }

Box BoundsOf(const std::vector<Point>& points) {
  Box b{points[0].x, points[0].y, points[0].x, points[0].y};
  for (const Point& p : points) {
    b.x0 = std::min(b.x0, p.x);
    b.y0 = std::min(b.y0, p.y);
    b.x1 = std::max(b.x1, p.x);
    b.y1 = std::max(b.y1, p.y);
  }
  return b;
}

Shape Disk(Point c, double r) {
  return {{c.x - r, c.y - r, c.x + r, c.y + r},
          [=](double x, double y) { return Distance({x, y}, c) <= r; }};
}

Shape Ring(Point c, double r, double width) {
  const double outer = r + width / 2;
  return {{c.x - outer, c.y - outer, c.x + outer, c.y + outer},
          [=](double x, double y) { return std::abs(Distance({x, y}, c) - r) <= width / 2; }};
}

Shape RoundBox(Box b, double radius) {
  return {b, [=](double x, double y) { return RoundBoxDistance(x, y, b, radius) <= 0; }};
}

// The outline of a rounded box, centred on its edge.
Shape RoundBoxOutline(Box b, double radius, double width) {
  return {Grow(b, width / 2), [=](double x, double y) {
            return std::abs(RoundBoxDistance(x, y, b, radius)) <= width / 2;
          }};
}

// A stroke of the given width along connected line segments, round ends.
Shape Stroke(std::vector<Point> points, double width) {
  const Box box = Grow(BoundsOf(points), width / 2);
  return {box, [points = std::move(points), width](double x, double y) {
            for (std::size_t i = 0; i + 1 < points.size(); ++i) {
              if (DistanceToSegment(x, y, points[i], points[i + 1]) <= width / 2) return true;
            }
            return points.size() == 1 && Distance({x, y}, points[0]) <= width / 2;
          }};
}

Shape Line(Point a, Point b, double width) { return Stroke({a, b}, width); }

// Filled polygon (even-odd rule).
Shape Polygon(std::vector<Point> points) {
  const Box box = BoundsOf(points);
  return {box, [points = std::move(points)](double x, double y) {
            bool in = false;
            for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
              const Point& a = points[i];
              const Point& b = points[j];
              if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) {
                in = !in;
              }
            }
            return in;
          }};
}

// The closed outline of a polygon.
Shape PolygonOutline(std::vector<Point> points, double width) {
  points.push_back(points.front());
  return Stroke(std::move(points), width);
}

std::vector<Point> CubicCurve(Point p0, Point p1, Point p2, Point p3, int steps = 64) {
  std::vector<Point> out;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps, u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    out.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
  }
  return out;
}

// Vertical gradient from `top` at y0 to `bottom` at y1.
std::function<Color(double, double)> Gradient(Color top, Color bottom, double y0, double y1) {
  return [=](double, double y) {
    const double t = std::clamp((y - y0) / (y1 - y0), 0.0, 1.0);
    return Color{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                 top.b + (bottom.b - top.b) * t};
  };
}

Shape Only(Shape a, Box clip) {
  Box box{std::max(a.box.x0, clip.x0), std::max(a.box.y0, clip.y0), std::min(a.box.x1, clip.x1),
          std::min(a.box.y1, clip.y1)};
  return {box, [a = std::move(a.inside), clip](double x, double y) {
            return x >= clip.x0 && x <= clip.x1 && y >= clip.y0 && y <= clip.y1 && a(x, y);
          }};
}

// A gear wheel: `teeth` trapezoid teeth between the root and the outer
// radius, around a round hole.
Shape Gear(Point c, double outer, double root, double hole, int teeth, double turn = 0) {
  const double period = 2 * kPi / teeth;
  const double topHalf = period * 0.20;   // half width of a tooth at its tip
  const double baseHalf = period * 0.30;  // ... and at its foot
  return {{c.x - outer, c.y - outer, c.x + outer, c.y + outer}, [=](double x, double y) {
            const double r = Distance({x, y}, c);
            if (r <= hole || r > outer) return false;
            if (r <= root) return true;
            double phase = std::fmod(std::atan2(y - c.y, x - c.x) - turn + 4 * kPi, period);
            const double offCentre = std::abs(phase - period / 2);
            const double allowed = baseHalf + (topHalf - baseHalf) * (r - root) / (outer - root);
            return offCentre <= allowed;
          }};
}

// ---------------------------------------------------------------------------
// Bitmap 112: the gear.

Canvas DrawGearPicture() {
  Canvas canvas(67, 67, kWhite);
  const Point c{33.5, 33.5};
  // Lit from above: the wheel darkens towards the bottom.
  canvas.Fill(Gear(c, 31, 24.5, 9.5, 10, kPi / 10), Gradient(kBlue, kDarkBlue, 8, 64));
  canvas.Fill(Ring(c, 17, 2.2), kWhite, 0.9);
  return canvas;
}

// ---------------------------------------------------------------------------
// Bitmap 113: receipt printer, USB cable, laptop.

void DrawReceiptPrinter(Canvas& canvas) {
  const double w = 2.0;  // line width of the drawing
  // The receipt, coming out of the slot in the lid, with a torn top edge.
  std::vector<Point> paper{{68, 50}, {68, 14}};
  for (int i = 1; i <= 16; ++i) paper.push_back({68 + i * 4.25, i % 2 == 1 ? 10.0 : 14.0});
  paper.push_back({136, 50});
  canvas.Fill(Polygon(paper), kWhite);
  canvas.Fill(Stroke(paper, w), kInk);
  // Printed lines and a barcode on the receipt.
  for (int i = 0; i < 3; ++i) {
    const double y = 22 + i * 6;
    canvas.Fill(Line({78, y}, {i == 1 ? 112.0 : 126.0, y}, 1.6), kSoftInk);
  }
  for (int i = 0; i < 13; ++i) {
    const double x = 80 + i * 3.4;
    const double bar = (i % 3 == 0) ? 1.8 : 1.0;
    canvas.Fill(Line({x, 41}, {x, 46}, bar), kSoftInk);
  }

  // Lid with the paper slot.
  const Box lid{36, 46, 168, 68};
  canvas.Fill(RoundBox(lid, 9), kBodyGray);
  canvas.Fill(RoundBoxOutline(lid, 9, w), kInk);
  canvas.Fill(Line({60, 51.5}, {144, 51.5}, 3.0), kInk);
  // Body, drawn over the lower part of the lid.
  const Box body{30, 64, 174, 110};
  canvas.Fill(RoundBox(body, 7), kBodyGray);
  canvas.Fill(RoundBoxOutline(body, 7, w), kInk);
  // Front: status light, feed button, cover release and a vent.
  canvas.Fill(Disk({47, 86}, 3.4), kBlue);
  canvas.Fill(RoundBoxOutline({56, 82, 78, 90}, 4, 1.6), kInk);
  canvas.Fill(Line({30, 74}, {174, 74}, 1.4), kSoftInk);
  for (int i = 0; i < 4; ++i) {
    const double x = 130 + i * 8;
    canvas.Fill(Line({x, 84}, {x, 100}, 1.6), kSoftInk);
  }
  // Feet.
  canvas.Fill(RoundBox({40, 109, 56, 114}, 2), kInk);
  canvas.Fill(RoundBox({148, 109, 164, 114}, 2), kInk);
}

void DrawLaptop(Canvas& canvas) {
  const double w = 2.0;
  // Screen: lid, display and a small installer window with a progress bar.
  const Box lid{354, 12, 452, 86};
  canvas.Fill(RoundBox(lid, 6), kBodyGray);
  canvas.Fill(RoundBoxOutline(lid, 6, w), kInk);
  const Box display{361, 19, 445, 80};
  canvas.Fill(RoundBox(display, 2), kLightBlue);
  canvas.Fill(RoundBoxOutline(display, 2, 1.4), kInk);
  const Box window{377, 33, 429, 66};
  canvas.Fill(RoundBox(window, 2), kWhite);
  canvas.Fill(RoundBoxOutline(window, 2, 1.2), kSoftInk);
  canvas.Fill(RoundBox({377, 33, 429, 39}, 1), kBlue, 0.85);
  canvas.Fill(Gear({385.5, 48}, 5.2, 4.0, 1.4, 8), kBlue);
  canvas.Fill(Line({394, 46}, {421, 46}, 1.4), kSoftInk);
  canvas.Fill(Line({394, 50}, {413, 50}, 1.4), kSoftInk);
  canvas.Fill(RoundBoxOutline({383, 56, 423, 61}, 2.5, 1.0), kSoftInk);
  canvas.Fill(RoundBox({383, 56, 408, 61}, 2.5), kBlue);
  canvas.Fill(Disk({403, 15.5}, 1.2), kSoftInk);  // camera

  // Base, seen from the front: a flat trapezoid with the hinge and the
  // touchpad notch.
  const std::vector<Point> base{{346, 88}, {460, 88}, {476, 103}, {330, 103}};
  canvas.Fill(Polygon(base), kBodyGray);
  canvas.Fill(PolygonOutline(base, w), kInk);
  canvas.Fill(Line({338, 96}, {468, 96}, 1.2), kSoftInk);
  canvas.Fill(Line({388, 99.5}, {418, 99.5}, 1.6), kInk);
  canvas.Fill(RoundBox({334, 103, 472, 107}, 2), kInk);
}

void DrawUsbCable(Canvas& canvas) {
  // USB-B plug in the printer's side.
  canvas.Fill(RoundBox({174, 89, 188, 103}, 2), kInk);
  canvas.Fill(RoundBox({188, 91.5, 196, 100.5}, 2), kInk);
  // The cable hangs down between the two devices.
  canvas.Fill(Stroke(CubicCurve({196, 96}, {246, 126}, {282, 122}, {318, 97}), 3.0), kBlue);
  // USB-A plug in the laptop's side.
  canvas.Fill(RoundBox({316, 92.5, 324, 101.5}, 2), kInk);
  canvas.Fill(RoundBox({323, 91, 337, 103}, 1.5), kInk);
  canvas.Fill(RoundBoxOutline({337, 93, 343, 101}, 0.5, 1.2), kInk);

  // USB symbol above the cable.
  const double y = 66;
  canvas.Fill(Disk({231, y}, 4.5), kBlue);
  canvas.Fill(Line({231, y}, {273, y}, 2.6), kBlue);
  canvas.Fill(Polygon({{270, y - 5.5}, {281, y}, {270, y + 5.5}}), kBlue);
  canvas.Fill(Stroke({{242, y}, {250, y - 9}, {260, y - 9}}, 2.4), kBlue);
  canvas.Fill(Disk({262, y - 9}, 3.2), kBlue);
  canvas.Fill(Stroke({{248, y}, {256, y + 9}, {264, y + 9}}, 2.4), kBlue);
  canvas.Fill(RoundBox({263, y + 5.8, 269.4, y + 12.2}, 0.6), kBlue);
}

Canvas DrawConnectionPicture() {
  Canvas canvas(490, 122, kWhite);
  DrawReceiptPrinter(canvas);
  DrawUsbCable(canvas);
  DrawLaptop(canvas);
  return canvas;
}

// ---------------------------------------------------------------------------
// Icon 102: a printer with a blue gear, on a transparent background. Drawn
// on a 48-unit grid and scaled; small sizes get relatively thicker lines.

Canvas DrawIcon(int size) {
  Canvas canvas(size, size);
  const double s = size / 48.0;
  const double line = std::max(1.0, 2.0 * s) / s;  // at least one pixel wide
  auto S = [s](Box b) { return Box{b.x0 * s, b.y0 * s, b.x1 * s, b.y1 * s}; };
  auto P = [s](Point p) { return Point{p.x * s, p.y * s}; };

  // Paper in the input tray behind the printer.
  const Box sheet{13, 3, 35, 20};
  canvas.Fill(RoundBox(S(sheet), 1.5 * s), kWhite);
  canvas.Fill(RoundBoxOutline(S(sheet), 1.5 * s, line * s), kInk);
  if (size >= 32) {
    canvas.Fill(Line(P({17, 9}), P({31, 9}), 1.5 * s), kSoftInk);
    canvas.Fill(Line(P({17, 13}), P({27, 13}), 1.5 * s), kSoftInk);
  }
  // Body.
  const Box body{3, 17, 45, 37};
  canvas.Fill(RoundBox(S(body), 4 * s), kIconBody);
  canvas.Fill(Only(RoundBox(S(body), 4 * s), S({0, 30, 48, 48})), kIconShade);
  canvas.Fill(RoundBoxOutline(S(body), 4 * s, line * s), kInk);
  // Output slot with the printed sheet coming out at the front.
  const Box out{11, 30, 37, 44};
  canvas.Fill(RoundBox(S(out), 1 * s), kWhite);
  canvas.Fill(RoundBoxOutline(S(out), 1 * s, line * s), kInk);
  if (size >= 32) canvas.Fill(Line(P({15, 37}), P({29, 37}), 1.5 * s), kSoftInk);
  canvas.Fill(Disk(P({9, 23}), 2 * s), kBlue);

  // Gear over the bottom right corner, with a white rim so that it stands
  // apart from the printer.
  const Point c = P({36, 36});
  canvas.Fill(Gear(c, 12.5 * s, 9.6 * s, 0, 8, kPi / 8), kWhite);
  canvas.Fill(Disk(c, 10.8 * s), kWhite);
  canvas.Fill(Gear(c, 11 * s, 8.2 * s, 3.2 * s, 8, kPi / 8), kBlue);
  return canvas;
}

// ---------------------------------------------------------------------------
// Files

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// BITMAPINFOHEADER.
void PutInfoHeader(Bytes& b, int width, int height, unsigned bits, std::uint32_t imageSize,
                   std::uint32_t paletteSize = 0) {
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(width));
  Put32(b, static_cast<std::uint32_t>(height));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, 0);  // BI_RGB
  Put32(b, imageSize);
  Put32(b, 3780);  // 96 dpi
  Put32(b, 3780);
  Put32(b, paletteSize);
  Put32(b, 0);
}

// A 24-bit bottom-up BMP file.
Bytes Bmp24(const Canvas& canvas) {
  const int w = canvas.Width(), h = canvas.Height();
  const std::uint32_t stride = static_cast<std::uint32_t>((w * 3 + 3) & ~3);
  const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(h);
  Bytes b;
  b.push_back('B');
  b.push_back('M');
  Put32(b, 14 + 40 + imageSize);
  Put32(b, 0);
  Put32(b, 14 + 40);
  PutInfoHeader(b, w, h, 24, imageSize);
  for (int y = h - 1; y >= 0; --y) {
    std::size_t row = b.size();
    for (int x = 0; x < w; ++x) {
      std::uint8_t p[4];
      canvas.Pixel(x, y, p);
      b.push_back(p[2]);
      b.push_back(p[1]);
      b.push_back(p[0]);
    }
    while (b.size() - row < stride) b.push_back(0);
  }
  return b;
}

// An 8-bit bottom-up BMP file whose palette holds every color of the canvas
// exactly (sorted, padded to 256 entries so that the headers do not depend on
// the count). A canvas with more colors than that is a drawing error: the
// program stops rather than write a lossy picture.
Bytes Bmp8(const Canvas& canvas) {
  const int w = canvas.Width(), h = canvas.Height();
  std::vector<std::uint32_t> colors;
  auto rgb = [&canvas](int x, int y) {
    std::uint8_t p[4];
    canvas.Pixel(x, y, p);
    return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) colors.push_back(rgb(x, y));
  }
  std::sort(colors.begin(), colors.end());
  colors.erase(std::unique(colors.begin(), colors.end()), colors.end());
  if (colors.size() > 256) {
    std::fprintf(stderr, "a picture has %zu colors, more than an 8-bit palette holds\n", colors.size());
    std::exit(2);
  }
  const std::size_t used = colors.size();
  colors.resize(256, 0);
  const std::uint32_t stride = static_cast<std::uint32_t>((w + 3) & ~3);
  const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(h);
  const std::uint32_t bitsOffset = 14 + 40 + 256 * 4;
  Bytes b;
  b.push_back('B');
  b.push_back('M');
  Put32(b, bitsOffset + imageSize);
  Put32(b, 0);
  Put32(b, bitsOffset);
  PutInfoHeader(b, w, h, 8, imageSize, 256);
  for (std::uint32_t c : colors) Put32(b, c);  // blue, green, red, 0
  for (int y = h - 1; y >= 0; --y) {
    std::size_t row = b.size();
    for (int x = 0; x < w; ++x) {
      const auto at = std::lower_bound(colors.begin(), colors.begin() + static_cast<std::ptrdiff_t>(used), rgb(x, y));
      b.push_back(static_cast<std::uint8_t>(at - colors.begin()));
    }
    while (b.size() - row < stride) b.push_back(0);
  }
  return b;
}

// An icon file with 32-bit images (alpha) and their transparency masks.
Bytes Ico(const std::vector<Canvas>& images) {
  std::vector<Bytes> data;
  for (const Canvas& c : images) {
    const int n = c.Width();
    const std::uint32_t maskStride = static_cast<std::uint32_t>(((n + 31) / 32) * 4);
    Bytes d;
    PutInfoHeader(d, n, 2 * n, 32, 0);
    for (int y = n - 1; y >= 0; --y) {
      for (int x = 0; x < n; ++x) {
        std::uint8_t p[4];
        c.Pixel(x, y, p);
        d.insert(d.end(), {p[2], p[1], p[0], p[3]});
      }
    }
    for (int y = n - 1; y >= 0; --y) {
      Bytes row(maskStride, 0);
      for (int x = 0; x < n; ++x) {
        std::uint8_t p[4];
        c.Pixel(x, y, p);
        if (p[3] == 0) row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
      d.insert(d.end(), row.begin(), row.end());
    }
    data.push_back(std::move(d));
  }
  Bytes b;
  Put16(b, 0);
  Put16(b, 1);  // icon
  Put16(b, static_cast<unsigned>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const int n = images[i].Width();
    b.push_back(static_cast<std::uint8_t>(n >= 256 ? 0 : n));
    b.push_back(static_cast<std::uint8_t>(n >= 256 ? 0 : n));
    b.push_back(0);  // no palette
    b.push_back(0);
    Put16(b, 1);   // planes
    Put16(b, 32);  // bits per pixel
    Put32(b, static_cast<std::uint32_t>(data[i].size()));
    Put32(b, offset);
    offset += static_cast<std::uint32_t>(data[i].size());
  }
  for (const Bytes& d : data) b.insert(b.end(), d.begin(), d.end());
  return b;
}

struct Picture {
  const char* name;
  Bytes bytes;
  // Bytes at these [begin, end) ranges are headers and must match exactly;
  // elsewhere a pixel channel may differ by one or two steps (a different
  // maths library may round an edge differently).
  std::vector<std::pair<std::size_t, std::size_t>> exact;
  bool paletted = false;  // an 8-bit BMP file from Bmp8
};

std::vector<Picture> DrawAll() {
  std::vector<Picture> out;
  out.push_back({"gear.bmp", Bmp24(DrawGearPicture()), {{0, 54}}});
  out.push_back({"connection.bmp", Bmp8(DrawConnectionPicture()), {{0, 54}}, true});
  Bytes ico = Ico({DrawIcon(16), DrawIcon(32), DrawIcon(48)});
  std::vector<std::pair<std::size_t, std::size_t>> headers{{0, 6 + 16 * 3}};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t at = 6 + 16 * i + 12;
    const std::size_t offset = ico[at] | (ico[at + 1] << 8) | (ico[at + 2] << 16);
    headers.push_back({offset, offset + 40});
  }
  out.push_back({"korvsetup.ico", std::move(ico), std::move(headers)});
  return out;
}

bool ReadFile(const std::string& path, Bytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// The pixels of an 8-bit BMP file as blue, green, red triples, looked up in
// its palette; empty when the file is too short for its headers.
Bytes PaletteColors(const Bytes& bmp) {
  if (bmp.size() < 14 + 40 + 256 * 4) return {};
  Bytes out;
  for (std::size_t i = 14 + 40 + 256 * 4; i < bmp.size(); ++i) {
    const std::size_t entry = 14 + 40 + 4 * std::size_t{bmp[i]};
    out.insert(out.end(), {bmp[entry], bmp[entry + 1], bmp[entry + 2]});
  }
  return out;
}

// Empty when the file matches the picture, else what differs.
std::string Compare(const Picture& picture, const Bytes& file) {
  if (picture.paletted && file.size() == picture.bytes.size()) {
    // The palette and the indices follow from the exact set of colors, which
    // a different rounding may change: compare the colors the pixels show.
    Picture shown{picture.name, PaletteColors(picture.bytes), {}, false};
    if (!std::equal(file.begin(), file.begin() + 54, picture.bytes.begin())) return "header differs";
    return Compare(shown, PaletteColors(file));
  }
  if (file.size() != picture.bytes.size()) {
    return "size " + std::to_string(file.size()) + ", expected " + std::to_string(picture.bytes.size());
  }
  for (std::size_t i = 0; i < file.size(); ++i) {
    bool header = false;
    for (const auto& [begin, end] : picture.exact) header = header || (i >= begin && i < end);
    const int diff = std::abs(int{file[i]} - int{picture.bytes[i]});
    if ((header && diff != 0) || diff > 2) return "byte " + std::to_string(i) + " differs";
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "--out") != 0 && std::strcmp(argv[1], "--check") != 0)) {
    std::fprintf(stderr, "usage: %s --out <dir> | --check <dir>\n", argv[0]);
    return 2;
  }
  const bool check = std::strcmp(argv[1], "--check") == 0;
  const std::string dir = argv[2];
  int failures = 0;
  for (const Picture& picture : DrawAll()) {
    const std::string path = dir + "/" + picture.name;
    if (check) {
      Bytes file;
      std::string problem = ReadFile(path, file) ? Compare(picture, file) : "cannot read it";
      if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s; redraw with korv_artwork --out %s\n", path.c_str(), problem.c_str(),
                     dir.c_str());
        ++failures;
      }
    } else if (!WriteFile(path, picture.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      ++failures;
    }
  }
  if (check && failures == 0) std::printf("%s: pictures are up to date\n", dir.c_str());
  return failures == 0 ? 0 : 1;
}
