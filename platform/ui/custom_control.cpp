#include "platform/ui/custom_control.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include "platform/core/properties.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/widget_canvas_p.h"

namespace {

class CustomWidget final : public QWidget {
public:
    explicit CustomWidget(TCustomControl* owner) : owner_(owner) {
        bars_[0] = new QScrollBar(Qt::Horizontal, this);
        bars_[1] = new QScrollBar(Qt::Vertical, this);
        for (int k = 0; k < 2; ++k) {
            bars_[k]->hide();
            QScrollBar* bar = bars_[k];
            QObject::connect(bar, &QScrollBar::actionTriggered, bar, [this, k, bar](int action) {
                if (!owner_) return;
                TScrollCode code = scPosition;
                switch (action) {
                case QAbstractSlider::SliderSingleStepAdd:
                    code = scLineDown;
                    break;
                case QAbstractSlider::SliderSingleStepSub:
                    code = scLineUp;
                    break;
                case QAbstractSlider::SliderPageStepAdd:
                    code = scPageDown;
                    break;
                case QAbstractSlider::SliderPageStepSub:
                    code = scPageUp;
                    break;
                case QAbstractSlider::SliderToMinimum:
                    code = scTop;
                    break;
                case QAbstractSlider::SliderToMaximum:
                    code = scBottom;
                    break;
                case QAbstractSlider::SliderMove:
                    code = scTrack;
                    break;
                default:
                    code = scPosition;
                    break;
                }
                const int proposed = bar->sliderPosition();
                SafeCall(
                    [&] { owner_->ScrollAction(static_cast<TScrollBarKind>(k), code, proposed); });
                if (owner_)
                    bar->setSliderPosition(owner_->ScrollPos(static_cast<TScrollBarKind>(k)));
            });
        }
    }
    void Detach() { owner_ = nullptr; }
    QScrollBar* Bar(TScrollBarKind k) const { return bars_[k]; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!owner_) return;
        QPainter p(this);
        SafeCall([&] { owner_->PaintNow(&p); });
    }

private:
    TCustomControl* owner_;
    QScrollBar* bars_[2];
};

} // namespace

void TCustomControl::RegisterProperties(TClassBuilder<TCustomControl>& b) {
    b.AddMethod("OnPaint", "TNotifyEvent");
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {
    auto* w = new CustomWidget(this);
    w->setAttribute(Qt::WA_OpaquePaintEvent, true);
    SetBounds(0, 0, 100, 100);
    AttachWidget(w);
    lastClient_ = ClientRect();
}

TCustomControl::~TCustomControl() {
    if (auto* w = dynamic_cast<CustomWidget*>(Widget())) w->Detach();
    if (mouseCapture_) SetMouseCapture(false);
}

TCanvas* TCustomControl::Canvas() const {
    if (paintCanvas_) return paintCanvas_;
    if (!measureCanvas_) measureCanvas_ = MakeMeasuringCanvas(96);
    measureCanvas_->SetFont(*Font());
    return measureCanvas_.get();
}

int TCustomControl::FrameWidth() const {
    return borderStyle_ == bsSingle ? 2 : 0;
}

void TCustomControl::SetBorderStyle(TFormBorderStyle value) {
    borderStyle_ = value == bsSingle ? bsSingle : bsNone;
    LayoutBars();
    Invalidate();
}

void TCustomControl::SetScrollBars(TScrollStyle value) {
    scrollBars_ = value;
    LayoutBars();
}

TScrollInfo TCustomControl::ScrollInfo(TScrollBarKind kind) const {
    return info_[kind];
}

void TCustomControl::SetScrollInfo(TScrollBarKind kind, const TScrollInfo& info) {
    info_[kind] = info;
    if (auto* w = static_cast<CustomWidget*>(Widget())) {
        QScrollBar* bar = w->Bar(kind);
        const bool blocked = bar->blockSignals(true);
        const int maxPos = info.Page > 0 ? std::max(info.Min, info.Max - info.Page + 1) : info.Max;
        bar->setRange(info.Min, maxPos);
        bar->setPageStep(std::max(1, info.Page));
        bar->setSingleStep(1);
        if (!inScroll_) bar->setValue(info.Pos);
        bar->blockSignals(blocked);
    }
    LayoutBars();
}

void TCustomControl::SetScrollPos(TScrollBarKind kind, int pos) {
    TScrollInfo i = info_[kind];
    i.Pos = pos;
    SetScrollInfo(kind, i);
}

bool TCustomControl::ScrollBarVisible(TScrollBarKind kind) const {
    const bool allowed =
        scrollBars_ == ssBoth ||
        (kind == sbHorizontal ? scrollBars_ == ssHorizontal : scrollBars_ == ssVertical);
    const TScrollInfo& i = info_[kind];
    return allowed && i.Max - i.Min + 1 > std::max(0, i.Page) && i.Max > i.Min;
}

void TCustomControl::LayoutBars() {
    auto* w = static_cast<CustomWidget*>(Widget());
    if (!w) return;
    const int f = FrameWidth();
    const int extent = w->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w);
    const bool h = ScrollBarVisible(sbHorizontal), v = ScrollBarVisible(sbVertical);
    const int innerW = Width() - 2 * f, innerH = Height() - 2 * f;
    w->Bar(sbHorizontal)->setVisible(h);
    w->Bar(sbVertical)->setVisible(v);
    if (h)
        w->Bar(sbHorizontal)
            ->setGeometry(f, f + innerH - extent, innerW - (v ? extent : 0), extent);
    if (v)
        w->Bar(sbVertical)->setGeometry(f + innerW - extent, f, extent, innerH - (h ? extent : 0));
    // Bars appearing or going change the client area: the control hears it as a resize.
    const TRect client = ClientRect();
    if (!(client == lastClient_)) {
        lastClient_ = client;
        TWinControl::Resize();
    }
}

