// Draws the wizard's left-panel banner (res/banner.bmp, 163 x 278, 24 bpp) and
// the program icon (res/Update.ico, 32 x 32 and 16 x 16, 8 bpp with AND masks).
// Everything is computed from geometry, so the output is byte-for-byte the same
// on every run.
//
// Usage: gen_images <output directory>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
Rgb mix(Rgb a, Rgb b, double t) { return a * (1 - t) + b * t; }

double clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }
double smoothstep(double e0, double e1, double x) {
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::lround(clamp01(v) * 255.0)); }

// Colour plus coverage, the result of one layer at one sample point.
struct Paint {
    Rgb colour;
    double alpha = 0;
};

Rgb over(Rgb below, Paint p) { return mix(below, p.colour, p.alpha); }

// ---------------------------------------------------------------- disc shading

struct Disc {
    double cx, cy, radius;
    double sheenAngle;  // direction of the bright "bow tie" reflection
};

// A compact disc seen from above: silver-blue data area with fine track rings,
// a rainbow-free blue sheen, a clear hub ring and a hole through which the
// background shows.
Paint shadeDisc(const Disc& d, double x, double y) {
    double dx = x - d.cx, dy = y - d.cy;
    double r = std::sqrt(dx * dx + dy * dy) / d.radius;  // 0 at centre, 1 at the rim
    if (r > 1.0 || r < 0.15) return {};
    double angle = std::atan2(dy, dx);

    const Rgb silver{0.78, 0.84, 0.93};
    const Rgb deep{0.36, 0.50, 0.78};
    const Rgb ice{0.90, 0.97, 1.00};
    const Rgb violet{0.60, 0.62, 0.95};

    Rgb c;
    if (r < 0.22) {  // clear plastic around the hole
        c = mix(Rgb{0.62, 0.72, 0.88}, Rgb{0.85, 0.90, 0.98}, (r - 0.15) / 0.07);
        double edge = smoothstep(0.15, 0.165, r);
        return {c, 0.55 + 0.35 * edge};
    }
    if (r < 0.36) {  // stacking ring and mirror band of the hub
        double band = std::fabs(r - 0.30) < 0.012 ? 0.82 : 1.0;
        c = mix(Rgb{0.70, 0.78, 0.92}, Rgb{0.88, 0.93, 1.0}, 0.5 + 0.5 * std::cos(angle * 2 - d.sheenAngle)) * band;
        return {c, 1.0};
    }
    // Data area: base tone darkens outward, sheen peaks along two opposite rays.
    double base = 0.5 + 0.5 * std::cos(2 * (angle - d.sheenAngle));
    double sheen = std::pow(base, 6.0);
    double glow = std::pow(0.5 + 0.5 * std::cos(2 * (angle - d.sheenAngle - kPi / 2)), 10.0);
    c = mix(deep, silver, 0.35 + 0.45 * base);
    c = mix(c, violet, 0.25 * glow * (1 - r));
    c = mix(c, ice, 0.85 * sheen * (0.4 + 0.6 * r));
    double tracks = 0.96 + 0.04 * std::sin(r * 140.0);
    c = c * tracks;
    if (r > 0.975) c = c * 0.72;                   // rim
    if (std::fabs(r - 0.37) < 0.008) c = c * 0.8;  // edge of the data area
    return {c, 1.0};
}

// Soft shadow the disc throws down and to the right.
double discShadow(const Disc& d, double x, double y) {
    double dx = x - d.cx - d.radius * 0.06, dy = y - d.cy - d.radius * 0.09;
    double r = std::sqrt(dx * dx + dy * dy);
    double outside = (r - d.radius) / (d.radius * 0.16);
    double hole = smoothstep(0.2 * d.radius, 0.12 * d.radius, r);
    return 0.45 * (1 - smoothstep(-0.6, 1.0, outside)) * (1 - hole);
}

// ---------------------------------------------------------------- banner

constexpr int kBannerWidth = 163;
constexpr int kBannerHeight = 278;

