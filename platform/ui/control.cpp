#include "platform/ui/control.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QVariant>
#include <QWheelEvent>
#include <algorithm>

#include "platform/core/properties.h"
#include "platform/graphics/font_measurer.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/form.h"
#include "platform/ui/hints.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"

// ---- helpers
// -------------------------------------------------------------------------------------

QFont ToQFont(const TFontData& font) {
    QFont f(QString::fromStdString(ResolveFontFace(font.Name)));
    f.setPixelSize(std::max(1, FontEmPixels(font.Name, font.Style, font.Height)));
    f.setBold(font.Style.Contains(fsBold));
    f.setItalic(font.Style.Contains(fsItalic));
    f.setUnderline(font.Style.Contains(fsUnderline));
    f.setStrikeOut(font.Style.Contains(fsStrikeOut));
    return f;
}

QColor ToQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& color) {
    return RGB(color.red(), color.green(), color.blue());
}

Qt::CursorShape ToQtCursor(TCursor cursor) {
    switch (cursor) {
    case crNone:
        return Qt::BlankCursor;
    case crCross:
        return Qt::CrossCursor;
    case crIBeam:
        return Qt::IBeamCursor;
    case crSizeNESW:
        return Qt::SizeBDiagCursor;
    case crSizeNS:
        return Qt::SizeVerCursor;
    case crSizeNWSE:
        return Qt::SizeFDiagCursor;
    case crSizeWE:
        return Qt::SizeHorCursor;
    case crUpArrow:
        return Qt::UpArrowCursor;
    case crHourGlass:
    case crSQLWait:
        return Qt::WaitCursor;
    case crDrag:
    case crMultiDrag:
        return Qt::DragCopyCursor;
    case crNoDrop:
    case crNo:
        return Qt::ForbiddenCursor;
    case crHSplit:
        return Qt::SplitHCursor;
    case crVSplit:
        return Qt::SplitVCursor;
    case crAppStart:
        return Qt::BusyCursor;
    case crHelp:
        return Qt::WhatsThisCursor;
    case crHandPoint:
        return Qt::PointingHandCursor;
    case crSizeAll:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

TShiftState ShiftFromToolkit(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier) s |= ShiftBit(ssShift);
    if (modifiers & Qt::AltModifier) s |= ShiftBit(ssAlt);
    if (modifiers & Qt::ControlModifier) s |= ShiftBit(ssCtrl);
    if (buttons & Qt::LeftButton) s |= ShiftBit(ssLeft);
    if (buttons & Qt::RightButton) s |= ShiftBit(ssRight);
    if (buttons & Qt::MiddleButton) s |= ShiftBit(ssMiddle);
    return s;
}

TRasterImage ToRasterImage(const QImage& image) {
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    TRasterImage out(src.width(), src.height());
    for (int y = 0; y < src.height(); ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(src.constScanLine(y));
        std::copy(line, line + src.width(),
                  out.Pixels.begin() + static_cast<std::ptrdiff_t>(y) * src.width());
    }
    out.HasAlpha = image.hasAlphaChannel();
    return out;
}

QImage ToQImage(const TRasterImage& image) {
    if (image.IsEmpty()) return {};
    QImage out(image.Width, image.Height,
               image.HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < image.Height; ++y)
        std::copy_n(image.Pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.Width,
                    image.Width, reinterpret_cast<std::uint32_t*>(out.scanLine(y)));
    return out;
}

std::uint16_t VirtualKeyFromToolkit(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<std::uint16_t>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<std::uint16_t>(VK_F1 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Pause:
        return VK_PAUSE;
    case Qt::Key_CapsLock:
        return VK_CAPITAL;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Help:
        return VK_HELP;
    case Qt::Key_NumLock:
        return VK_NUMLOCK;
    case Qt::Key_ScrollLock:
        return VK_SCROLL;
    default:
        return 0;
    }
}

TControl* ControlFromWidget(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kControlProperty);
        if (v.isValid()) return static_cast<TControl*>(v.value<void*>());
    }
    return nullptr;
}

// ---- event routing
// -------------------------------------------------------------------------------

void ControlEventFilter::Watch(QWidget* inner) {
    inner->installEventFilter(this);
    inner->setMouseTracking(true);
    inner->setAttribute(Qt::WA_NoMousePropagation, true);
}

