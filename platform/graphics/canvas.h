#pragma once
// TCanvas: the drawing surface every report object, preview and export paints on. The public
// operations keep the class library's semantics (GDI geometry: rectangles exclude their right
// and bottom edges, text is placed by the top-left of its character cell); the backends
// implement a small set of primitives: a raster image, a printer page, or a recording.

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/graphics/brush.h"
#include "platform/graphics/font.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/pen.h"
#include "platform/graphics/raster_image.h"

class TGraphic;
class TRecording;

enum TBackgroundMode : std::uint8_t { bmTransparent, bmOpaque };

// Options of ExtTextOut.
inline constexpr unsigned ETO_OPAQUE = 2;
inline constexpr unsigned ETO_CLIPPED = 4;
inline constexpr unsigned ETO_RTLREADING = 128;

// Everything a primitive draws with.
struct TCanvasState {
    TPenData Pen;
    TBrushData Brush;
    TFontData Font;
    TBackgroundMode BackgroundMode = bmOpaque;
    friend bool operator==(const TCanvasState&, const TCanvasState&) = default;
};

enum class TShapeKind : std::uint8_t { Rectangle, RoundRect, Ellipse, Arc, Pie, Chord };
enum class TClipOp : std::uint8_t { Save, Restore, Intersect, Exclude };

class TCanvas {
public:
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TFont& Font() { return font_; }
    TPen& Pen() { return pen_; }
    TBrush& Brush() { return brush_; }
    const TFont& Font() const { return font_; }
    const TPen& Pen() const { return pen_; }
    const TBrush& Brush() const { return brush_; }
    void SetFont(const TFont& font) { font_.Assign(font); }
    void SetPen(const TPen& pen) { pen_.Assign(pen); }
    void SetBrush(const TBrush& brush) { brush_.Assign(brush); }

    TPoint PenPos() const { return penPos_; }
    void SetPenPos(TPoint p) { penPos_ = p; }

    // Opaque: text cells and dash gaps are filled with the brush colour. A brush change makes
    // the mode opaque for a solid brush and transparent for any other, as the class library does.
    TBackgroundMode BackgroundMode() const { return bkMode_; }
    void SetBackgroundMode(TBackgroundMode mode) { bkMode_ = mode; }

    int PixelsPerInchX() const { return dpiX_; }
    int PixelsPerInchY() const { return dpiY_; }

    // Serialises drawing from several threads (the text layout locks its measuring canvas).
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }
    bool TryLock() { return lock_.try_lock(); }

    void MoveTo(int x, int y) { penPos_ = {x, y}; }
    // Draws from the pen position to (x, y), excluding the end point, and moves the pen there.
    void LineTo(int x, int y);
    void Polyline(const std::vector<TPoint>& points);
    void Polygon(const std::vector<TPoint>& points);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight);
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
    // Counter-clockwise from the radial through (x3, y3) to the radial through (x4, y4).
    void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    // Fills with the brush, no outline.
    void FillRect(const TRect& r);
    // A one-pixel border inside r in the brush colour.
    void FrameRect(const TRect& r);

    void TextOut(int x, int y, std::string_view utf8);
    void TextOutW(int x, int y, std::u16string_view text);
    // Text clipped to r, placed at (x, y).
    void TextRect(const TRect& r, int x, int y, std::string_view utf8);
    // The general text call: options of ETO_*, an optional rectangle (clip and/or opaque
    // fill), and optional advances, one per UTF-16 unit (null: the font's own advances).
    void ExtTextOut(int x, int y, unsigned options, const TRect* rect, std::u16string_view text,
                    const int* advances);

    TSize TextExtent(std::string_view utf8) const;
    TSize TextExtentW(std::u16string_view text) const;
    int TextWidth(std::string_view utf8) const { return TextExtent(utf8).cx; }
    int TextHeight(std::string_view utf8) const { return TextExtent(utf8).cy; }
    // Partial extents: cumulative[i] = width of text[0..i]; returns the whole width.
    int TextExtents(std::u16string_view text, int* cumulative) const;
    TTextMetric TextMetrics() const;
    // The measurer of the current font at this canvas's resolution.
    std::shared_ptr<const TFontMeasurer> Measurer() const;

    void Draw(int x, int y, const TGraphic& graphic);
    void StretchDraw(const TRect& r, const TGraphic& graphic);
    // Draws an image scaled into r (alpha-blended when it has alpha).
    void DrawImage(const TRect& r, const TRasterImage& image);
    void DrawImage(const TRect& r, std::shared_ptr<const TRasterImage> image);

    // Pixel access exists on raster canvases; the others raise ENotSupported.
    virtual TColor Pixel(int x, int y) const;
    virtual void SetPixel(int x, int y, TColor color);
    // The pixels of r (parts outside the canvas are white); raster canvases only.
    virtual TRasterImage CopyPixels(const TRect& r) const;
    // Copies src of source (a raster canvas, possibly this one) scaled into dest.
    void CopyRect(const TRect& dest, const TCanvas& source, const TRect& src);

    // The clip region: Save pushes it, Restore pops it (unbalanced Restore is ignored).
    void SaveClip();
    void RestoreClip();
    void IntersectClipRect(const TRect& r);
    void ExcludeClipRect(const TRect& r);

    // The state primitives draw with.
    TCanvasState State() const;

    // Around every drawing call: before it and after it.
    std::function<void(TCanvas&)> OnChanging;
    std::function<void(TCanvas&)> OnChange;

protected:
    // Called before every drawing call (a printer canvas adjusts its font here).
    virtual void Changing();
    virtual void Changed();
    struct ChangeScope {
        TCanvas& c;
        explicit ChangeScope(TCanvas& canvas) : c(canvas) { c.Changing(); }
        ~ChangeScope() { c.Changed(); }
    };

    TCanvas(int dpiX, int dpiY);
    void SetPixelsPerInch(int dpiX, int dpiY);

    // Backend primitives. `state` is the complete state the primitive draws with.
    virtual void DrawPolyline(const TCanvasState& state, const std::vector<TPoint>& points) = 0;
    virtual void DrawPolygon(const TCanvasState& state, const std::vector<TPoint>& points) = 0;
    // bounds; for RoundRect p3.X/p3.Y = corner width/height; for arcs p3 and p4 the radials.
    virtual void DrawShape(const TCanvasState& state, TShapeKind kind, const TRect& bounds,
                           TPoint p3, TPoint p4) = 0;
    virtual void DrawFill(const TCanvasState& state, const TRect& r) = 0;
    // advances: one per UTF-16 unit, always given.
    virtual void DrawText(const TCanvasState& state, int x, int y, unsigned options,
                          const TRect* rect, std::u16string_view text, const int* advances) = 0;
    virtual void DrawRaster(const TRect& r, std::shared_ptr<const TRasterImage> image) = 0;
    virtual void Clip(TClipOp op, const TRect& r) = 0;

    friend class TRecording;

private:
    TFont font_;
    TPen pen_;
    TBrush brush_;
    TPoint penPos_;
    TBackgroundMode bkMode_ = bmOpaque;
    int dpiX_;
    int dpiY_;
    std::recursive_mutex lock_;
};

// Draws a shape of the given kind with the canvas's pen and brush: bounds, and for the round
// rectangle the corner size in p3, for arcs, pies and chords the start and end points.
void DrawShapeKind(TCanvas& canvas, TShapeKind kind, const TRect& bounds, TPoint p3, TPoint p4);