Rgb bannerBackground(double x, double y) {
    double t = y / kBannerHeight;
    const Rgb top{0.03, 0.10, 0.33};
    const Rgb middle{0.09, 0.29, 0.62};
    const Rgb bottom{0.30, 0.56, 0.84};
    Rgb c = t < 0.55 ? mix(top, middle, t / 0.55) : mix(middle, bottom, (t - 0.55) / 0.45);
    // A glow behind the discs and faint diagonal light streaks.
    double gx = (x - 90) / 120.0, gy = (y - 160) / 150.0;
    c = mix(c, Rgb{0.45, 0.70, 0.98}, 0.35 * std::exp(-(gx * gx + gy * gy) * 2.2));
    double streak = std::sin((x * 0.6 + y) * 0.045);
    c = c * (1.0 + 0.06 * streak * streak * streak);
    return c;
}

const std::array<Disc, 3> kBannerDiscs{{
    {50.0, 96.0, 42.0, 0.4},
    {122.0, 60.0, 33.0, 1.1},
    {92.0, 190.0, 66.0, -0.5},
}};

Rgb bannerSample(double x, double y) {
    Rgb c = bannerBackground(x, y);
    for (const Disc& d : kBannerDiscs) {
        c = c * (1 - discShadow(d, x, y));
        c = over(c, shadeDisc(d, x, y));
    }
    // A few sparkles on the rims, where light catches the edge.
    const std::array<std::array<double, 3>, 4> sparkles{{{78, 70, 5}, {140, 38, 4}, {128, 140, 6}, {36, 126, 3}}};
    for (const auto& s : sparkles) {
        double dx = std::fabs(x - s[0]), dy = std::fabs(y - s[1]);
        double star = std::max(0.0, 1 - dx / s[2]) * std::max(0.0, 1 - dy / 1.2) +
                      std::max(0.0, 1 - dy / s[2]) * std::max(0.0, 1 - dx / 1.2);
        c = mix(c, Rgb{1, 1, 1}, clamp01(star));
    }
    return c;
}

// Average of 4 x 4 samples per pixel, for smooth edges.
template <typename Sampler>
std::vector<Rgb> render(int width, int height, Sampler sample) {
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Rgb sum;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) sum = sum + sample(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            pixels[static_cast<size_t>(y) * width + x] = sum * (1.0 / 16);
        }
    return pixels;
}

// ---------------------------------------------------------------- little-endian writing