namespace {

TMouseButton ButtonOf(Qt::MouseButton b) {
    if (b == Qt::RightButton) return mbRight;
    if (b == Qt::MiddleButton) return mbMiddle;
    return mbLeft;
}

} // namespace

bool ControlEventFilter::eventFilter(QObject* watched, QEvent* event) {
    if (!control_ || forwarding_) return false;
    TControl* c = control_;
    QWidget* w = c->Widget();
    auto* src = qobject_cast<QWidget*>(watched);
    if (!w || !src) return false;
    auto local = [&](QPointF p) { return src == w ? p.toPoint() : src->mapTo(w, p.toPoint()); };
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = local(me->position());
        if (me->button() == Qt::LeftButton) c->Internals().leftPressed = true;
        SafeCall([&] {
            c->MouseDown(ButtonOf(me->button()), ShiftFromToolkit(me->modifiers(), me->buttons()),
                         p.x(), p.y());
        });
        return false;
    }
    case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = local(me->position());
        QPointer<QWidget> guard(w);
        if (me->button() == Qt::LeftButton) SafeCall([&] { c->DblClick(); });
        if (!guard || !control_) return true;
        SafeCall([&] {
            c->MouseDown(ButtonOf(me->button()),
                         ShiftFromToolkit(me->modifiers(), me->buttons()) | ShiftBit(ssDouble),
                         p.x(), p.y());
        });
        return !guard || !control_;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = local(me->position());
        const TMouseButton button = ButtonOf(me->button());
        const TShiftState shift = ShiftFromToolkit(me->modifiers(), me->buttons());
        // The widget handles the release first (a button clicks there), then OnMouseUp.
        QPointer<QWidget> guard(w);
        QPointer<QObject> self(this);
        forwarding_ = true;
        QCoreApplication::sendEvent(watched, event);
        if (!self) return true;
        forwarding_ = false;
        if (!guard || !control_) return true;
        const bool wasPressed = c->Internals().leftPressed && button == mbLeft;
        if (button == mbLeft) c->Internals().leftPressed = false;
        if (wasPressed && !c->OwnClick() && w->rect().contains(p)) SafeCall([&] { c->Click(); });
        if (!guard || !control_) return true;
        SafeCall([&] { c->MouseUp(button, shift, p.x(), p.y()); });
        return true;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = local(me->position());
        SafeCall(
            [&] { c->MouseMove(ShiftFromToolkit(me->modifiers(), me->buttons()), p.x(), p.y()); });
        return false;
    }
    case QEvent::Wheel: {
        auto* we = static_cast<QWheelEvent*>(event);
        const QPoint d = we->angleDelta();
        const int delta = d.y() != 0 ? d.y() : d.x();
        const QPointF g = we->globalPosition();
        bool handled = false;
        SafeCall([&] {
            handled = c->MouseWheel(ShiftFromToolkit(we->modifiers(), we->buttons()), delta,
                                    qRound(g.x()), qRound(g.y()));
        });
        if (handled) return true;
        // A wheel the control does not use goes on to its parent (a scroll box scrolls).
        QPointer<QWidget> guard(w);
        QPointer<QObject> self(this);
        forwarding_ = true;
        event->accept();
        QCoreApplication::sendEvent(watched, event);
        if (!self) return true;
        forwarding_ = false;
        if (!guard || !control_ || event->isAccepted() || !c->Parent()) return true;
        if (QWidget* up = c->Parent()->Widget()) {
            // Scroll areas take the wheel on their viewport.
            if (auto* area = qobject_cast<QAbstractScrollArea*>(up)) up = area->viewport();
            event->accept();
            QCoreApplication::sendEvent(up, event);
        }
        return true;
    }
    case QEvent::ContextMenu: {
        TPopupMenu* menu = nullptr;
        SafeCall([&] { menu = c->ContextPopupMenu(); });
        if (!menu || !menu->AutoPopup()) return false;
        auto* ce = static_cast<QContextMenuEvent*>(event);
        SafeCall([&] {
            menu->SetPopupComponent(c);
            menu->Popup(ce->globalPos().x(), ce->globalPos().y());
        });
        return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* wc = dynamic_cast<TWinControl*>(c);
        if (!wc) return false;
        // A key the focused control left unused travels up to its parents' widgets; the class
        // library gives it to the focused control only (and to a previewing form).
        static const QEvent* handledKey = nullptr;
        static const TControl* handledBy = nullptr;
        if (event == handledKey && handledBy != c) {
            bool ancestor = false;
            for (const TControl* p = handledBy ? handledBy->Parent() : nullptr; p; p = p->Parent())
                if (p == c) ancestor = true;
            if (ancestor) return false;
        }
        handledKey = event;
        handledBy = c;
        auto* ke = static_cast<QKeyEvent*>(event);
        std::uint16_t vk = VirtualKeyFromToolkit(ke->key());
        const TShiftState shift = ShiftFromToolkit(ke->modifiers(), Qt::NoButton);
        bool consumed = false;
        QPointer<QWidget> guard(w);
        if (event->type() == QEvent::KeyRelease) {
            if (vk) SafeCall([&] { consumed = wc->DoKeyUp(vk, shift); });
            return consumed || !guard;
        }
        if (vk) SafeCall([&] { consumed = wc->DoKeyDown(vk, shift); });
        if (consumed || !guard || !control_) return true;
        char16_t ch = 0;
        const QString text = ke->text();
        if (!text.isEmpty()) ch = text.at(0).unicode();
        if (ch) {
            SafeCall([&] { consumed = wc->DoKeyPress(ch); });
            if (consumed || !guard) return true;
        }
        return false;
    }
    case QEvent::FocusIn:
        if (auto* wc = dynamic_cast<TWinControl*>(c)) SafeCall([&] { wc->DoEnter(); });
        return false;
    case QEvent::FocusOut:
        if (auto* wc = dynamic_cast<TWinControl*>(c)) SafeCall([&] { wc->DoExit(); });
        return false;
    case QEvent::Resize:
        if (src == w && w->isWindow()) {
            const QSize s = static_cast<QResizeEvent*>(event)->size();
            SafeCall([&] { c->WidgetResized(s.width(), s.height()); });
        }
        return false;
    case QEvent::Move:
        if (src == w && w->isWindow())
            SafeCall([&] { c->WidgetMoved(w->geometry().x(), w->geometry().y()); });
        return false;
    default:
        return false;
    }
}

