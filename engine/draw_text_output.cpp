// Drawing of the wrapped memo lines: placement for rotation and vertical alignment, device
// fitting of each line to its design width, justification and the per-run font changes.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/draw_text.h"
#include "platform/core/numbers.h"
#include "platform/graphics/canvas.h"

namespace {

constexpr double kRatio = 600.0 / 96.0;

int roundInt(double value) {
    return static_cast<int>(Round(value));
}

// Exact at the right angles, so that axis-aligned text never drifts by a rounding.
double cosDeg(int degrees) {
    switch (degrees) {
    case 0:
        return 1;
    case 90:
        return 0;
    case 180:
        return -1;
    case 270:
        return 0;
    default:
        return std::cos(degrees * 3.14159265358979323846 / 180.0);
    }
}

double sinDeg(int degrees) {
    switch (degrees) {
    case 0:
        return 0;
    case 90:
        return 1;
    case 180:
        return 0;
    case 270:
        return -1;
    default:
        return std::sin(degrees * 3.14159265358979323846 / 180.0);
    }
}

} // namespace

void DistributeEvenly(int* a, int lo, int hi, int n, int step) {
    if (n <= 0 || hi < lo) return;
    n = std::min(n, hi - lo + 1); // more steps than entries would run outside the range
    const int half = std::max(1, (hi - lo + 1) / 2);
    if (n == 1) {
        a[lo + half - 1] += step;
        return;
    }
    DistributeEvenly(a, lo, lo + half - 1, n / 2, step);
    DistributeEvenly(a, lo + half, hi, n - n / 2, step);
}

struct TpgwDrawText::Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    double cos = 1;
    double sin = 0;
};

int TpgwDrawText::TargetFontHeight(int size, bool printer, int dpi) const {
    return printer ? -roundInt(size * dpi * printScale_ / 72.0)
                   : -roundInt(size * scaleY_ * 96 / 72.0);
}

TpgwDrawText::Placement TpgwDrawText::PlaceLines(int total, TpgwVAlign vAlign) {
    const int r = (rotation_ + 360) % 360;
    rotation_ = r;
    const int L = deviceRect_.Left, T0 = deviceRect_.Top, R = deviceRect_.Right,
              B = deviceRect_.Bottom;
    const double a = std::abs(sinDeg(r));
    const double b = std::abs(cosDeg(r));
    const double T = total;
    Placement p;
    int extent = 0;
    auto slantedWidth = [&] { return roundInt((R - L - T * a) / b); };
    if (r == 0) {
        p.x = L, p.y = T0, p.width = R - L, extent = B - T0;
    } else if (r < 90) {
        p.width = slantedWidth();
        p.x = L, p.y = T0 + roundInt(p.width * a);
        extent = (B - p.y) - roundInt(T * b) + total;
    } else if (r == 90) {
        p.x = L, p.y = B, p.width = B - T0, extent = R - L;
    } else if (r < 180) {
        p.width = slantedWidth();
        p.x = L + roundInt(p.width * b), p.y = B;
        extent = (B - T0) - roundInt(T * b + p.width * a) + total;
    } else if (r == 180) {
        p.x = R, p.y = B, p.width = R - L, extent = B - T0;
    } else if (r < 270) {
        p.width = slantedWidth();
        p.x = R, p.y = B - roundInt(p.width * a);
        extent = (p.y - T0) - roundInt(T * b) + total;
    } else if (r == 270) {
        p.x = R, p.y = T0, p.width = B - T0, extent = R - L;
    } else {
        p.width = slantedWidth();
        p.x = L + roundInt(T * a), p.y = T0;
        extent = (B - T0) - roundInt(p.width * a + T * b) + total;
    }

    double c = 1, s = 0;
    if (r % 90 == 0)
        c = cosDeg(r), s = sinDeg(r);
    else if (r > 90 && r < 270)
        c = -1;
    const double move = vAlign == vaBottom   ? extent - total
                        : vAlign == vaCenter ? (extent - total) / 2.0
                                             : 0;
    if (vAlign != vaTop) {
        p.y += roundInt(move * c);
        p.x += roundInt(move * s);
    }
    p.cos = cosDeg(r);
    p.sin = sinDeg(r);
    return p;
}

