#include "page_oracle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace oracle {

namespace {

// Nearest integer, an exact half going to the even neighbour.
long long nearest_even(double v) {
    const double below = std::floor(v);
    const double fraction = v - below;  // exact for the magnitudes drawn here
    long long n = static_cast<long long>(below);
    if (fraction > 0.5 || (fraction == 0.5 && (n & 1) != 0)) ++n;
    return n;
}

// Half away from zero, in extended precision.
long long nearest_away(long double v) {
    return static_cast<long long>(v >= 0 ? std::trunc(v + 0.5L) : std::trunc(v - 0.5L));
}

void move_cursor(Page& page, float x, float y, bool relative) {
    if (relative) {
        page.cursor_x = page.cursor_x + x;
        page.cursor_y = page.cursor_y + y;
    } else {
        page.cursor_x = x;
        page.cursor_y = y;
    }
}

struct Point {
    int x, y;
};

}  // namespace

void clear(Page& page) {
    std::fill(page.pixels.begin(), page.pixels.end(), static_cast<uint8_t>(page.background & page.colour_mask));
    page.cursor_x = static_cast<float>(page.clip_x2 - page.clip_x1 + 1) / 2.0f;
    page.cursor_y = static_cast<float>(page.clip_y2 - page.clip_y1 + 1) / 2.0f;
}

void fill_box(Page& page, float x1f, float y1f, float x2f, float y2f, uint32_t colour) {
    long long x1 = nearest_even(x1f), y1 = nearest_even(y1f), x2 = nearest_even(x2f), y2 = nearest_even(y2f);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (x2 < page.clip_x1 || x1 > page.clip_x2 || y2 < page.clip_y1 || y1 > page.clip_y2) return;
    x1 = std::clamp<long long>(x1, page.clip_x1, page.clip_x2);
    x2 = std::clamp<long long>(x2, page.clip_x1, page.clip_x2);
    y1 = std::clamp<long long>(y1, page.clip_y1, page.clip_y2);
    y2 = std::clamp<long long>(y2, page.clip_y1, page.clip_y2);
    const uint8_t c = static_cast<uint8_t>(colour & page.colour_mask);
    for (long long y = y1; y <= y2; ++y) {
        uint8_t* row = &page.at(0, static_cast<int>(y));
        std::fill(row + x1, row + x2 + 1, c);
    }
}

void plot(Page& page, long long x, long long y, uint32_t colour) {
    if (!page.inside_clip(x, y)) return;
    page.at(static_cast<int>(x), static_cast<int>(y)) = static_cast<uint8_t>(colour & page.colour_mask);
}

namespace {

// One line of a run of the pattern: a pixel per step along the longer axis,
// from the first point to the second, both ends included. The other
// coordinate is the first point's plus the exact share of its distance,
// rounded to the nearest whole number, an exact half away from the first
// point. The run's k-th pixel, counted over every line of the run and also
// where it falls outside the clip box, is plotted when bit 15 - k mod 16 of
// the pattern is set.
void pattern_line(Page& page, long long x1, long long y1, long long x2, long long y2, uint32_t colour,
                  uint32_t pattern, long long& k) {
    const long long dx = x2 - x1, dy = y2 - y1;
    const bool along_x = std::llabs(dx) >= std::llabs(dy);
    const long long steps = along_x ? std::llabs(dx) : std::llabs(dy);
    const long long across = along_x ? dy : dx;  // signed distance on the other axis
    for (long long t = 0; t <= steps; ++t, ++k) {
        long long share = 0;
        if (steps > 0) {
            const long long exact = std::llabs(across) * t;  // share = exact / steps
            share = exact / steps;
            if (2 * (exact % steps) >= steps) ++share;
            if (across < 0) share = -share;
        }
        const long long forward = along_x ? (dx < 0 ? -t : t) : (dy < 0 ? -t : t);
        if (!((pattern >> (15 - k % 16)) & 1)) continue;
        if (along_x)
            plot(page, x1 + forward, y1 + share, colour);
        else
            plot(page, x1 + share, y1 + forward, colour);
    }
}

}  // namespace