// ---- TSizeConstraints
// ----------------------------------------------------------------------------

void TSizeConstraints::RegisterProperties(TClassBuilder<TSizeConstraints>& b) {
    b.Add("MaxHeight", &TSizeConstraints::MaxHeight, &TSizeConstraints::SetMaxHeight).Default(0);
    b.Add("MaxWidth", &TSizeConstraints::MaxWidth, &TSizeConstraints::SetMaxWidth).Default(0);
    b.Add("MinHeight", &TSizeConstraints::MinHeight, &TSizeConstraints::SetMinHeight).Default(0);
    b.Add("MinWidth", &TSizeConstraints::MinWidth, &TSizeConstraints::SetMinWidth).Default(0);
}

void TSizeConstraints::SetMinWidth(int v) {
    minWidth_ = std::max(0, v);
    Changed();
}
void TSizeConstraints::SetMinHeight(int v) {
    minHeight_ = std::max(0, v);
    Changed();
}
void TSizeConstraints::SetMaxWidth(int v) {
    maxWidth_ = std::max(0, v);
    Changed();
}
void TSizeConstraints::SetMaxHeight(int v) {
    maxHeight_ = std::max(0, v);
    Changed();
}

void TSizeConstraints::Assign(const TPersistent* source) {
    if (const auto* c = dynamic_cast<const TSizeConstraints*>(source)) {
        minWidth_ = c->minWidth_;
        minHeight_ = c->minHeight_;
        maxWidth_ = c->maxWidth_;
        maxHeight_ = c->maxHeight_;
        Changed();
        return;
    }
    TPersistent::Assign(source);
}

void TSizeConstraints::Apply(int& width, int& height) const {
    if (maxWidth_ > 0) width = std::min(width, maxWidth_);
    if (maxHeight_ > 0) height = std::min(height, maxHeight_);
    width = std::max(width, minWidth_);
    height = std::max(height, minHeight_);
}

void TSizeConstraints::Changed() {
    if (OnChange) OnChange();
}

// ---- TControl
// ------------------------------------------------------------------------------------