struct Bytes {
    std::vector<std::uint8_t> data;
    void u8(unsigned v) { data.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
};

void bitmapInfoHeader(Bytes& out, int width, int height, int bitCount, std::uint32_t imageSize) {
    out.u32(40);
    out.u32(static_cast<std::uint32_t>(width));
    out.u32(static_cast<std::uint32_t>(height));
    out.u16(1);
    out.u16(static_cast<unsigned>(bitCount));
    out.u32(0);  // BI_RGB
    out.u32(imageSize);
    out.u32(2835);  // 72 dpi
    out.u32(2835);
    out.u32(0);
    out.u32(0);
}

int rowBytes(int width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

Bytes bannerFile() {
    std::vector<Rgb> pixels = render(kBannerWidth, kBannerHeight, bannerSample);
    int stride = rowBytes(kBannerWidth, 24);
    auto imageSize = static_cast<std::uint32_t>(stride * kBannerHeight);
    Bytes out;
    out.u8('B');
    out.u8('M');
    out.u32(14 + 40 + imageSize);
    out.u32(0);
    out.u32(14 + 40);
    bitmapInfoHeader(out, kBannerWidth, kBannerHeight, 24, imageSize);
    for (int y = kBannerHeight - 1; y >= 0; --y) {  // bottom-up rows
        for (int x = 0; x < kBannerWidth; ++x) {
            const Rgb& p = pixels[static_cast<size_t>(y) * kBannerWidth + x];
            out.u8(toByte(p.b));
            out.u8(toByte(p.g));
            out.u8(toByte(p.r));
        }
        for (int pad = kBannerWidth * 3; pad < stride; ++pad) out.u8(0);
    }
    return out;
}

// ---------------------------------------------------------------- icon

// The icon: one disc with a green arrow pointing down onto it, in a unit square.
Paint iconSample(double u, double v, double size) {
    Disc disc{0.45, 0.47, 0.44, 0.5};
    Paint p = shadeDisc(disc, u, v);
    Rgb c = p.colour;
    double alpha = p.alpha > 0 ? 1.0 : 0.0;  // icons have no partial transparency
    // Outline so the disc reads on light and dark backgrounds alike.
    double r = std::hypot(u - disc.cx, v - disc.cy) / disc.radius;
    double line = 1.0 / (size * disc.radius);
    if (r <= 1.0 && r > 1.0 - line) c = Rgb{0.12, 0.20, 0.45};
    if (r >= 0.15 && r < 0.15 + line) c = Rgb{0.30, 0.38, 0.60};

    // Arrow: a shaft and a head, lower right, with a dark green border.
    double ax = 0.74;
    bool shaft = std::fabs(u - ax) < 0.09 && v > 0.38 && v < 0.70;
    bool head = v >= 0.66 && v < 0.98 && std::fabs(u - ax) < 0.22 * (0.98 - v) / 0.32;
    double border = 1.3 / size;
    bool shaftOuter = std::fabs(u - ax) < 0.09 + border && v > 0.38 - border && v < 0.70;
    bool headOuter = v >= 0.66 - border && v < 0.98 + border &&
                     std::fabs(u - ax) < 0.22 * (0.98 + border * 1.8 - v) / 0.32;
    if (shaftOuter || headOuter) {
        c = Rgb{0.04, 0.32, 0.08};
        alpha = 1;
    }
    if (shaft || head) {
        c = mix(Rgb{0.35, 0.85, 0.30}, Rgb{0.10, 0.58, 0.14}, clamp01((u - ax + 0.2) / 0.4));
        alpha = 1;
    }
    return {c, alpha};
}

struct IconImage {
    int size;
    std::vector<Rgb> colour;
    std::vector<bool> opaque;
};

IconImage renderIcon(int size) {
    IconImage image{size, std::vector<Rgb>(static_cast<size_t>(size) * size), std::vector<bool>(size * size)};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Rgb sum;
            double coverage = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    Paint p = iconSample((x + (sx + 0.5) / 4) / size, (y + (sy + 0.5) / 4) / size, size);
                    sum = sum + p.colour * p.alpha;
                    coverage += p.alpha;
                }
            size_t i = static_cast<size_t>(y) * size + x;
            image.opaque[i] = coverage >= 8;
            if (coverage > 0) image.colour[i] = sum * (1.0 / coverage);
        }
    return image;
}

struct Rgb8 {
    std::uint8_t r, g, b;
};

// Median-cut palette of at most 255 colours; index 0 stays black for the
// transparent pixels (black XOR colour leaves the screen as it is).
std::vector<Rgb8> medianCut(const std::vector<Rgb8>& colours) {
    std::vector<std::vector<Rgb8>> boxes{colours};
    auto channel = [](const Rgb8& c, int k) { return k == 0 ? c.r : k == 1 ? c.g : c.b; };
    auto spread = [&](const std::vector<Rgb8>& box, int& widest) {
        int best = -1;
        for (int k = 0; k < 3; ++k) {
            int lo = 255, hi = 0;
            for (const Rgb8& c : box) {
                lo = std::min<int>(lo, channel(c, k));
                hi = std::max<int>(hi, channel(c, k));
            }
            if (hi - lo > best) {
                best = hi - lo;
                widest = k;
            }
        }
        return best;
    };
    while (boxes.size() < 255) {
        int pick = -1, pickSpread = 0, pickChannel = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            int k = 0;
            int s = boxes[i].size() > 1 ? spread(boxes[i], k) : 0;
            if (s > pickSpread) {
                pick = static_cast<int>(i);
                pickSpread = s;
                pickChannel = k;
            }
        }
        if (pick < 0) break;
        std::vector<Rgb8>& box = boxes[pick];
        std::stable_sort(box.begin(), box.end(),
                         [&](const Rgb8& a, const Rgb8& b) { return channel(a, pickChannel) < channel(b, pickChannel); });
        std::vector<Rgb8> upper(box.begin() + box.size() / 2, box.end());
        box.resize(box.size() / 2);
        boxes.push_back(std::move(upper));
    }
    std::vector<Rgb8> palette{{0, 0, 0}};
    for (const auto& box : boxes) {
        unsigned r = 0, g = 0, b = 0;
        for (const Rgb8& c : box) r += c.r, g += c.g, b += c.b;
        auto n = static_cast<unsigned>(box.size());
        palette.push_back({static_cast<std::uint8_t>((r + n / 2) / n), static_cast<std::uint8_t>((g + n / 2) / n),
                           static_cast<std::uint8_t>((b + n / 2) / n)});
    }
    palette.resize(256, Rgb8{0, 0, 0});
    return palette;
}