void TpgwDrawText::DrawText(TCanvas& canvas, TpgwHAlign hAlign, TpgwVAlign vAlign) {
    if (lines_.empty() || tags_.Count() == 0) return;
    Lock();
    struct Unlocker {
        TpgwDrawText& owner;
        ~Unlocker() { owner.Unlock(); }
    } unlock{*this};
    const bool printer = IsPrinterCanvas(canvas);
    const int dpiY = canvas.PixelsPerInchY() > 0 ? canvas.PixelsPerInchY() : 96;

    TFont& font = canvas.Font();
    font.Assign(workFont_);
    font.SetHeight(TargetFontHeight(fontSize_, printer, dpiY));
    TpgwHTMLTags firstRuns = tags_.GetItems(0);
    if (firstRuns.Count() > 0 && !firstRuns.GetItems(0).SameAsPrevious) {
        TpgwHTMLTag& run = firstRuns.GetItems(0);
        font.SetStyle(run.FontStyle);
        font.SetColor(run.FontColor);
        font.SetHeight(TargetFontHeight(run.FontSize, printer, dpiY));
        run.SameAsPrevious = true;
    }
    // The canvas font carries the rotation while the lines are drawn; every font change made
    // on the way keeps it.
    const bool rotated = rotation_ != 0;
    struct OrientationReset {
        TFont& font;
        bool active;
        ~OrientationReset() {
            if (active) font.SetOrientation(0);
        }
    } reset{font, rotated};
    if (rotated) font.SetOrientation(((rotation_ + 360) % 360) * 10);

    const int n = static_cast<int>(lines_.size());
    const int H = -font.Height();
    const int fh = FontPixels();
    int total;
    if (printer) {
        const double q = kDesignPPI / static_cast<double>(dpiY) / printScale_;
        total = roundInt((lineSpacing_ * scaleY_ * q * n + static_cast<double>(fh) * n) / q);
    } else {
        total =
            roundInt((lineSpacing_ * kRatio * n + static_cast<double>(fh) * n) / kRatio * scaleY_);
    }
    const int spacing = roundInt(lineSpacing_ * scaleY_);
    const int residual = wysiwyg_ ? total - (spacing * n + H * n) : 0;

    const Placement place = PlaceLines(total, vAlign);

    std::vector<int> pitches(static_cast<std::size_t>(n), spacing + H);
    if (n > 1) {
        const int s = residual < 0 ? -1 : 1;
        const int m = std::abs(residual);
        if (m < n) {
            DistributeEvenly(pitches.data(), 0, n - 2, m, s);
        } else {
            for (int i = 0; i < n - 1; ++i)
                pitches[static_cast<std::size_t>(i)] += s * (m / (n - 1));
            DistributeEvenly(pitches.data(), 0, n - 2, m - (n - 1) * (m / (n - 1)), s);
        }
    }

    canvas.SetBackgroundMode(bmTransparent);
    int x = place.x;
    int y = place.y;
    for (int i = 0; i < n; ++i) {
        const int flags = lines_[static_cast<std::size_t>(i)].flags;
        int gap = 0;
        TpgwHAlign align = hAlign;
        if ((flags & kFirstParagraphLine) && (hAlign == haLeft || hAlign == haBlock))
            gap = roundInt(paragraphGap_ * scaleX_);
        if ((flags & kLastParagraphLine) && hAlign == haBlock) align = rtl_ ? haRight : haLeft;
        // The indent moves the start along the line: moving it across a rotated line would put
        // the first line on top of the next one.
        DrawLine(canvas, lines_[static_cast<std::size_t>(i)].text, align, i, place.width - gap,
                 y - roundInt(gap * place.sin), x + roundInt(gap * place.cos), printer);
        y += roundInt(pitches[static_cast<std::size_t>(i)] * place.cos);
        x += roundInt(pitches[static_cast<std::size_t>(i)] * place.sin);
    }
}