void TControl::RegisterProperties(TClassBuilder<TControl>& b) {
    b.Add("Align", TypeInfoAlign(), &TControl::Align, &TControl::SetAlign).Default(alNone);
    b.Add("Anchors", TypeInfoAnchors(), &TControl::Anchors, &TControl::SetAnchors)
        .Default(kDefaultAnchors);
    b.Add("Left", &TControl::Left, &TControl::SetLeft).NoDefault();
    b.Add("Top", &TControl::Top, &TControl::SetTop).NoDefault();
    b.Add("Width", &TControl::Width, &TControl::SetWidth).NoDefault();
    b.Add("Height", &TControl::Height, &TControl::SetHeight).NoDefault();
    b.Add("Constraints", &TControl::Constraints, &TControl::SetConstraints);
    b.Add("Visible", &TControl::Visible, &TControl::SetVisible).Default(1);
    b.Add("Enabled", &TControl::Enabled, &TControl::SetEnabled).Default(1);
    b.Add("Font", &TControl::Font, &TControl::SetFont).Stored([](TObject& o) {
        return !static_cast<TControl&>(o).ParentFont();
    });
    b.Add("ParentFont", &TControl::ParentFont, &TControl::SetParentFont).Default(1);
    b.Add("Color", TypeInfoColor(), &TControl::Color, &TControl::SetColor).Stored([](TObject& o) {
        return !static_cast<TControl&>(o).ParentColor();
    });
    b.Add("ParentColor", &TControl::ParentColor, &TControl::SetParentColor).Default(0);
    b.Add(
        "Hint", [](TControl& c) { return c.Hint(); },
        [](TControl& c, const std::string& v) { c.SetHint(v); });
    b.Add("ShowHint", &TControl::ShowHint, &TControl::SetShowHint).Default(0);
    b.Add("Cursor", TypeInfoCursor(), &TControl::Cursor, &TControl::SetCursor).Default(crDefault);
    b.Add("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu);
    b.Publish("Tag").Default(0);
    b.AddMethod("OnClick", "TNotifyEvent");
    b.AddMethod("OnDblClick", "TNotifyEvent");
    b.AddMethod("OnResize", "TNotifyEvent");
    b.AddMethod("OnMouseDown", "TMouseEvent");
    b.AddMethod("OnMouseUp", "TMouseEvent");
    b.AddMethod("OnMouseMove", "TMouseMoveEvent");
    b.AddMethod("OnMouseWheel", "TMouseWheelEvent");
}

TControl::TControl(TComponent* owner) : TComponent(owner), d_(std::make_unique<Impl>()) {
    Application(); // the toolkit must be up before any widget exists
    d_->constraints = std::make_unique<TSizeConstraints>();
    d_->constraints->OnChange = [this] { SetBounds(d_->left, d_->top, d_->width, d_->height); };
    d_->font = std::make_unique<TFont>();
    d_->font->OnChange = [this](TFont&) {
        if (d_->applyingFont) return;
        d_->parentFont = false;
        FontChanged();
    };
}

TControl::~TControl() {
    if (auto* f = static_cast<ControlEventFilter*>(d_->filter)) f->Detach();
    SetPopupMenu(nullptr);
    if (parent_) parent_->RemoveControl(this);
    parent_ = nullptr;
    if (auto* pw = dynamic_cast<PaintWidget*>(d_->widget.data())) pw->onPaint = nullptr;
    delete d_->widget.data();
    delete d_->filter;
}

QWidget* TControl::Widget() const {
    return d_->widget.data();
}

void TControl::AttachWidget(QWidget* widget) {
    d_->widget = widget;
    auto* filter = new ControlEventFilter(this);
    d_->filter = filter;
    widget->installEventFilter(filter);
    widget->setMouseTracking(true);
    // Mouse input belongs to the control under the pointer, never also to its parents.
    widget->setAttribute(Qt::WA_NoMousePropagation, true);
    widget->setAttribute(Qt::WA_DeleteOnClose, false);
    widget->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(this)));
    if (d_->width == 0 && d_->height == 0) {
        d_->width = widget->width();
        d_->height = widget->height();
    }
    widget->setEnabled(d_->enabled);
    FontChanged();
    if (d_->colorSet) ColorChanged();
    SetControlText(d_->text);
    UpdateWidgetGeometry();
}

