#include "platform/graphics/raster_canvas.h"

#include <QImage>
#include <QPainter>
#include <cstring>

#include "platform/core/exception.h"
#include "platform/graphics/gui_application.h"
#include "platform/graphics/painter_canvas_p.h"

struct TRasterCanvas::Surface {
    QImage own;
    QImage* image = nullptr;
    QPainter painter;
};

void TRasterCanvas::Begin(QImage* image)
{
    if (s_->painter.isActive()) s_->painter.end();
    s_->image = image;
    if (image && !image->isNull() && image->format() != QImage::Format_Mono) {
        s_->painter.begin(image);
        BindPainter(&s_->painter, image->width(), image->height());
    } else {
        BindPainter(nullptr, 0, 0);
    }
}

TRasterCanvas::TRasterCanvas(int width, int height, int dpi, TColor background)
    : TPainterCanvas(dpi, dpi), s_(std::make_unique<Surface>())
{
    EnsureGuiApplication();
    if (width < 0 || height < 0 || static_cast<long long>(width) * height > (1LL << 28))
        throw EInvalidArgument("invalid raster size " + std::to_string(width) + " x " + std::to_string(height));
    s_->own = QImage(width, height, QImage::Format_RGB32);
    const TColor rgb = ColorToRGB(background);
    s_->own.fill(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)));
    Begin(&s_->own);
}

TRasterCanvas::TRasterCanvas(QImage* external, int dpi) : TPainterCanvas(dpi, dpi), s_(std::make_unique<Surface>())
{
    EnsureGuiApplication();
    Begin(external);
}

TRasterCanvas::~TRasterCanvas()
{
    if (s_->painter.isActive()) s_->painter.end();
}

void TRasterCanvas::Rebind(QImage* external) { Begin(external ? external : &s_->own); }

int TRasterCanvas::Width() const { return s_->image ? s_->image->width() : 0; }
int TRasterCanvas::Height() const { return s_->image ? s_->image->height() : 0; }

TColor TRasterCanvas::Pixel(int x, int y) const
{
    const QImage* img = s_->image;
    if (!img || x < 0 || y < 0 || x >= img->width() || y >= img->height()) return clNone;
    const QRgb v = img->pixel(x, y);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

void TRasterCanvas::SetPixel(int x, int y, TColor color)
{
    QImage* img = s_->image;
    if (!img || x < 0 || y < 0 || x >= img->width() || y >= img->height()) return;
    const TColor rgb = ColorToRGB(color);
    img->setPixel(x, y, qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)));
}

TRasterImage TRasterCanvas::CopyPixels(const TRect& r) const
{
    TRasterImage out(std::max(0, r.Width()), std::max(0, r.Height()), 0xFFFFFFFFu);
    const QImage* img = s_->image;
    if (!img || img->isNull()) return out;
    for (int y = 0; y < out.Height; ++y) {
        const int sy = r.Top + y;
        if (sy < 0 || sy >= img->height()) continue;
        for (int x = 0; x < out.Width; ++x) {
            const int sx = r.Left + x;
            if (sx >= 0 && sx < img->width()) out.At(x, y) = img->pixel(sx, sy) | 0xFF000000u;
        }
    }
    return out;
}

TRasterImage TRasterCanvas::ToImage() const
{
    TRasterImage out;
    if (!s_->image || s_->image->isNull()) return out;
    const bool alpha = s_->image->hasAlphaChannel();
    const QImage converted = s_->image->convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    out = TRasterImage(converted.width(), converted.height());
    out.HasAlpha = alpha;
    for (int y = 0; y < converted.height(); ++y)
        std::memcpy(&out.Pixels[static_cast<std::size_t>(y) * out.Width], converted.constScanLine(y),
                    static_cast<std::size_t>(out.Width) * 4);
    return out;
}

std::unique_ptr<TRasterCanvas> MakeMeasuringCanvas(int ppi) { return std::make_unique<TRasterCanvas>(1, 1, ppi); }
