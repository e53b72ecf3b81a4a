// Drawing pictures onto canvases, directly or through a bitmap.
#include "report/utils.h"

#include <cstring>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/graphic.h"

void StretchBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap) {
    canvas.StretchDraw(rect, bitmap);
}

void DrawGraphic(TCanvas& canvas, const TRect& rect, const TGraphic& graphic, bool viaBitmap) {
    if (!viaBitmap || std::strcmp(graphic.ClassName(), "TMetafile") == 0) {
        canvas.StretchDraw(rect, graphic);
        return;
    }
    if (graphic.Empty()) return;
    TBitmap bitmap(graphic.Width(), graphic.Height(), pf32bit);
    bitmap.Canvas().Draw(0, 0, graphic);
    StretchBitmap(canvas, rect, bitmap);
}