TForm* TControl::ParentForm() const {
    const TControl* c = this;
    while (c->parent_)
        c = c->parent_;
    return const_cast<TForm*>(dynamic_cast<const TForm*>(c));
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    for (TWinControl* p = parent; p; p = p->Parent())
        if (p == this) throw EInvalidOperation("Control cannot have itself as parent");
    if (parent && !Widget()) WidgetNeeded();
    if (parent_) parent_->RemoveControl(this);
    parent_ = parent;
    if (QWidget* w = Widget()) {
        const bool wasWindow = w->isWindow();
        w->setParent(parent ? parent->ContainerWidget() : nullptr);
        if (!parent && !wasWindow) w->hide();
    }
    if (parent_) {
        parent_->InsertControl(this);
        if (d_->parentFont) ParentFontChanged();
        if (d_->parentColor) ParentColorChanged();
    }
    UpdateWidgetGeometry();
    VisibleChanged();
    UpdateAnchorRules();
    if (parent_) parent_->ChildBoundsChanged(this);
}

int TControl::Left() const {
    return d_->left;
}
int TControl::Top() const {
    return d_->top;
}
int TControl::Width() const {
    return d_->width;
}
int TControl::Height() const {
    return d_->height;
}
void TControl::SetLeft(int v) {
    SetBounds(v, d_->top, d_->width, d_->height);
}
void TControl::SetTop(int v) {
    SetBounds(d_->left, v, d_->width, d_->height);
}
void TControl::SetWidth(int v) {
    SetBounds(d_->left, d_->top, v, d_->height);
}
void TControl::SetHeight(int v) {
    SetBounds(d_->left, d_->top, d_->width, v);
}
TRect TControl::BoundsRect() const {
    return Bounds(d_->left, d_->top, d_->width, d_->height);
}
TRect TControl::ClientRect() const {
    return {0, 0, d_->width, d_->height};
}

void TControl::SetClientWidth(int v) {
    SetWidth(d_->width - ClientWidth() + v);
}
void TControl::SetClientHeight(int v) {
    SetHeight(d_->height - ClientHeight() + v);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    d_->constraints->Apply(width, height);
    const bool moved = left != d_->left || top != d_->top;
    const bool sized = width != d_->width || height != d_->height;
    if (!moved && !sized) return;
    d_->left = left;
    d_->top = top;
    d_->width = width;
    d_->height = height;
    UpdateWidgetGeometry();
    if (!parent_ || !parent_->aligning_) UpdateAnchorRules();
    if (sized) Resize();
    if (parent_) parent_->ChildBoundsChanged(this);
}

void TControl::UpdateWidgetGeometry() {
    QWidget* w = Widget();
    if (!w) return;
    if (parent_) {
        const TPoint o = parent_->ChildOrigin();
        w->setGeometry(d_->left + o.X, d_->top + o.Y, d_->width, d_->height);
    } else if (w->isWindow()) {
        // A window's bounds are its client area's: the frame belongs to the window manager.
        w->setGeometry(d_->left, d_->top, d_->width, d_->height);
    } else {
        w->setGeometry(d_->left, d_->top, d_->width, d_->height);
    }
}

void TControl::WidgetResized(int width, int height) {
    if (width == d_->width && height == d_->height) return;
    d_->width = width;
    d_->height = height;
    Resize();
}

void TControl::WidgetMoved(int left, int top) {
    d_->left = left;
    d_->top = top;
}

void TControl::Resize() {
    if (OnResize) OnResize(this);
}

void TControl::UpdateAnchorRules() {
    if (!parent_) {
        d_->rulesValid = false;
        return;
    }
    const TRect r = parent_->AlignRect();
    d_->rightGap = r.Right - (d_->left + d_->width);
    d_->bottomGap = r.Bottom - (d_->top + d_->height);
    d_->rulesValid = true;
}

TAlign TControl::Align() const {
    return d_->align;
}

void TControl::SetAlign(TAlign align) {
    if (align == d_->align) return;
    d_->align = align;
    if (parent_) parent_->Realign();
}

TAnchors TControl::Anchors() const {
    return d_->anchors;
}

void TControl::SetAnchors(TAnchors anchors) {
    d_->anchors = anchors & kAllAnchors;
    UpdateAnchorRules();
}

TSizeConstraints* TControl::Constraints() const {
    return d_->constraints.get();
}
void TControl::SetConstraints(TSizeConstraints* value) {
    if (value) d_->constraints->Assign(value);
}

bool TControl::Visible() const {
    return d_->visible;
}

void TControl::SetVisible(bool visible) {
    if (visible == d_->visible) return;
    d_->visible = visible;
    VisibleChanged();
    if (parent_) parent_->ChildBoundsChanged(this);
}

