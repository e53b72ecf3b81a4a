#pragma once
// Private to platform/graphics.

#include <QPainter>
#include <QRawFont>
#include <QRegion>
#include <map>
#include <optional>
#include <vector>

#include "platform/graphics/painter_canvas.h"

struct FontFace;

struct TPainterCanvas::Painter {
    QPainter* painter = nullptr;
    int width = 0;
    int height = 0;
    std::optional<QRegion> clip;  // none: the whole device
    std::vector<std::optional<QRegion>> clipStack;
    std::map<std::pair<const FontFace*, int>, QRawFont> rawFonts;

    void ApplyClip();
    const QRawFont& RawFont(const FontFace* face, int em);
};
