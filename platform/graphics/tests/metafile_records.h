#pragma once
// Windows metafiles written record by record for the player's tests: WMF (placeable or not),
// EMF, and the DIBs they carry.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "graphic_samples.h"

namespace records {

using Bytes = std::vector<std::uint8_t>;
using samples::put16;
using samples::put32;

// A bottom-up uncompressed DIB of pixels 0xRRGGBB, rows top first; 1, 4 and 8 bits take a
// palette of the distinct colours in order of appearance.
inline Bytes Dib(int width, int height, int bpp, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::uint32_t> palette;
    if (bpp <= 8)
        for (std::uint32_t p : pixels)
            if (std::find(palette.begin(), palette.end(), p) == palette.end()) palette.push_back(p);
    Bytes d;
    put32(d, 40);
    put32(d, static_cast<std::uint32_t>(width));
    put32(d, static_cast<std::uint32_t>(height));
    put16(d, 1);
    put16(d, static_cast<unsigned>(bpp));
    for (int i = 0; i < 4; ++i)
        put32(d, 0); // compression, size, resolution
    put32(d, static_cast<std::uint32_t>(palette.size()));
    put32(d, 0);
    for (std::uint32_t p : palette)
        put32(d, p);
    const std::size_t stride = (static_cast<std::size_t>(bpp) * width + 31) / 32 * 4;
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(stride, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
            const auto index = static_cast<unsigned>(std::find(palette.begin(), palette.end(), p) -
                                                     palette.begin());
            switch (bpp) {
            case 1:
                row[x / 8] |= static_cast<std::uint8_t>(index << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<std::uint8_t>(index << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = static_cast<std::uint8_t>(index);
                break;
            default:
                for (int b = 0; b < bpp / 8; ++b)
                    row[x * (bpp / 8) + b] = static_cast<std::uint8_t>(b < 3 ? p >> (8 * b) : 0);
            }
        }
        d.insert(d.end(), row.begin(), row.end());
    }
    return d;
}

inline std::size_t DibHeaderSize(const Bytes& dib) {
    return 40 + 4 * (dib[32] | dib[33] << 8);
}

class Wmf {
public:
    // A record of 16-bit words in the order the file holds them (last argument first).
    Wmf& Rec(std::uint16_t function, std::initializer_list<int> words, const Bytes& tail = {}) {
        Bytes p;
        for (int w : words)
            put16(p, static_cast<unsigned>(w));
        p.insert(p.end(), tail.begin(), tail.end());
        if (p.size() % 2) p.push_back(0);
        put32(body_, static_cast<std::uint32_t>(3 + p.size() / 2));
        put16(body_, function);
        body_.insert(body_.end(), p.begin(), p.end());
        return *this;
    }
    Wmf& Raw(const Bytes& bytes) {
        body_.insert(body_.end(), bytes.begin(), bytes.end());
        return *this;
    }

    Wmf& MapMode(int mode) { return Rec(0x0103, {mode}); }
    Wmf& WindowOrg(int x, int y) { return Rec(0x020B, {y, x}); }
    Wmf& WindowExt(int x, int y) { return Rec(0x020C, {y, x}); }
    Wmf& ViewportOrg(int x, int y) { return Rec(0x020D, {y, x}); }
    Wmf& ViewportExt(int x, int y) { return Rec(0x020E, {y, x}); }
    Wmf& SaveDc() { return Rec(0x001E, {}); }
    Wmf& RestoreDc(int n) { return Rec(0x0127, {n}); }
    Wmf& Pen(int style, int width, std::uint32_t color) {
        return Rec(0x02FA, {style, width, 0, int(color & 0xFFFF), int(color >> 16)});
    }
    Wmf& Brush(int style, std::uint32_t color, int hatch = 0) {
        return Rec(0x02FC, {style, int(color & 0xFFFF), int(color >> 16), hatch});
    }
    Wmf& Font(int height, int charset, std::string_view face) {
        Bytes name(face.begin(), face.end());
        name.resize(32, 0);
        return Rec(0x02FB, {height, 0, 0, 0, 400, 0, charset << 8, 0, 0}, name);
    }
    Wmf& Select(int index) { return Rec(0x012D, {index}); }
    Wmf& Delete(int index) { return Rec(0x01F0, {index}); }
    Wmf& TextColor(std::uint32_t c) { return Rec(0x0209, {int(c & 0xFFFF), int(c >> 16)}); }
    Wmf& BkMode(int mode) { return Rec(0x0102, {mode}); }
    Wmf& TextAlign(int align) { return Rec(0x012E, {align}); }
    Wmf& MoveTo(int x, int y) { return Rec(0x0214, {y, x}); }
    Wmf& LineTo(int x, int y) { return Rec(0x0213, {y, x}); }
    Wmf& Rectangle(int l, int t, int r, int b) { return Rec(0x041B, {b, r, t, l}); }
    Wmf& Ellipse(int l, int t, int r, int b) { return Rec(0x0418, {b, r, t, l}); }
    Wmf& IntersectClip(int l, int t, int r, int b) { return Rec(0x0416, {b, r, t, l}); }
    Wmf& PolyPolygon(const std::vector<std::vector<std::pair<int, int>>>& figures) {
        Bytes p;
        put16(p, static_cast<unsigned>(figures.size()));
        for (const auto& f : figures)
            put16(p, static_cast<unsigned>(f.size()));
        for (const auto& f : figures)
            for (auto [x, y] : f)
                put16(p, static_cast<unsigned>(x)), put16(p, static_cast<unsigned>(y));
        return Rec(0x0538, {}, p);
    }
    // 8-bit text with one advance per byte (none when dx is empty).
    Wmf& ExtTextOut(int x, int y, std::string_view text, const std::vector<int>& dx = {}) {
        Bytes p(text.begin(), text.end());
        if (p.size() % 2) p.push_back(0);
        for (int d : dx)
            put16(p, static_cast<unsigned>(d));
        return Rec(0x0A32, {y, x, int(text.size()), 0}, p);
    }
    Wmf& StretchDib(int x, int y, int w, int h, int sx, int sy, int sw, int sh, const Bytes& dib,
                    std::uint32_t rop = 0xCC0020) {
        return Rec(0x0F43, {int(rop & 0xFFFF), int(rop >> 16), 0, sh, sw, sy, sx, h, w, y, x}, dib);
    }
    Wmf& PatBlt(int x, int y, int w, int h, std::uint32_t rop = 0xF00021) {
        return Rec(0x061D, {int(rop & 0xFFFF), int(rop >> 16), h, w, y, x});
    }

    Bytes Standard() const {
        Bytes f;
        put16(f, 1);
        put16(f, 9);
        put16(f, 0x300);
        put32(f, static_cast<std::uint32_t>(9 + body_.size() / 2 + 3));
        put16(f, 16); // objects
        put32(f, 0);  // largest record, not read
        put16(f, 0);
        f.insert(f.end(), body_.begin(), body_.end());
        put32(f, 3);
        put16(f, 0);
        return f;
    }
    Bytes Placeable(int left, int top, int right, int bottom, int inch) const {
        Bytes f = samples::PlaceableWmf(left, top, right, bottom, inch);
        f.resize(22);
        const Bytes rest = Standard();
        f.insert(f.end(), rest.begin(), rest.end());
        return f;
    }

private:
    Bytes body_;
};

class Emf {
public:
    Emf& Rec(std::uint32_t type, std::initializer_list<std::int32_t> values,
             const Bytes& tail = {}) {
        Bytes p;
        for (std::int32_t v : values)
            put32(p, static_cast<std::uint32_t>(v));
        p.insert(p.end(), tail.begin(), tail.end());
        while (p.size() % 4)
            p.push_back(0);
        put32(body_, type);
        put32(body_, static_cast<std::uint32_t>(8 + p.size()));
        body_.insert(body_.end(), p.begin(), p.end());
        ++count_;
        return *this;
    }
    static std::int32_t Float(float f) {
        std::int32_t v;
        std::memcpy(&v, &f, 4);
        return v;
    }

    Emf& MapMode(int mode) { return Rec(17, {mode}); }
    Emf& WindowExt(int x, int y) { return Rec(9, {x, y}); }
    Emf& WindowOrg(int x, int y) { return Rec(10, {x, y}); }
    Emf& ViewportExt(int x, int y) { return Rec(11, {x, y}); }
    Emf& ViewportOrg(int x, int y) { return Rec(12, {x, y}); }
    Emf& SaveDc() { return Rec(33, {}); }
    Emf& RestoreDc(int n) { return Rec(34, {n}); }
    Emf& WorldTransform(float m11, float m12, float m21, float m22, float dx, float dy,
                        int modify = 0) {
        if (modify)
            return Rec(
                36, {Float(m11), Float(m12), Float(m21), Float(m22), Float(dx), Float(dy), modify});
        return Rec(35, {Float(m11), Float(m12), Float(m21), Float(m22), Float(dx), Float(dy)});
    }
    Emf& Brush(int index, int style, std::uint32_t color, int hatch = 0) {
        return Rec(39, {index, style, std::int32_t(color), hatch});
    }
    Emf& Pen(int index, int style, int width, std::uint32_t color) {
        return Rec(38, {index, style, width, 0, std::int32_t(color)});
    }
    Emf& Font(int index, int height, std::u16string_view face) {
        Bytes tail;
        for (std::int32_t v : {height, 0, 0, 0, 400})
            put32(tail, static_cast<std::uint32_t>(v));
        put32(tail, 0x01000000); // italic, underline, strike-out, charset: default
        put32(tail, 0);
        for (std::size_t i = 0; i < 32; ++i)
            put16(tail, i < face.size() ? face[i] : 0);
        return Rec(82, {index}, tail);
    }
    Emf& Select(std::uint32_t index) { return Rec(37, {std::int32_t(index)}); }
    Emf& TextAlign(int align) { return Rec(22, {align}); }
    Emf& BkMode(int mode) { return Rec(18, {mode}); }
    Emf& TextColor(std::uint32_t c) { return Rec(24, {std::int32_t(c)}); }
    Emf& MoveTo(int x, int y) { return Rec(27, {x, y}); }
    Emf& LineTo(int x, int y) { return Rec(54, {x, y}); }
    Emf& Rectangle(int l, int t, int r, int b) { return Rec(43, {l, t, r, b}); }
    Emf& IntersectClip(int l, int t, int r, int b) { return Rec(30, {l, t, r, b}); }
    Emf& Polyline16(const std::vector<std::pair<int, int>>& points) {
        Bytes tail;
        for (auto [x, y] : points)
            put16(tail, static_cast<unsigned>(x)), put16(tail, static_cast<unsigned>(y));
        return Rec(87, {0, 0, 0, 0, std::int32_t(points.size())}, tail);
    }
    Emf& PolyBezier16(const std::vector<std::pair<int, int>>& points) {
        Bytes tail;
        for (auto [x, y] : points)
            put16(tail, static_cast<unsigned>(x)), put16(tail, static_cast<unsigned>(y));
        return Rec(85, {0, 0, 0, 0, std::int32_t(points.size())}, tail);
    }
    Emf& Ellipse(int l, int t, int r, int b) { return Rec(42, {l, t, r, b}); }
    Emf& BeginPath() { return Rec(59, {}); }
    Emf& EndPath() { return Rec(60, {}); }
    Emf& CloseFigure() { return Rec(61, {}); }
    Emf& FillPath() { return Rec(62, {0, 0, 0, 0}); }
    Emf& ExtTextOutW(int x, int y, std::u16string_view text, const std::vector<int>& dx = {}) {
        const std::int32_t offString = 76,
                           offDx =
                               dx.empty() ? 0 : std::int32_t(76 + (text.size() * 2 + 3) / 4 * 4);
        Bytes tail;
        for (char16_t c : text)
            put16(tail, c);
        while (tail.size() % 4)
            tail.push_back(0);
        for (int d : dx)
            put32(tail, static_cast<std::uint32_t>(d));
        return Rec(
            84,
            {0, 0, 0, 0, 1, 0, 0, x, y, std::int32_t(text.size()), offString, 0, 0, 0, 0, 0, offDx},
            tail);
    }
    Emf& StretchDibits(int x, int y, int w, int h, int sx, int sy, int sw, int sh, const Bytes& dib,
                       std::uint32_t rop = 0xCC0020) {
        const std::int32_t header = static_cast<std::int32_t>(DibHeaderSize(dib));
        const std::int32_t bits = static_cast<std::int32_t>(dib.size()) - header;
        return Rec(81,
                   {0, 0, 0, 0, x, y, sx, sy, sw, sh, 80, header, 80 + header, bits, 0,
                    std::int32_t(rop), w, h},
                   dib);
    }

    // The frame in hundredths of a millimetre, the reference device at 96 pixels per inch.
    Bytes File(int frameRight, int frameBottom) const {
        Bytes f;
        put32(f, 1);
        put32(f, 88);
        for (int v : {0, 0, frameRight * 96 / 2540, frameBottom * 96 / 2540})
            put32(f, static_cast<std::uint32_t>(v));
        for (int v : {0, 0, frameRight, frameBottom})
            put32(f, static_cast<std::uint32_t>(v));
        put32(f, 0x464D4520);
        put32(f, 0x10000);
        put32(f, static_cast<std::uint32_t>(88 + body_.size() + 20));
        put32(f, static_cast<std::uint32_t>(count_ + 2));
        put16(f, 16); // handles
        put16(f, 0);
        put32(f, 0); // description
        put32(f, 0);
        put32(f, 0);   // palette entries
        put32(f, 960); // device in pixels
        put32(f, 960);
        put32(f, 254); // and in millimetres
        put32(f, 254);
        f.insert(f.end(), body_.begin(), body_.end());
        for (std::uint32_t v : {14u, 20u, 0u, 0u, 20u})
            put32(f, v);
        return f;
    }

private:
    Bytes body_;
    int count_ = 0;
};

} // namespace records
