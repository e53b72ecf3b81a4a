#pragma once
// Private to platform/ui: the canvas a control paints on while its paint event runs.

#include <QPainter>

#include "platform/graphics/painter_canvas.h"

class TWidgetCanvas final : public TPainterCanvas {
public:
    TWidgetCanvas() : TPainterCanvas(96, 96) {}
    void Begin(QPainter* painter, int width, int height) { BindPainter(painter, width, height); }
    void End() { BindPainter(nullptr, 0, 0); }
};