void TpgwDrawText::DrawLine(TCanvas& canvas, const std::u16string& text, TpgwHAlign align,
                            int lineIndex, int width, int y, int x, bool printer) {
    const int len = static_cast<int>(text.size());
    if (len == 0) return;
    TFont& font = canvas.Font();
    const TFontStyles style = font.Style();
    workFont_.SetStyle(style);

    const std::size_t size = text.size();
    if (advances_.size() < size) advances_.resize(std::max(size, advances_.size() * 2));
    if (designWidths_.size() < size) designWidths_.resize(std::max(size, designWidths_.size() * 2));
    const int designSpacing = roundInt(charSpacing_ * kRatio);
    const int wd = tags_.CalcCharWidths(designWidths_.data(), text, workFont_, *measurer_,
                                        lineIndex, designSpacing, false) -
                   designSpacing;
    const int deviceSpacing = roundInt(charSpacing_ * scaleX_);
    int* adv = advances_.data();
    const int wv =
        tags_.CalcCharWidths(adv, text, font, *measurer_, lineIndex, deviceSpacing, false) -
        deviceSpacing;
    font.SetStyle(style);

    const int dpiX = canvas.PixelsPerInchX() > 0 ? canvas.PixelsPerInchX() : 96;
    int expected;
    if (!wysiwyg_)
        expected = wv;
    else if (printer)
        expected = roundInt(wd * printScale_ / (kDesignPPI / static_cast<double>(dpiX)));
    else
        expected = roundInt(wd / kRatio * scaleX_);
    int extra = expected - wv;

    const double c = cosDeg(rotation_);
    const double s = sinDeg(rotation_);
    int spaces = 0;
    switch (align) {
    case haRight:
        x += roundInt((width - expected + 1) * c);
        y -= roundInt((width - expected + 1) * s);
        x -= 1;
        if ((style.Contains(fsBold) || style.Contains(fsItalic)) && rotation_ == 0) x -= 1;
        break;
    case haCenter:
        x += roundInt((width - expected) / 2.0 * c);
        y -= roundInt((width - expected) / 2.0 * s);
        break;
    case haBlock:
        for (char16_t ch : text)
            if (ch == u' ' || ch == u'\u00A0') ++spaces;
        if (spaces == 0)
            align = haLeft;
        else
            extra = std::abs(width) - wv; // the line fills the whole width
        break;
    case haLeft:
        break;
    }

    const int sign = extra < 0 ? -1 : 1;
    const int m = std::abs(extra);
    if (align == haBlock) {
        const int q = m / spaces;
        const int e = m % spaces;
        int seen = 0;
        for (int i = 0; i < len; ++i) {
            const char16_t ch = text[static_cast<std::size_t>(i)];
            if (ch != u' ' && ch != u'\u00A0') continue;
            adv[i] += sign * q;
            if (seen < e) adv[i] += sign; // the remainder, one pixel each, so the line ends at W
            ++seen;
        }
    } else if (m > 0) {
        if (m < len) {
            DistributeEvenly(adv, 0, len - 1, m, sign);
        } else {
            for (int i = 0; i < len; ++i)
                adv[i] += sign * (m / len);
            DistributeEvenly(adv, 0, len - 1, m - len * (m / len), sign);
        }
    }

    // Output, one call per run of equal font.
    const bool withRuns = lineIndex < tags_.Count();
    const int runCount = withRuns ? tags_.GetItems(lineIndex).Count() : 0;
    int lowered = 0;
    if (runCount > 0) {
        const TpgwHTMLTag& run = tags_.GetItems(lineIndex).GetItems(0);
        lowered = roundInt(run.Lowered * run.FontSize * scaleY_);
    }
    int segment = 0;
    auto flush = [&](int end) {
        if (end <= segment) return;
        const std::u16string_view part = std::u16string_view(text).substr(
            static_cast<std::size_t>(segment), static_cast<std::size_t>(end - segment));
        canvas.ExtTextOut(x + roundInt(lowered * s), y + roundInt(lowered * c), options_,
                          &deviceRect_, part, wysiwyg_ ? adv + segment : nullptr);
        int sum = 0;
        for (int i = segment; i < end; ++i)
            sum += adv[i];
        if (rotation_ == 0) {
            x += sum;
        } else {
            x += roundInt(sum * c);
            y -= roundInt(sum * s);
        }
        segment = end;
    };
    for (int i = 0; i < len && i < runCount; ++i) {
        TpgwHTMLTag& run = tags_.GetItems(lineIndex).GetItems(i);
        if (run.SameAsPrevious) continue;
        flush(i);
        font.SetHeight(printer ? -roundInt(run.FontSize * dpiX * printScale_ / 72.0)
                               : -roundInt(run.FontSize * scaleY_ * 96 / 72.0));
        font.SetStyle(run.FontStyle);
        font.SetColor(run.FontColor);
        lowered = roundInt(run.Lowered * run.FontSize * scaleY_);
        run.SameAsPrevious = true;
    }
    flush(len);
}