std::uint8_t nearest(const std::vector<Rgb8>& palette, Rgb8 c) {
    int best = 1, bestDistance = 1 << 30;
    for (int i = 1; i < static_cast<int>(palette.size()); ++i) {
        int dr = palette[i].r - c.r, dg = palette[i].g - c.g, db = palette[i].b - c.b;
        int d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

// One icon image as stored in an .ico: header (double height for XOR + AND),
// 256-entry palette, bottom-up 8-bit colour rows, bottom-up 1-bit mask rows.
Bytes iconImageData(const IconImage& image) {
    const int n = image.size;
    std::vector<Rgb8> used;
    for (size_t i = 0; i < image.colour.size(); ++i)
        if (image.opaque[i])
            used.push_back({toByte(image.colour[i].r), toByte(image.colour[i].g), toByte(image.colour[i].b)});
    std::vector<Rgb8> palette = medianCut(used);

    int colourStride = rowBytes(n, 8), maskStride = rowBytes(n, 1);
    Bytes out;
    bitmapInfoHeader(out, n, n * 2, 8, static_cast<std::uint32_t>((colourStride + maskStride) * n));
    for (const Rgb8& c : palette) {
        out.u8(c.b);
        out.u8(c.g);
        out.u8(c.r);
        out.u8(0);
    }
    for (int y = n - 1; y >= 0; --y) {
        for (int x = 0; x < n; ++x) {
            size_t i = static_cast<size_t>(y) * n + x;
            Rgb8 c{toByte(image.colour[i].r), toByte(image.colour[i].g), toByte(image.colour[i].b)};
            out.u8(image.opaque[i] ? nearest(palette, c) : 0);
        }
        for (int pad = n; pad < colourStride; ++pad) out.u8(0);
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(maskStride, 0);
        for (int x = 0; x < n; ++x)
            if (!image.opaque[static_cast<size_t>(y) * n + x]) row[x / 8] |= 0x80 >> (x % 8);
        for (auto b : row) out.u8(b);
    }
    return out;
}

Bytes iconFile() {
    std::array<Bytes, 2> images{iconImageData(renderIcon(32)), iconImageData(renderIcon(16))};
    const std::array<int, 2> sizes{32, 16};
    Bytes out;
    out.u16(0);
    out.u16(1);  // icon
    out.u16(2);
    std::uint32_t offset = 6 + 16 * 2;
    for (size_t i = 0; i < images.size(); ++i) {
        out.u8(static_cast<unsigned>(sizes[i]));
        out.u8(static_cast<unsigned>(sizes[i]));
        out.u8(0);  // 256 colours or more
        out.u8(0);
        out.u16(1);  // planes
        out.u16(8);  // bits per pixel
        out.u32(static_cast<std::uint32_t>(images[i].data.size()));
        out.u32(offset);
        offset += static_cast<std::uint32_t>(images[i].data.size());
    }
    for (const Bytes& image : images) out.data.insert(out.data.end(), image.data.begin(), image.data.end());
    return out;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data.data()), static_cast<std::streamsize>(bytes.data.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "gen_images: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("wrote %s (%zu bytes)\n", path.c_str(), bytes.data.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_images <output directory>\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = writeFile(dir + "/banner.bmp", bannerFile());
    ok = writeFile(dir + "/Update.ico", iconFile()) && ok;
    return ok ? 0 : 1;
}
