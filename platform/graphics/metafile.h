#pragma once
// Our metafile: an ordered list of drawing records made by a recording canvas. It replays
// scaled into any rectangle on any canvas, keeps its text with the text's rectangles for the
// search and the exports, and is stored in a compact binary form.

#include <memory>
#include <string>

#include "platform/graphics/canvas.h"
#include "platform/graphics/graphic.h"

struct TTextRecord {
    std::u16string Text;
    int X = 0, Y = 0;           // top-left of the character cell of the first character
    std::vector<int> Advances;  // one per UTF-16 unit
    unsigned Options = 0;       // ETO_*
    bool HasRect = false;
    TRect Rect;                 // the clipping / opaque rectangle when HasRect
    TRect Bounds;               // the cells the text covers (rotation taken into account)
    TFontData Font;
};

class TRecording {
public:
    TRecording(int width = 0, int height = 0, int dpiX = 96, int dpiY = 96);
    ~TRecording();
    TRecording(const TRecording&);
    TRecording& operator=(const TRecording&);
    TRecording(TRecording&&) noexcept;
    TRecording& operator=(TRecording&&) noexcept;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int PixelsPerInchX() const { return dpiX_; }
    int PixelsPerInchY() const { return dpiY_; }
    std::size_t RecordCount() const;
    bool IsEmpty() const { return RecordCount() == 0; }

    // Replays into dest: the recording's (0, 0, Width, Height) maps onto dest. The target's
    // clip region is the same afterwards; its pen, brush and font are not touched.
    void Play(TCanvas& target, const TRect& dest) const;
    void Play(TCanvas& target) const { Play(target, {0, 0, width_, height_}); }
    std::vector<TTextRecord> TextRecords() const;

    std::vector<std::uint8_t> Serialize() const;
    // Raises EInvalidGraphic on damaged data.
    static TRecording Deserialize(std::span<const std::uint8_t> data);
    static bool IsRecording(std::span<const std::uint8_t> data);

    struct Record;
    struct Data;

private:
    friend class TRecordingCanvas;
    int width_, height_, dpiX_, dpiY_;
    std::unique_ptr<Data> d_;
};

class TRecordingCanvas final : public TCanvas {
public:
    TRecordingCanvas(int width, int height, int dpiX = 96, int dpiY = 96);
    ~TRecordingCanvas() override;

    const TRecording& Recording() const { return recording_; }
    // Hands the records over and starts an empty recording of the same frame.
    TRecording TakeRecording();

protected:
    void DrawPolyline(const TCanvasState& state, const std::vector<TPoint>& points) override;
    void DrawPolygon(const TCanvasState& state, const std::vector<TPoint>& points) override;
    void DrawShape(const TCanvasState& state, TShapeKind kind, const TRect& bounds, TPoint p3, TPoint p4) override;
    void DrawFill(const TCanvasState& state, const TRect& r) override;
    void DrawText(const TCanvasState& state, int x, int y, unsigned options, const TRect* rect,
                  std::u16string_view text, const int* advances) override;
    void DrawRaster(const TRect& r, std::shared_ptr<const TRasterImage> image) override;
    void Clip(TClipOp op, const TRect& r) override;

private:
    TRecording recording_;
};

// A recording as a graphic, so pictures can hold it.
class TMetafile : public TGraphic {
public:
    TMetafile();
    explicit TMetafile(TRecording recording);
    TMetafile(const TMetafile& other);
    ~TMetafile() override;

    const char* ClassName() const override { return "TMetafile"; }
    std::unique_ptr<TGraphic> Clone() const override;
    bool Empty() const override;
    int Width() const override;
    int Height() const override;
    void Draw(TCanvas& canvas, const TRect& r) const override;
    TRasterImage ToImage() const override;
    void Assign(const TGraphic& source) override;
    void LoadFromBytes(std::span<const std::uint8_t> data) override;
    std::vector<std::uint8_t> SaveToBytes() const override;

    const TRecording& Recording() const { return *recording_; }

private:
    std::shared_ptr<const TRecording> recording_;
};
