#include "tools/preview-images/icons.h"

#include <cstdlib>
#include <functional>

namespace {

constexpr std::uint32_t black = 0xFF000000u, dark = 0xFF404040u, grey = 0xFF808080u,
                        silver = 0xFFC0C0C0u, white = 0xFFFFFFFFu, folder = 0xFFF0C850u,
                        folderDark = 0xFFA07818u, navy = 0xFF1F3F9Fu, blue = 0xFF3C78D8u,
                        glass = 0xFFCFE4FAu, green = 0xFF2E9E3Eu, red = 0xFFD02020u,
                        pencil = 0xFFF0B020u;

// One 16 x 16 cell of the strip.
class Icon {
public:
    Icon(TRasterImage& strip, int index) : strip_(strip), left_(index * 16) {}

    void Px(int x, int y, std::uint32_t c) {
        if (x < 0 || x > 15 || y < 0 || y > 15) return;
        // The bottom-left pixel names the mask colour of the tile: it stays unpainted.
        if (x == 0 && y == 15) return;
        strip_.At(left_ + x, y) = c;
    }
    void Fill(int x0, int y0, int x1, int y1, std::uint32_t c) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                Px(x, y, c);
    }
    void Frame(int x0, int y0, int x1, int y1, std::uint32_t c) {
        Line(x0, y0, x1, y0, c);
        Line(x0, y1, x1, y1, c);
        Line(x0, y0, x0, y1, c);
        Line(x1, y0, x1, y1, c);
    }
    void Box(int x0, int y0, int x1, int y1, std::uint32_t fill, std::uint32_t edge) {
        Fill(x0, y0, x1, y1, fill);
        Frame(x0, y0, x1, y1, edge);
    }
    void Line(int x0, int y0, int x1, int y1, std::uint32_t c) {
        const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
        const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            Px(x0, y0, c);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
    // A ring of radius r around (cx, cy), filled inside with fill.
    void Ring(int cx, int cy, int r, std::uint32_t edge, std::uint32_t fill) {
        for (int y = cy - r - 1; y <= cy + r + 1; ++y)
            for (int x = cx - r - 1; x <= cx + r + 1; ++x) {
                const int d4 = 4 * ((x - cx) * (x - cx) + (y - cy) * (y - cy));
                if (d4 < (2 * r - 1) * (2 * r - 1))
                    Px(x, y, fill);
                else if (d4 < (2 * r + 1) * (2 * r + 1))
                    Px(x, y, edge);
            }
    }
    // A sheet of paper with a folded top-right corner.
    void Page(int x0, int y0, int x1, int y1) {
        Box(x0, y0, x1, y1, white, dark);
        Px(x1, y0, IconMaskPixel);
        Px(x1 - 1, y0, IconMaskPixel);
        Px(x1, y0 + 1, IconMaskPixel);
        Line(x1 - 2, y0, x1, y0 + 2, dark);
        Line(x1 - 2, y0, x1 - 2, y0 + 2, dark);
        Line(x1 - 2, y0 + 2, x1, y0 + 2, dark);
    }
    // Text lines on a page.
    void Lines(int x0, int x1, int y0, int y1, int step = 2) {
        for (int y = y0; y <= y1; y += step)
            Line(x0, y, x1, y, grey);
    }
    // A solid triangle pointing left (dir -1) or right (dir 1) with its tip at (tx, 7.5).
    void Arrow(int tx, int dir, std::uint32_t c) {
        for (int i = 0; i < 5; ++i)
            Line(tx - dir * i, 7 - i, tx - dir * i, 8 + i, c);
    }
    void Plus(int cx, int cy, int r, std::uint32_t c) {
        Line(cx - r, cy, cx + r, cy, c);
        Line(cx, cy - r, cx, cy + r, c);
    }
    void Cross(int x0, int y0, int size, std::uint32_t c) {
        for (int t = 0; t < 2; ++t) {
            Line(x0 + t, y0, x0 + size - 1, y0 + size - 1 - t, c);
            Line(x0 + t, y0 + size - 1, x0 + size - 1, y0 + t, c);
        }
    }
    void Magnifier() {
        Ring(6, 6, 4, dark, glass);
        Line(9, 9, 13, 13, dark);
        Line(10, 9, 14, 13, dark);
        Line(9, 10, 13, 14, dark);
    }

private:
    TRasterImage& strip_;
    int left_;
};

// 3 x 5 capitals for the PDF mark.
void letter(Icon& ic, int x, int y, const char* rows, std::uint32_t c) {
    for (int r = 0; r < 5; ++r)
        for (int col = 0; col < 3; ++col)
            if (rows[r * 3 + col] == '#') ic.Px(x + col, y + r, c);
}

const std::function<void(Icon&)> icons[] = {
    // 0 open: an opened folder
    [](Icon& ic) {
        ic.Box(1, 3, 6, 5, folder, folderDark);
        ic.Box(1, 5, 13, 13, folder, folderDark);
        for (int y = 8; y <= 13; ++y)
            ic.Line(3 + (13 - y) / 2, y, 14 + (13 - y) / 2, y, 0xFFFFE490u);
        ic.Line(3, 13, 14, 13, folderDark);
        ic.Line(5, 8, 16, 8, folderDark);
        ic.Line(14, 8, 14, 13, folderDark);
    },
    // 1 save: a diskette
    [](Icon& ic) {
        ic.Box(1, 1, 14, 14, navy, black);
        ic.Box(4, 1, 11, 6, white, black);
        ic.Fill(9, 2, 10, 5, navy);
        ic.Box(3, 9, 12, 14, silver, black);
        ic.Line(5, 11, 10, 11, grey);
    },
    // 2 print: a printer with a sheet
    [](Icon& ic) {
        ic.Page(4, 1, 11, 6);
        ic.Box(1, 6, 14, 11, silver, dark);
        ic.Line(2, 7, 13, 7, white);
        ic.Px(12, 9, green);
        ic.Box(4, 10, 11, 14, white, dark);
        ic.Lines(5, 10, 12, 12);
    },
    // 3 export: a page with an arrow leaving it
    [](Icon& ic) {
        ic.Page(1, 1, 10, 14);
        ic.Lines(3, 8, 4, 12);
        ic.Fill(6, 7, 11, 8, green);
        for (int i = 0; i < 4; ++i)
            ic.Line(12 + i, 4 + i, 12 + i, 11 - i, green);
    },
    // 4 find: a magnifier
    [](Icon& ic) { ic.Magnifier(); },
    // 5 thumbnails: four small pages
    [](Icon& ic) {
        ic.Box(1, 1, 6, 6, white, dark);
        ic.Box(9, 1, 14, 6, white, dark);
        ic.Box(1, 9, 6, 14, white, dark);
        ic.Box(9, 9, 14, 14, white, dark);
        ic.Fill(3, 3, 4, 4, blue);
    },
    // 6 a plain page
    [](Icon& ic) {
        ic.Page(3, 1, 12, 14);
        ic.Lines(5, 10, 5, 12);
    },
    // 7 page settings: a page with its margins and a ruler
    [](Icon& ic) {
        ic.Page(3, 1, 13, 14);
        for (int i = 4; i <= 12; i += 2) { // dotted margins
            ic.Px(5, i, blue);
            ic.Px(11, i, blue);
            ic.Px(i + 1, 4, blue);
        }
        ic.Box(1, 10, 8, 14, pencil, folderDark);
        for (int x = 2; x <= 7; x += 2)
            ic.Px(x, 11, black);
    },
    // 8 first
    [](Icon& ic) {
        ic.Fill(3, 3, 4, 12, navy);
        ic.Arrow(6, -1, navy);
        ic.Arrow(11, -1, navy);
    },
    // 9 prior
    [](Icon& ic) {
        ic.Arrow(5, -1, navy);
        ic.Fill(10, 6, 12, 9, navy);
    },
    // 10 next
    [](Icon& ic) {
        ic.Fill(3, 6, 5, 9, navy);
        ic.Arrow(10, 1, navy);
    },
    // 11 last
    [](Icon& ic) {
        ic.Arrow(4, 1, navy);
        ic.Arrow(9, 1, navy);
        ic.Fill(11, 3, 12, 12, navy);
    },
    // 12 outline: a small tree
    [](Icon& ic) {
        ic.Box(1, 1, 5, 4, blue, navy);
        ic.Line(3, 5, 3, 12, dark);
        ic.Line(4, 8, 7, 8, dark);
        ic.Line(4, 12, 7, 12, dark);
        ic.Box(8, 6, 14, 9, white, dark);
        ic.Box(8, 10, 14, 13, white, dark);
    },
    // 13 collapse all: a minus box
    [](Icon& ic) {
        ic.Box(2, 2, 13, 13, white, dark);
        ic.Fill(4, 7, 11, 8, navy);
    },
    // 14 expand all: a plus box
    [](Icon& ic) {
        ic.Box(2, 2, 13, 13, white, dark);
        ic.Fill(4, 7, 11, 8, navy);
        ic.Fill(7, 4, 8, 11, navy);
    },
    // 15 zoom in
    [](Icon& ic) {
        ic.Magnifier();
        ic.Plus(6, 6, 2, navy);
    },
    // 16 zoom out
    [](Icon& ic) {
        ic.Magnifier();
        ic.Line(4, 6, 8, 6, navy);
    },
    // 17 add page
    [](Icon& ic) {
        ic.Page(1, 1, 10, 14);
        ic.Lines(3, 8, 5, 9);
        ic.Fill(10, 10, 14, 12, green);
        ic.Fill(11, 9, 13, 13, green);
        ic.Plus(12, 11, 2, green);
    },
    // 18 delete page
    [](Icon& ic) {
        ic.Page(1, 1, 10, 14);
        ic.Lines(3, 8, 5, 9);
        ic.Cross(9, 9, 6, red);
    },
    // 19 two pages side by side
    [](Icon& ic) {
        ic.Box(0, 2, 7, 13, white, dark);
        ic.Box(8, 2, 15, 13, white, dark);
        ic.Lines(2, 5, 4, 11);
        ic.Lines(10, 13, 4, 11);
    },
    // 20 close
    [](Icon& ic) { ic.Cross(3, 3, 10, red); },
    // 21 edit page: a page with a pencil
    [](Icon& ic) {
        ic.Page(1, 1, 10, 14);
        ic.Lines(3, 7, 5, 11);
        for (int i = 0; i < 2; ++i)
            ic.Line(14 - i, 3, 7 - i, 10, pencil);
        ic.Line(15, 4, 8, 11, folderDark);
        ic.Px(6, 12, black);
        ic.Px(7, 11, black);
    },
    // 22 full screen: a frame with its corners pulled out
    [](Icon& ic) {
        ic.Box(4, 4, 11, 11, glass, dark);
        struct Corner {
            int x, y, dx, dy;
        };
        for (const Corner c : {Corner{1, 1, 1, 1}, Corner{14, 1, -1, 1}, Corner{1, 14, 1, -1},
                               Corner{14, 14, -1, -1}}) {
            ic.Line(c.x, c.y, c.x + 3 * c.dx, c.y, navy);
            ic.Line(c.x, c.y, c.x, c.y + 3 * c.dy, navy);
            ic.Line(c.x, c.y, c.x + 2 * c.dx, c.y + 2 * c.dy, navy);
        }
    },
    // 23 e-mail: an envelope
    [](Icon& ic) {
        ic.Box(1, 3, 14, 12, white, dark);
        ic.Line(1, 3, 7, 8, dark);
        ic.Line(14, 3, 8, 8, dark);
        ic.Line(1, 12, 6, 7, grey);
        ic.Line(14, 12, 9, 7, grey);
    },
    // 24 PDF: a page with a red band marked PDF
    [](Icon& ic) {
        ic.Page(2, 0, 13, 15);
        ic.Fill(1, 8, 14, 14, red);
        letter(ic, 2, 9, "##.#.###.#..#..", white);
        letter(ic, 6, 9, "##.#.##.##.###.", white);
        letter(ic, 10, 9, "####..##.#..#..", white);
    },
};

} // namespace

TRasterImage DrawPreviewButtonStrip() {
    constexpr int count = sizeof icons / sizeof icons[0];
    TRasterImage strip(count * 16, 16, IconMaskPixel);
    for (int i = 0; i < count; ++i) {
        Icon ic(strip, i);
        icons[i](ic);
    }
    return strip;
}