void draw_line(Page& page, float x1, float y1, float x2, float y2, uint32_t colour, int32_t style,
               int32_t pattern, int32_t passed) {
    if (passed & 1) move_cursor(page, x1, y1, passed & 4);
    x1 = page.cursor_x;
    y1 = page.cursor_y;
    move_cursor(page, x2, y2, passed & 2);
    x2 = page.cursor_x;
    y2 = page.cursor_y;
    const uint32_t ink = (passed & 8) ? colour : page.foreground;
    const uint32_t bits = (passed & 16) ? static_cast<uint32_t>(pattern) & 0xFFFF : 0xFFFF;
    if (style == 2) {
        fill_box(page, x1, y1, x2, y2, ink);
        return;
    }
    const long long ax = nearest_even(x1), ay = nearest_even(y1), bx = nearest_even(x2), by = nearest_even(y2);
    long long k = 0;
    if (style == 0) {
        pattern_line(page, ax, ay, bx, by, ink, bits, k);
    } else if (style == 1) {
        // The four sides are one run of the pattern.
        pattern_line(page, ax, ay, bx, ay, ink, bits, k);
        pattern_line(page, bx, ay, bx, by, ink, bits, k);
        pattern_line(page, bx, by, ax, by, ink, bits, k);
        pattern_line(page, ax, by, ax, ay, ink, bits, k);
    }
}

void flood(Page& page, float x, float y, uint32_t fill, uint32_t border, int32_t passed) {
    uint32_t f = (passed & 2) ? fill : page.foreground;
    uint32_t b = (passed & 4) ? border : f;
    f &= page.colour_mask;
    b &= page.colour_mask;
    move_cursor(page, x, y, passed & 1);
    const long long sx = nearest_even(page.cursor_x), sy = nearest_even(page.cursor_y);
    if (!page.inside_clip(sx, sy) || page.at(static_cast<int>(sx), static_cast<int>(sy)) == b) return;

    std::vector<uint8_t> examined(page.pixels.size(), 0);
    auto mark = [&](int px, int py) { examined[static_cast<size_t>(py) * page.width + px] = 1; };
    auto seen = [&](int px, int py) { return examined[static_cast<size_t>(py) * page.width + px] != 0; };

    std::vector<Point> generation{{static_cast<int>(sx), static_cast<int>(sy)}}, next;
    page.at(generation[0].x, generation[0].y) = static_cast<uint8_t>(f);
    mark(generation[0].x, generation[0].y);
    static constexpr int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    while (!generation.empty()) {
        next.clear();
        for (const Point& p : generation) {
            for (const auto& s : steps) {
                const int nx = p.x + s[0], ny = p.y + s[1];
                if (!page.inside_clip(nx, ny) || seen(nx, ny)) continue;
                mark(nx, ny);
                if (page.at(nx, ny) == b) continue;
                page.at(nx, ny) = static_cast<uint8_t>(f);
                next.push_back({nx, ny});
            }
        }
        std::swap(generation, next);
    }
}

uint8_t tile_colour(const std::string& tile, int x, int y) {
    const int rows = static_cast<int>((tile.size() + 3) / 4);
    const int row = y % rows, column = x % 8;
    int colour = 0;
    for (int plane = 0; plane < 4; ++plane) {
        const size_t i = static_cast<size_t>(row) * 4 + plane;
        const uint8_t byte = i < tile.size() ? static_cast<uint8_t>(tile[i]) : 0;
        if ((byte >> (7 - column)) & 1) colour |= 1 << plane;
    }
    return static_cast<uint8_t>(colour);
}