void TControl::VisibleChanged() {
    QWidget* w = Widget();
    if (!w || w->isWindow()) return;
    if (parent_) w->setVisible(d_->visible);
}

bool TControl::Showing() const {
    const QWidget* w = Widget();
    return w && w->isVisible();
}

bool TControl::Enabled() const {
    return d_->enabled;
}

void TControl::SetEnabled(bool enabled) {
    d_->enabled = enabled;
    if (QWidget* w = Widget()) w->setEnabled(enabled);
}

std::string TControl::Text() const {
    return GetControlText();
}

void TControl::SetText(const std::string& text) {
    if (GetControlText() == text) return;
    SetControlText(text);
    TextChanged();
}

std::string TControl::GetControlText() const {
    return d_->text;
}
void TControl::SetControlText(const std::string& text) {
    d_->text = text;
}

TFont* TControl::Font() const {
    return d_->font.get();
}

void TControl::SetFont(TFont* font) {
    if (font && font != d_->font.get()) d_->font->Assign(*font);
}

bool TControl::ParentFont() const {
    return d_->parentFont;
}

void TControl::SetParentFont(bool value) {
    d_->parentFont = value;
    if (value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
    if (!d_->parentFont || !parent_) return;
    d_->applyingFont = true;
    d_->font->Assign(*parent_->Font());
    d_->applyingFont = false;
    FontChanged();
}

void TControl::FontChanged() {
    if (QWidget* w = Widget()) {
        w->setFont(ToQFont(d_->font->Data()));
        if (d_->font->Color() != clWindowText && d_->font->Color() != clBtnText) {
            QPalette pal = w->palette();
            pal.setColor(QPalette::WindowText, ToQColor(d_->font->Color()));
            pal.setColor(QPalette::Text, ToQColor(d_->font->Color()));
            pal.setColor(QPalette::ButtonText, ToQColor(d_->font->Color()));
            w->setPalette(pal);
        }
    }
    if (auto* wc = dynamic_cast<TWinControl*>(this))
        for (int i = 0; i < wc->ControlCount(); ++i)
            wc->Controls(i)->ParentFontChanged();
}

TColor TControl::Color() const {
    return d_->colorSet ? d_->color : DefaultColor();
}

void TControl::SetColor(TColor color) {
    d_->color = color;
    d_->colorSet = true;
    d_->parentColor = false;
    ColorChanged();
}

bool TControl::ParentColor() const {
    return d_->parentColor;
}

void TControl::SetParentColor(bool value) {
    d_->parentColor = value;
    if (value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
    if (!d_->parentColor || !parent_) return;
    d_->color = parent_->Color();
    d_->colorSet = true;
    ColorChanged();
}

void TControl::ColorChanged() {
    if (QWidget* w = Widget()) {
        if (Color() != DefaultColor() || d_->colorSet) {
            QPalette pal = w->palette();
            pal.setColor(QPalette::Window, ToQColor(Color()));
            pal.setColor(QPalette::Base, ToQColor(Color()));
            w->setPalette(pal);
            w->setAutoFillBackground(true);
        }
    }
    if (auto* wc = dynamic_cast<TWinControl*>(this))
        for (int i = 0; i < wc->ControlCount(); ++i)
            wc->Controls(i)->ParentColorChanged();
}

const std::string& TControl::Hint() const {
    return d_->hint;
}

void TControl::SetHint(const std::string& hint) {
    d_->hint = hint;
    SetShowHint(d_->showHint);
}

bool TControl::ShowHint() const {
    return d_->showHint;
}

void TControl::SetShowHint(bool value) {
    d_->showHint = value;
    // Our hint window shows it; the manager starts listening with the first hinted control.
    if (value) Hints();
}

TCursor TControl::Cursor() const {
    return d_->cursor;
}

void TControl::SetCursor(TCursor cursor) {
    d_->cursor = cursor;
    if (QWidget* w = Widget()) {
        if (cursor == crDefault)
            w->unsetCursor();
        else
            w->setCursor(ToQtCursor(cursor));
    }
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
    if (menu == popupMenu_) return;
    if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
    popupMenu_ = menu;
    if (popupMenu_) popupMenu_->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == popupMenu_) popupMenu_ = nullptr;
    TComponent::Notification(component, operation);
}

void TControl::Invalidate() {
    if (QWidget* w = Widget()) w->update();
}

void TControl::Repaint() {
    if (QWidget* w = Widget()) w->repaint();
}

void TControl::BringToFront() {
    if (QWidget* w = Widget()) w->raise();
}

void TControl::SendToBack() {
    if (QWidget* w = Widget()) w->lower();
}

TPoint TControl::ClientToScreen(TPoint p) const {
    const QWidget* w = Widget();
    if (!w) return p;
    const QPoint g = w->mapToGlobal(QPoint(p.X, p.Y));
    return {g.x(), g.y()};
}

TPoint TControl::ScreenToClient(TPoint p) const {
    const QWidget* w = Widget();
    if (!w) return p;
    const QPoint l = w->mapFromGlobal(QPoint(p.X, p.Y));
    return {l.x(), l.y()};
}

TRasterImage TControl::GrabImage() const {
    QWidget* w = Widget();
    if (!w) return {};
    return ToRasterImage(w->grab().toImage());
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

bool TControl::MouseWheel(TShiftState shift, int wheelDelta, int x, int y) {
    bool handled = false;
    if (OnMouseWheel) OnMouseWheel(this, shift, wheelDelta, x, y, handled);
    return handled;
}

// ---- TWinControl
// ---------------------------------------------------------------------------------

void TWinControl::RegisterProperties(TClassBuilder<TWinControl>& b) {
    b.Add("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder).Default(-1);
    b.Add("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop).Default(0);
    b.AddMethod("OnEnter", "TNotifyEvent");
    b.AddMethod("OnExit", "TNotifyEvent");
    b.AddMethod("OnKeyDown", "TKeyEvent");
    b.AddMethod("OnKeyUp", "TKeyEvent");
    b.AddMethod("OnKeyPress", "TKeyPressEvent");
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
    // Children go first, whoever owns them, while this control is still whole.
    Destroying();
    while (!controls_.empty()) {
        TControl* child = controls_.back();
        delete child;
    }
    // Leave the parent's tab order now: by the time the base class leaves the parent, this
    // object is no longer a TWinControl and could not be found there.
    if (TWinControl* parent = Parent()) std::erase(parent->tabList_, this);
}

TControl* TWinControl::Controls(int index) const {
    if (index < 0 || index >= ControlCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return controls_[static_cast<std::size_t>(index)];
}

void TWinControl::InsertControl(TControl* control) {
    controls_.push_back(control);
    if (auto* wc = dynamic_cast<TWinControl*>(control)) {
        tabList_.push_back(wc);
        ApplyTabOrder();
    }
    ControlsChanged();
}

void TWinControl::RemoveControl(TControl* control) {
    std::erase(controls_, control);
    if (auto* wc = dynamic_cast<TWinControl*>(control)) std::erase(tabList_, wc);
    if (!HasState(csDestroying)) {
        ControlsChanged();
        Realign();
    }
}

void TWinControl::SetTabStop(bool value) {
    tabStop_ = value;
    if (QWidget* w = Widget()) {
        if (value)
            w->setFocusPolicy(Qt::StrongFocus);
        else if (w->focusPolicy() == Qt::StrongFocus)
            w->setFocusPolicy(Qt::ClickFocus);
    }
}

int TWinControl::TabOrder() const {
    if (!Parent()) return -1;
    const auto& list = Parent()->tabList_;
    const auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int order) {
    if (!Parent()) return;
    auto& list = Parent()->tabList_;
    std::erase(list, this);
    order = std::clamp(order, 0, static_cast<int>(list.size()));
    list.insert(list.begin() + order, this);
    Parent()->ApplyTabOrder();
}

void TWinControl::ApplyTabOrder() {
    QWidget* prev = nullptr;
    for (TWinControl* c : tabList_) {
        QWidget* w = c->Widget();
        if (!w) continue;
        if (prev) QWidget::setTabOrder(prev, w);
        prev = w;
    }
}

bool TWinControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return Widget() != nullptr;
}

bool TWinControl::Focused() const {
    const QWidget* w = Widget();
    if (!w) return false;
    // The focus may sit on an inner widget of the control (a combo box's edit).
    const QWidget* f = QApplication::focusWidget();
    return f && ControlFromWidget(f) == this;
}

void TWinControl::SetFocus() {
    if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
    QWidget* w = Widget();
    if (w->focusPolicy() == Qt::NoFocus) w->setFocusPolicy(Qt::ClickFocus);
    w->setFocus(Qt::OtherFocusReason);
}

QWidget* TWinControl::ContainerWidget() const {
    return Widget();
}

void TWinControl::EnableAlign() {
    if (alignDisabled_ > 0 && --alignDisabled_ == 0 && alignPending_) Realign();
}

void TWinControl::Realign() {
    if (alignDisabled_ > 0 || HasState(csDestroying)) {
        alignPending_ = true;
        return;
    }
    alignPending_ = false;
    AlignControls();
}

void TWinControl::Resize() {
    Realign();
    TControl::Resize();
}

void TWinControl::ChildBoundsChanged(TControl* child) {
    if (aligning_) return;
    if (child->Align() != alNone) Realign();
}

void TWinControl::AlignControls() {
    if (aligning_) return;
    aligning_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{aligning_};
    TRect r = AlignRect();
    auto ordered = [&](TAlign align) {
        std::vector<TControl*> list;
        for (TControl* c : controls_)
            if (c->Align() == align && c->Visible()) list.push_back(c);
        std::stable_sort(list.begin(), list.end(), [align](TControl* a, TControl* b) {
            switch (align) {
            case alTop:
                return a->Top() < b->Top();
            case alBottom:
                return a->Top() + a->Height() > b->Top() + b->Height();
            case alLeft:
                return a->Left() < b->Left();
            case alRight:
                return a->Left() + a->Width() > b->Left() + b->Width();
            default:
                return false;
            }
        });
        return list;
    };
    for (TControl* c : ordered(alTop)) {
        c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
        r.Top += c->Height();
    }
    for (TControl* c : ordered(alBottom)) {
        c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
        r.Bottom -= c->Height();
    }
    for (TControl* c : ordered(alLeft)) {
        c->SetBounds(r.Left, r.Top, c->Width(), std::max(0, r.Height()));
        r.Left += c->Width();
    }
    for (TControl* c : ordered(alRight)) {
        c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), std::max(0, r.Height()));
        r.Right -= c->Width();
    }
    for (TControl* c : ordered(alClient))
        c->SetBounds(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));

    // Anchored controls keep their distances to the edges they are anchored to.
    const TRect area = AlignRect();
    for (TControl* c : controls_) {
        if (c->Align() != alNone || !c->d_->rulesValid) continue;
        const TAnchors a = c->Anchors();
        int left = c->Left(), top = c->Top(), width = c->Width(), height = c->Height();
        if (a & AnchorBit(akRight)) {
            if (a & AnchorBit(akLeft))
                width = area.Right - c->d_->rightGap - left;
            else
                left = area.Right - c->d_->rightGap - width;
        }
        if (a & AnchorBit(akBottom)) {
            if (a & AnchorBit(akTop))
                height = area.Bottom - c->d_->bottomGap - top;
            else
                top = area.Bottom - c->d_->bottomGap - height;
        }
        c->SetBounds(left, top, width, height);
    }
}

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

bool TWinControl::DoKeyDown(std::uint16_t& key, TShiftState shift) {
    TForm* form = ParentForm();
    if (form && form != this && form->KeyPreview()) {
        static_cast<TWinControl*>(form)->KeyDown(key, shift);
        if (key == 0) return true;
    }
    KeyDown(key, shift);
    // Enter and Escape press the form's default and cancel buttons (a memo keeps Enter).
    if (form && (key == VK_ESCAPE || (key == VK_RETURN && !dynamic_cast<TMemo*>(this))) &&
        PressDialogButton(form, key == VK_ESCAPE))
        key = 0;
    return key == 0;
}

bool TWinControl::DoKeyUp(std::uint16_t& key, TShiftState shift) {
    TForm* form = ParentForm();
    if (form && form != this && form->KeyPreview()) {
        static_cast<TWinControl*>(form)->KeyUp(key, shift);
        if (key == 0) return true;
    }
    KeyUp(key, shift);
    return key == 0;
}

bool TWinControl::DoKeyPress(char16_t& key) {
    TForm* form = ParentForm();
    if (form && form != this && form->KeyPreview()) {
        static_cast<TWinControl*>(form)->KeyPress(key);
        if (key == 0) return true;
    }
    KeyPress(key);
    return key == 0;
}

void TWinControl::KeyDown(std::uint16_t& key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(std::uint16_t& key, TShiftState shift) {
    if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char16_t& key) {
    if (OnKeyPress) OnKeyPress(this, key);
}