TRect TCustomControl::ClientRect() const {
    const QWidget* w = Widget();
    const int f = FrameWidth();
    const int extent = w ? w->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w) : 16;
    int width = Width() - 2 * f, height = Height() - 2 * f;
    if (ScrollBarVisible(sbVertical)) width -= extent;
    if (ScrollBarVisible(sbHorizontal)) height -= extent;
    return {0, 0, std::max(0, width), std::max(0, height)};
}

TPoint TCustomControl::ChildOrigin() const {
    return {FrameWidth(), FrameWidth()};
}

void TCustomControl::Resize() {
    LayoutBars();
    lastClient_ = ClientRect();
    TWinControl::Resize();
}

void TCustomControl::SetMouseCapture(bool value) {
    mouseCapture_ = value;
    if (QWidget* w = Widget()) {
        if (value)
            w->grabMouse();
        else
            w->releaseMouse();
    }
}

void TCustomControl::PaintNow(void* qpainter) {
    auto& p = *static_cast<QPainter*>(qpainter);
    const int f = FrameWidth();
    if (f > 0) {
        QRect r(0, 0, Width(), Height());
        p.setPen(ToQColor(clBtnShadow));
        p.drawLine(r.left(), r.bottom(), r.left(), r.top());
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.setPen(ToQColor(clBtnHighlight));
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
        p.setPen(ToQColor(cl3DDkShadow));
        p.drawRect(r.adjusted(1, 1, -2, -2));
    }
    const TRect client = ClientRect();
    p.save();
    p.translate(f, f);
    p.setClipRect(0, 0, client.Width(), client.Height());
    TWidgetCanvas canvas;
    canvas.SetFont(*Font());
    canvas.Begin(&p, client.Width(), client.Height());
    paintCanvas_ = &canvas;
    struct Reset {
        TCanvas*& c;
        ~Reset() { c = nullptr; }
    } reset{paintCanvas_};
    Paint();
    canvas.End();
    p.restore();
}

void TCustomControl::Paint() {
    TCanvas* c = Canvas();
    c->Brush().SetColor(Color());
    c->FillRect(ClientRect());
    if (OnPaint) OnPaint(this);
}

void TCustomControl::ScrollAction(TScrollBarKind kind, TScrollCode code, int proposed) {
    inScroll_ = true;
    struct Reset {
        bool& f;
        ~Reset() { f = false; }
    } reset{inScroll_};
    const TScrollInfo& i = info_[kind];
    int pos = i.Pos;
    switch (code) {
    case scLineUp:
        pos -= 1;
        break;
    case scLineDown:
        pos += 1;
        break;
    case scPageUp:
        pos -= std::max(1, i.Page);
        break;
    case scPageDown:
        pos += std::max(1, i.Page);
        break;
    case scTop:
        pos = i.Min;
        break;
    case scBottom:
        pos = i.Max;
        break;
    case scPosition:
    case scTrack:
        pos = proposed;
        break;
    case scEndScroll:
        break;
    }
    Scroll(kind, code, pos);
}

void TCustomControl::Scroll(TScrollBarKind kind, TScrollCode code, int& pos) {
    if (OnScroll) OnScroll(this, kind, code, pos);
    const TScrollInfo& i = info_[kind];
    const int maxPos = i.Page > 0 ? std::max(i.Min, i.Max - i.Page + 1) : i.Max;
    SetScrollPos(kind, std::clamp(pos, i.Min, std::max(i.Min, maxPos)));
}

void TCustomControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TWinControl::MouseDown(button, shift, x - FrameWidth(), y - FrameWidth());
}

void TCustomControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TWinControl::MouseUp(button, shift, x - FrameWidth(), y - FrameWidth());
}

void TCustomControl::MouseMove(TShiftState shift, int x, int y) {
    TWinControl::MouseMove(shift, x - FrameWidth(), y - FrameWidth());
}