void pattern(Page& page, float x, float y, const std::string& tile, uint32_t border, const std::string* background,
             int32_t passed) {
    const uint32_t b = ((passed & 4) ? border : page.foreground) & page.colour_mask;

    int background_colour = 0;  // -1: none at all
    if ((passed & 8) && background) {
        background_colour = 0;
        for (int k = 0; k < 4; ++k) {
            const uint8_t byte = k < static_cast<int>(background->size()) ? static_cast<uint8_t>((*background)[k]) : 0;
            if (byte == 255)
                background_colour |= 1 << k;
            else if (byte != 0)
                background_colour = -1;
            if (background_colour < 0) break;
        }
    }

    auto tile_colour = [&](int px, int py) { return oracle::tile_colour(tile, px, py); };

    move_cursor(page, x, y, passed & 1);
    const long long sx = nearest_even(page.cursor_x), sy = nearest_even(page.cursor_y);
    if (!page.inside_clip(sx, sy)) return;
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    const uint8_t start = page.at(x0, y0);
    if (start == b) return;
    if (start == tile_colour(x0, y0) && start != background_colour) return;

    enum : uint8_t { left = 1, right = 2, up = 4, down = 8 };
    struct Step {
        uint8_t direction;
        int dx, dy;
        uint8_t carries;
    };
    static constexpr Step steps[4] = {
        {left, -1, 0, left | up | down},
        {right, 1, 0, right | up | down},
        {up, 0, -1, left | right | up},
        {down, 0, 1, left | right | down},
    };
    struct Reached {
        int x, y;
        uint8_t directions;
    };

    std::vector<uint8_t> examined(page.pixels.size(), 0);
    page.at(x0, y0) = tile_colour(x0, y0);
    examined[static_cast<size_t>(y0) * page.width + x0] = 1;
    std::vector<Reached> generation{{x0, y0, left | right | up | down}}, next;
    while (!generation.empty()) {
        next.clear();
        for (const Reached& p : generation) {
            for (const Step& s : steps) {
                if (!(p.directions & s.direction)) continue;
                const int nx = p.x + s.dx, ny = p.y + s.dy;
                if (!page.inside_clip(nx, ny)) continue;
                uint8_t& mark = examined[static_cast<size_t>(ny) * page.width + nx];
                if (mark) continue;
                mark = 1;
                uint8_t& pixel = page.at(nx, ny);
                if (pixel == b) continue;
                const uint8_t t = tile_colour(nx, ny);
                const bool sideways = s.dy == 0;
                if (!sideways && pixel == t && pixel != background_colour) continue;
                pixel = t;
                next.push_back({nx, ny, s.carries});
            }
        }
        std::swap(generation, next);
    }
}

void circle(Page& page, double x, double y, double radius, int32_t colour) {
    page.cursor_x = static_cast<float>(x);
    page.cursor_y = static_cast<float>(y);
    const long long cx = nearest_away(x), cy = nearest_away(y);
    const double rho = std::fabs(radius);
    const long double X = x, Y = y, R = rho;
    if (X + R + 0.5L < page.clip_x1 || Y + R + 0.5L < page.clip_y1 || X - R - 0.5L > page.clip_x2 ||
        Y - R - 0.5L > page.clip_y2)
        return;

    const double pi = 3.141592653589793;  // the doubles nearest to pi and 2 pi
    const double two_pi = 6.283185307179586;
    const double t = static_cast<double>(static_cast<long double>(two_pi) * R);
    const long long n = static_cast<long long>(std::trunc(static_cast<long double>(t) / 4.0L + 0.5L));

    std::vector<std::pair<long long, long long>> p(static_cast<size_t>(n) + 1);
    {
        double s = 0, c = 1;
        if (n > 0) {
            const double d = static_cast<double>(static_cast<long double>(pi) / 2.0L / static_cast<long double>(n));
            s = static_cast<double>(std::sin(static_cast<long double>(d)));
            c = static_cast<double>(std::cos(static_cast<long double>(d)));
        }
        double u = 1, v = 0;
        for (long long k = 0; k <= n; ++k) {
            p[static_cast<size_t>(k)] = {static_cast<long long>(std::trunc(static_cast<long double>(u) * R + 0.5L)),
                                         static_cast<long long>(std::trunc(static_cast<long double>(v) * R - 0.5L))};
            const double u2 = static_cast<double>(static_cast<long double>(u) * c + static_cast<long double>(v) * s);
            const double v2 = static_cast<double>(static_cast<long double>(v) * c - static_cast<long double>(u) * s);
            u = u2;
            v = v2;
        }
    }

    const uint32_t ink = static_cast<uint32_t>(colour);
    auto draw = [&](std::pair<long long, long long> q) {
        const auto [a, b] = q;
        plot(page, cx + a, cy + b, ink);
        plot(page, cx - a, cy + b, ink);
        plot(page, cx - a, cy - b, ink);
        plot(page, cx + a, cy - b, ink);
    };
    draw(p[0]);
    auto last = p[0];
    for (size_t k = 1; k < p.size(); ++k) {
        if (std::llabs(p[k].first - last.first) > 1 || std::llabs(p[k].second - last.second) > 1) {
            draw(p[k - 1]);
            last = p[k - 1];
        }
    }
    draw(p.back());
}

long long first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 0;
    const auto m = std::mismatch(a.begin(), a.end(), b.begin());
    return m.first == a.end() ? -1 : m.first - a.begin();
}

}  // namespace oracle
