// Panels, group boxes, scroll boxes, page controls, splitters and status bars.

#include "platform/ui/containers.h"

#include <QGroupBox>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"

namespace {

const TTypeInfo& TabPositionType() {
    static const TTypeInfo& t =
        DefineEnumType("TTabPosition", {"tpTop", "tpBottom", "tpLeft", "tpRight"});
    return t;
}

const TTypeInfo& ResizeStyleType() {
    static const TTypeInfo& t =
        DefineEnumType("TResizeStyle", {"rsNone", "rsLine", "rsUpdate", "rsPattern"});
    return t;
}

// A three-dimensional frame of width w inside r, shrinking r.
void Frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight, int w) {
    for (int i = 0; i < w; ++i) {
        p.setPen(topLeft);
        p.drawLine(r.left(), r.bottom(), r.left(), r.top());
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.setPen(bottomRight);
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
        r.adjust(1, 1, -1, -1);
    }
}

Qt::Alignment ToQtAlignment(TAlignment a) {
    return a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
}

} // namespace

// ---- TPanel
// --------------------------------------------------------------------------------------

void TPanel::RegisterProperties(TClassBuilder<TPanel>& b) {
    b.Add("Alignment", TypeInfoAlignment(), &TPanel::Alignment, &TPanel::SetAlignment)
        .Default(taCenter);
    b.Add("BevelInner", TypeInfoBevelCut(), &TPanel::BevelInner, &TPanel::SetBevelInner)
        .Default(bvNone);
    b.Add("BevelOuter", TypeInfoBevelCut(), &TPanel::BevelOuter, &TPanel::SetBevelOuter)
        .Default(bvRaised);
    b.Add("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth).Default(1);
    b.Add("BorderWidth", &TPanel::BorderWidth, &TPanel::SetBorderWidth).Default(0);
    b.Add("Caption", &TPanel::Caption, &TPanel::SetCaption);
}

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {
    auto* w = new PaintWidget();
    w->onPaint = [this](QPainter& p) { PaintPanel(&p); };
    SetBounds(0, 0, 185, 41);
    AttachWidget(w);
}

TPanel::~TPanel() = default;

void TPanel::SetAlignment(TAlignment value) {
    alignment_ = value;
    Invalidate();
}
void TPanel::SetBevelInner(TBevelCut value) {
    bevelInner_ = value;
    Realign();
    Invalidate();
}
void TPanel::SetBevelOuter(TBevelCut value) {
    bevelOuter_ = value;
    Realign();
    Invalidate();
}
void TPanel::SetBevelWidth(int value) {
    bevelWidth_ = std::max(1, value);
    Realign();
    Invalidate();
}
void TPanel::SetBorderWidth(int value) {
    borderWidth_ = std::max(0, value);
    Realign();
    Invalidate();
}

TRect TPanel::AlignRect() const {
    TRect r = ClientRect();
    int inset = borderWidth_;
    if (bevelOuter_ != bvNone) inset += bevelWidth_;
    if (bevelInner_ != bvNone) inset += bevelWidth_;
    return {r.Left + inset, r.Top + inset, r.Right - inset, r.Bottom - inset};
}

void TPanel::PaintPanel(void* qpainter) {
    QPainter& p = *static_cast<QPainter*>(qpainter);
    QRect r(0, 0, Width(), Height());
    p.fillRect(r, ToQColor(Color()));
    const QColor light = ToQColor(clBtnHighlight), dark = ToQColor(clBtnShadow);
    auto bevel = [&](TBevelCut cut) {
        if (cut == bvNone) return;
        if (cut == bvSpace) {
            r.adjust(bevelWidth_, bevelWidth_, -bevelWidth_, -bevelWidth_);
            return;
        }
        Frame3D(p, r, cut == bvLowered ? dark : light, cut == bvLowered ? light : dark,
                bevelWidth_);
    };
    bevel(bevelOuter_);
    r.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    bevel(bevelInner_);
    const std::string text = Caption();
    if (!text.empty()) {
        p.setFont(ToQFont(Font()->Data()));
        p.setPen(ToQColor(Font()->Color()));
        p.drawText(
            r,
            static_cast<int>(ToQtAlignment(alignment_) | Qt::AlignVCenter | Qt::TextShowMnemonic),
            QString::fromStdString(text));
    }
}

// ---- TGroupBox
// -----------------------------------------------------------------------------------

void TGroupBox::RegisterProperties(TClassBuilder<TGroupBox>& b) {
    b.Add("Caption", &TGroupBox::Caption, &TGroupBox::SetCaption);
}

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {
    auto* w = new QGroupBox();
    SetBounds(0, 0, 185, 105);
    AttachWidget(w);
}

std::string TGroupBox::GetControlText() const {
    const auto* w = static_cast<const QGroupBox*>(Widget());
    return w ? w->title().toStdString() : std::string();
}

void TGroupBox::SetControlText(const std::string& text) {
    if (auto* w = static_cast<QGroupBox*>(Widget())) w->setTitle(QString::fromStdString(text));
}

TRect TGroupBox::AlignRect() const {
    const QWidget* w = Widget();
    const int textHeight = w ? QFontMetrics(w->font()).height() : 13;
    const TRect r = ClientRect();
    return {r.Left + 2, r.Top + textHeight + 2, r.Right - 2, r.Bottom - 2};
}

// ---- TScrollBox
// ----------------------------------------------------------------------------------

void TControlScrollBar::RegisterProperties(TClassBuilder<TControlScrollBar>& b) {
    b.Add("Increment", &TControlScrollBar::Increment, &TControlScrollBar::SetIncrement).Default(8);
    b.Add("Position", &TControlScrollBar::Position, &TControlScrollBar::SetPosition).Default(0);
    b.Add("Range", &TControlScrollBar::Range, &TControlScrollBar::SetRange).Default(0);
    b.Add("Visible", &TControlScrollBar::Visible, &TControlScrollBar::SetVisible).Default(1);
}

namespace {

QScrollBar* BarOf(const TScrollBox* box, bool horizontal) {
    auto* area = box ? static_cast<QScrollArea*>(box->Widget()) : nullptr;
    if (!area) return nullptr;
    return horizontal ? area->horizontalScrollBar() : area->verticalScrollBar();
}

} // namespace

int TControlScrollBar::Position() const {
    const QScrollBar* bar = BarOf(box_, horizontal_);
    return bar ? bar->value() : 0;
}

void TControlScrollBar::SetPosition(int value) {
    if (QScrollBar* bar = BarOf(box_, horizontal_)) bar->setValue(value);
}

void TControlScrollBar::SetRange(int value) {
    range_ = std::max(0, value);
    if (box_) box_->UpdateScrollRange();
}

void TControlScrollBar::SetVisible(bool value) {
    visible_ = value;
    if (box_) box_->UpdateScrollRange();
}

void TScrollBox::RegisterProperties(TClassBuilder<TScrollBox>& b) {
    b.Add("AutoScroll", &TScrollBox::AutoScroll, &TScrollBox::SetAutoScroll).Default(1);
    b.Add("BorderStyle", TypeInfoFormBorderStyle(), &TScrollBox::BorderStyle,
          &TScrollBox::SetBorderStyle)
        .Default(bsSingle);
    b.Add("HorzScrollBar", &TScrollBox::HorzScrollBar, &TScrollBox::SetHorzScrollBar);
    b.Add("VertScrollBar", &TScrollBox::VertScrollBar, &TScrollBox::SetVertScrollBar);
}

TScrollBox::TScrollBox(TComponent* owner)
    : TScrollingWinControl(owner), horz_(std::make_unique<TControlScrollBar>()),
      vert_(std::make_unique<TControlScrollBar>()) {
    horz_->box_ = this;
    horz_->horizontal_ = true;
    vert_->box_ = this;
    vert_->horizontal_ = false;
    auto* area = new QScrollArea();
    area->setWidgetResizable(false);
    area->setWidget(new QWidget());
    area->widget()->setAutoFillBackground(false);
    SetBounds(0, 0, 185, 41);
    AttachWidget(area);
    static_cast<ControlEventFilter*>(Internals().filter)->Watch(area->viewport());
    SetBorderStyle(bsSingle);
}

TScrollBox::~TScrollBox() {
    horz_->box_ = nullptr;
    vert_->box_ = nullptr;
}

void TScrollBox::SetHorzScrollBar(TControlScrollBar* value) {
    if (value) {
        horz_->range_ = value->range_;
        horz_->visible_ = value->visible_;
        horz_->increment_ = value->increment_;
        UpdateScrollRange();
    }
}

void TScrollBox::SetVertScrollBar(TControlScrollBar* value) {
    if (value) {
        vert_->range_ = value->range_;
        vert_->visible_ = value->visible_;
        vert_->increment_ = value->increment_;
        UpdateScrollRange();
    }
}

QWidget* TScrollBox::ContainerWidget() const {
    const auto* area = static_cast<const QScrollArea*>(Widget());
    return area ? area->widget() : nullptr;
}

void TScrollBox::SetAutoScroll(bool value) {
    autoScroll_ = value;
    UpdateScrollRange();
}

void TScrollBox::SetBorderStyle(TFormBorderStyle value) {
    borderStyle_ = value;
    if (auto* area = static_cast<QScrollArea*>(Widget()))
        area->setFrameStyle(value == bsNone ? QFrame::NoFrame
                                            : (QFrame::StyledPanel | QFrame::Sunken));
    UpdateScrollRange();
}

TSize TScrollBox::ContentExtent() const {
    int w = 0, h = 0;
    for (int i = 0; i < ControlCount(); ++i) {
        const TControl* c = Controls(i);
        if (!c->Visible() || c->Align() != alNone) continue;
        w = std::max(w, c->Left() + c->Width());
        h = std::max(h, c->Top() + c->Height());
    }
    if (!autoScroll_) {
        w = horz_->range_;
        h = vert_->range_;
    }
    return {w, h};
}

TRect TScrollBox::ViewportRect(int contentWidth, int contentHeight, bool* hbar, bool* vbar) const {
    const auto* area = static_cast<const QScrollArea*>(Widget());
    const int frame = area ? area->frameWidth() : 0;
    const int extent =
        area ? area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area) : 16;
    int vw = Width() - 2 * frame, vh = Height() - 2 * frame;
    bool h = false, v = false;
    for (int pass = 0; pass < 2; ++pass) {
        if (!h && horz_->visible_ && contentWidth > vw) {
            h = true;
            vh -= extent;
        }
        if (!v && vert_->visible_ && contentHeight > vh) {
            v = true;
            vw -= extent;
        }
    }
    if (hbar) *hbar = h;
    if (vbar) *vbar = v;
    return {0, 0, std::max(0, vw), std::max(0, vh)};
}

TRect TScrollBox::ClientRect() const {
    const TSize c = ContentExtent();
    return ViewportRect(c.cx, c.cy, nullptr, nullptr);
}

TRect TScrollBox::AlignRect() const {
    return ClientRect();
}

void TScrollBox::UpdateScrollRange() {
    auto* area = static_cast<QScrollArea*>(Widget());
    if (!area || updating_) return;
    updating_ = true;
    const TSize c = ContentExtent();
    bool h = false, v = false;
    const TRect view = ViewportRect(c.cx, c.cy, &h, &v);
    area->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    area->widget()->resize(std::max(view.Width(), c.cx), std::max(view.Height(), c.cy));
    updating_ = false;
}

void TScrollBox::ChildBoundsChanged(TControl* child) {
    TWinControl::ChildBoundsChanged(child);
    UpdateScrollRange();
}

void TScrollBox::Resize() {
    UpdateScrollRange();
    TWinControl::Resize();
}

void TScrollBox::ScrollInView(TControl* control) {
    auto* area = static_cast<QScrollArea*>(Widget());
    if (area && control && control->Widget()) area->ensureWidgetVisible(control->Widget(), 0, 0);
}

// ---- TTabSheet / TPageControl
// --------------------------------------------------------------------

void TTabSheet::RegisterProperties(TClassBuilder<TTabSheet>& b) {
    b.Add("Caption", &TTabSheet::Caption, &TTabSheet::SetCaption);
    b.Add("PageControl", &TTabSheet::PageControl, &TTabSheet::SetPageControl).Stored(false);
    b.Add("PageIndex", &TTabSheet::PageIndex, &TTabSheet::SetPageIndex).Stored(false);
    b.Add("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible).Default(1);
}

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
    auto* w = new PaintWidget();
    Internals().visible = false;
    AttachWidget(w);
    SetAlign(alClient);
}

TTabSheet::~TTabSheet() {
    if (pageControl_) pageControl_->RemovePage(this);
}

void TTabSheet::SetParent(TWinControl* parent) {
    auto* pc = dynamic_cast<TPageControl*>(parent);
    if (pageControl_ && pageControl_ != pc) {
        TPageControl* old = pageControl_;
        pageControl_ = nullptr;
        old->RemovePage(this);
    }
    TWinControl::SetParent(parent);
    if (pc && pageControl_ != pc) {
        pageControl_ = pc;
        pc->InsertPage(this);
    }
}

void TTabSheet::SetPageControl(TPageControl* value) {
    SetParent(value);
}

int TTabSheet::PageIndex() const {
    if (!pageControl_) return -1;
    for (int i = 0; i < pageControl_->PageCount(); ++i)
        if (pageControl_->Pages(i) == this) return i;
    return -1;
}

void TTabSheet::SetPageIndex(int value) {
    if (pageControl_) pageControl_->MovePage(this, value);
}

void TTabSheet::SetTabVisible(bool value) {
    tabVisible_ = value;
    if (pageControl_) pageControl_->UpdateTabs();
}

void TTabSheet::TextChanged() {
    if (pageControl_) pageControl_->UpdateTabs();
}

namespace {

class PageWidget final : public QWidget {
public:
    explicit PageWidget(TPageControl* owner) : owner_(owner), bar_(new QTabBar(this)) {
        bar_->setDrawBase(false);
        QObject::connect(bar_, &QTabBar::tabBarClicked, bar_, [this](int tab) {
            if (owner_ && tab >= 0) SafeCall([this, tab] { owner_->TabClicked(tab); });
        });
    }
    void Detach() { owner_ = nullptr; }
    QTabBar* Bar() const { return bar_; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!owner_) return;
        QPainter p(this);
        const TRect r = owner_->AlignRect();
        QRect frame(r.Left - 2, r.Top - 2, r.Width() + 4, r.Height() + 4);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(frame.adjusted(0, 0, -1, -1));
    }

private:
    TPageControl* owner_;
    QTabBar* bar_;
};

} // namespace

void TPageControl::RegisterProperties(TClassBuilder<TPageControl>& b) {
    b.Add("ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage);
    b.Add("ActivePageIndex", &TPageControl::ActivePageIndex, &TPageControl::SetActivePageIndex)
        .Stored(false);
    b.Add("TabPosition", TabPositionType(), &TPageControl::TabPosition,
          &TPageControl::SetTabPosition)
        .Default(tpTop);
    b.Publish("TabStop").Default(1);
    b.AddMethod("OnChange", "TNotifyEvent");
    b.AddMethod("OnChanging", "TTabChangingEvent");
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {
    auto* w = new PageWidget(this);
    SetBounds(0, 0, 289, 193);
    AttachWidget(w);
    SetTabStop(true);
    UpdateTabs();
}

TPageControl::~TPageControl() {
    if (auto* w = dynamic_cast<PageWidget*>(Widget())) w->Detach();
    updatingTabs_ = true;
    // The sheets outlive this part of the control (the base destroys them): let them go now.
    for (TTabSheet* p : pages_) {
        p->pageControl_ = nullptr;
        p->RemoveFreeNotification(this);
    }
    pages_.clear();
    active_ = nullptr;
}

TTabSheet* TPageControl::Pages(int index) const {
    if (index < 0 || index >= PageCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return pages_[static_cast<std::size_t>(index)];
}

void TPageControl::InsertPage(TTabSheet* page) {
    pages_.push_back(page);
    page->FreeNotification(this);
    if (!active_) SetActivePage(page);
    UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* page) {
    const auto it = std::find(pages_.begin(), pages_.end(), page);
    if (it == pages_.end()) return;
    const int index = static_cast<int>(it - pages_.begin());
    pages_.erase(it);
    if (active_ == page) {
        active_ = nullptr;
        if (!pages_.empty() && !HasState(csDestroying))
            SetActivePage(pages_[static_cast<std::size_t>(std::min(index, PageCount() - 1))]);
    }
    if (!HasState(csDestroying)) UpdateTabs();
}

void TPageControl::MovePage(TTabSheet* page, int index) {
    const auto it = std::find(pages_.begin(), pages_.end(), page);
    if (it == pages_.end()) return;
    pages_.erase(it);
    index = std::clamp(index, 0, PageCount());
    pages_.insert(pages_.begin() + index, page);
    UpdateTabs();
}

void TPageControl::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        if (auto* sheet = dynamic_cast<TTabSheet*>(component)) RemovePage(sheet);
    }
    TWinControl::Notification(component, operation);
}

int TPageControl::ActivePageIndex() const {
    for (int i = 0; i < PageCount(); ++i)
        if (pages_[static_cast<std::size_t>(i)] == active_) return i;
    return -1;
}

void TPageControl::SetActivePageIndex(int index) {
    SetActivePage(index >= 0 && index < PageCount() ? pages_[static_cast<std::size_t>(index)]
                                                    : nullptr);
}

void TPageControl::SetActivePage(TTabSheet* page) {
    if (page && page->PageControl() != this) return;
    if (page == active_) return;
    TTabSheet* old = active_;
    active_ = page;
    if (active_) active_->SetVisible(true);
    if (old) old->SetVisible(false);
    if (active_) active_->BringToFront();
    UpdateTabs();
}

void TPageControl::SetTabPosition(TTabPosition value) {
    tabPosition_ = value;
    UpdateTabs();
}

int TPageControl::TabBarHeight() const {
    const auto* w = static_cast<const PageWidget*>(Widget());
    if (!w || w->Bar()->count() == 0) return 0;
    return w->Bar()->sizeHint().height();
}

TRect TPageControl::AlignRect() const {
    const int bar = TabBarHeight();
    const int inset = 4;
    if (tabPosition_ == tpBottom) return {inset, inset, Width() - inset, Height() - bar - inset};
    return {inset, bar + inset, Width() - inset, Height() - inset};
}

void TPageControl::UpdateTabs() {
    auto* w = static_cast<PageWidget*>(Widget());
    if (!w || updatingTabs_) return;
    updatingTabs_ = true;
    QTabBar* bar = w->Bar();
    bar->blockSignals(true);
    while (bar->count() > 0)
        bar->removeTab(0);
    int current = -1;
    for (TTabSheet* p : pages_) {
        if (!p->TabVisible()) continue;
        const int tab = bar->addTab(QString::fromStdString(p->Caption()));
        bar->setTabData(tab, QVariant::fromValue(static_cast<void*>(p)));
        if (p == active_) current = tab;
    }
    bar->setShape(tabPosition_ == tpBottom ? QTabBar::RoundedSouth : QTabBar::RoundedNorth);
    if (current >= 0) bar->setCurrentIndex(current);
    bar->blockSignals(false);
    const int height = TabBarHeight();
    bar->setVisible(bar->count() > 0);
    bar->setGeometry(2, tabPosition_ == tpBottom ? Height() - height : 0, std::max(0, Width() - 4),
                     height);
    updatingTabs_ = false;
    Realign();
    w->update();
}

void TPageControl::TabClicked(int tab) {
    auto* w = static_cast<PageWidget*>(Widget());
    auto* page = static_cast<TTabSheet*>(w->Bar()->tabData(tab).value<void*>());
    if (!page || page == active_) return;
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    if (!allow) {
        UpdateTabs();
        return;
    }
    SetActivePage(page);
    if (OnChange) OnChange(this);
}

void TPageControl::Resize() {
    UpdateTabs();
    TWinControl::Resize();
}

// ---- TSplitter
// -----------------------------------------------------------------------------------

void TSplitter::RegisterProperties(TClassBuilder<TSplitter>& b) {
    b.Publish("Align").Default(alLeft);
    b.Add("Beveled", &TSplitter::Beveled, &TSplitter::SetBeveled).Default(0);
    b.Add("MinSize", &TSplitter::MinSize, &TSplitter::SetMinSize).Default(30);
    b.Add("ResizeStyle", ResizeStyleType(), &TSplitter::ResizeStyle, &TSplitter::SetResizeStyle)
        .Default(rsPattern);
    b.AddMethod("OnCanResize", "TCanResizeEvent");
    b.AddMethod("OnMoved", "TNotifyEvent");
}

TSplitter::TSplitter(TComponent* owner) : TGraphicControl(owner) {
    auto* w = new PaintWidget();
    w->onPaint = [this](QPainter& p) {
        p.fillRect(0, 0, Width(), Height(), ToQColor(Color()));
        if (beveled_) {
            QRect r(0, 0, Width(), Height());
            Frame3D(p, r, ToQColor(clBtnHighlight), ToQColor(clBtnShadow), 1);
        }
    };
    SetBounds(0, 0, 3, 100);
    AttachWidget(w);
    SetAlign(alLeft);
    UpdateCursor();
}

void TSplitter::SetBeveled(bool value) {
    beveled_ = value;
    Invalidate();
}

void TSplitter::UpdateCursor() {
    SetCursor(Align() == alTop || Align() == alBottom ? crVSplit : crHSplit);
}

TControl* TSplitter::ResizeControl() const {
    TWinControl* parent = Parent();
    if (!parent) return nullptr;
    // The neighbour aligned the same way that touches the splitter's leading edge.
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (c == this || !c->Visible() || c->Align() != Align()) continue;
        switch (Align()) {
        case alLeft:
            if (c->Left() + c->Width() == Left()) return c;
            break;
        case alRight:
            if (c->Left() == Left() + Width()) return c;
            break;
        case alTop:
            if (c->Top() + c->Height() == Top()) return c;
            break;
        case alBottom:
            if (c->Top() == Top() + Height()) return c;
            break;
        default:
            break;
        }
    }
    return nullptr;
}

void TSplitter::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button != mbLeft) return;
    target_ = ResizeControl();
    if (!target_) return;
    const bool horizontal = Align() == alLeft || Align() == alRight;
    downPos_ = horizontal ? ClientToScreen({x, y}).X : ClientToScreen({x, y}).Y;
    startSize_ = horizontal ? target_->Width() : target_->Height();
    dragging_ = true;
}

void TSplitter::MouseMove(TShiftState shift, int x, int y) {
    TGraphicControl::MouseMove(shift, x, y);
    if (!dragging_ || !target_ || !Parent()) return;
    const bool horizontal = Align() == alLeft || Align() == alRight;
    const int pos = horizontal ? ClientToScreen({x, y}).X : ClientToScreen({x, y}).Y;
    int delta = pos - downPos_;
    if (Align() == alRight || Align() == alBottom) delta = -delta;
    int newSize = startSize_ + delta;
    // Neither the resized control nor what is left for the others gets below MinSize.
    const TRect area = Parent()->AlignRect();
    int others = 0;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        TControl* c = Parent()->Controls(i);
        if (c == target_ || !c->Visible()) continue;
        if (horizontal && (c->Align() == alLeft || c->Align() == alRight)) others += c->Width();
        if (!horizontal && (c->Align() == alTop || c->Align() == alBottom)) others += c->Height();
    }
    const int room = (horizontal ? area.Width() : area.Height()) - others - minSize_;
    newSize = std::min(newSize, room);
    newSize = std::max(newSize, minSize_);
    bool accept = true;
    if (OnCanResize) OnCanResize(this, newSize, accept);
    if (!accept) return;
    const int current = horizontal ? target_->Width() : target_->Height();
    if (newSize == current) return;
    if (horizontal)
        target_->SetWidth(newSize);
    else
        target_->SetHeight(newSize);
    if (resizeStyle_ != rsNone && OnMoved) OnMoved(this);
}

void TSplitter::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    dragging_ = false;
    target_ = nullptr;
    TGraphicControl::MouseUp(button, shift, x, y);
}

// ---- TStatusBar
// ----------------------------------------------------------------------------------

void TStatusPanel::RegisterProperties(TClassBuilder<TStatusPanel>& b) {
    b.Add("Alignment", TypeInfoAlignment(), &TStatusPanel::Alignment, &TStatusPanel::SetAlignment)
        .Default(taLeftJustify);
    b.Add("Text", &TStatusPanel::Text, &TStatusPanel::SetText);
    b.Add("Width", &TStatusPanel::Width, &TStatusPanel::SetWidth).NoDefault();
}

void TStatusPanel::SetText(const std::string& value) {
    text_ = value;
    Changed(false);
}
void TStatusPanel::SetWidth(int value) {
    width_ = std::max(0, value);
    Changed(false);
}
void TStatusPanel::SetAlignment(TAlignment value) {
    alignment_ = value;
    Changed(false);
}

void TStatusPanel::Assign(const TPersistent* source) {
    if (const auto* p = dynamic_cast<const TStatusPanel*>(source)) {
        text_ = p->text_;
        width_ = p->width_;
        alignment_ = p->alignment_;
        Changed(false);
        return;
    }
    TCollectionItem::Assign(source);
}

TStatusPanels::TStatusPanels(TStatusBar* bar)
    : TCollection(TStatusPanel::StaticClass(), bar), bar_(bar) {}

void TStatusPanels::Update(TCollectionItem*) {
    if (bar_) bar_->Invalidate();
}

void TStatusBar::RegisterProperties(TClassBuilder<TStatusBar>& b) {
    b.Publish("Align").Default(alBottom);
    b.Add("Panels", &TStatusBar::Panels, &TStatusBar::SetPanels);
    b.Add("SimplePanel", &TStatusBar::SimplePanel, &TStatusBar::SetSimplePanel).Default(0);
    b.Add("SimpleText", &TStatusBar::SimpleText, &TStatusBar::SetSimpleText);
}

TStatusBar::TStatusBar(TComponent* owner)
    : TWinControl(owner), panels_(std::make_unique<TStatusPanels>(this)) {
    auto* w = new PaintWidget();
    w->onPaint = [this](QPainter& p) { PaintBar(&p); };
    SetBounds(0, 0, 200, 19);
    AttachWidget(w);
    SetAlign(alBottom);
}

TStatusBar::~TStatusBar() = default;

void TStatusBar::SetPanels(TStatusPanels* value) {
    if (value) panels_->Assign(value);
}

void TStatusBar::SetSimplePanel(bool value) {
    simplePanel_ = value;
    Invalidate();
}

void TStatusBar::SetSimpleText(const std::string& value) {
    simpleText_ = value;
    Invalidate();
}

void TStatusBar::PaintBar(void* qpainter) {
    QPainter& p = *static_cast<QPainter*>(qpainter);
    p.fillRect(0, 0, Width(), Height(), ToQColor(Color()));
    p.setFont(ToQFont(Font()->Data()));
    const QColor text = ToQColor(Font()->Color());
    const QColor light = ToQColor(clBtnHighlight), dark = ToQColor(clBtnShadow);
    auto cell = [&](QRect r, const std::string& s, TAlignment a) {
        Frame3D(p, r, dark, light, 1);
        p.setPen(text);
        p.drawText(r.adjusted(2, 0, -2, 0), static_cast<int>(ToQtAlignment(a) | Qt::AlignVCenter),
                   QString::fromStdString(s));
    };
    if (simplePanel_) {
        cell(QRect(0, 2, Width(), Height() - 2), simpleText_, taLeftJustify);
        return;
    }
    int x = 0;
    for (int i = 0; i < panels_->Count(); ++i) {
        TStatusPanel* panel = panels_->Items(i);
        if (!panel) continue;
        // The last panel takes the rest of the bar.
        const int w =
            i == panels_->Count() - 1 ? std::max(panel->Width(), Width() - x) : panel->Width();
        cell(QRect(x, 2, w, Height() - 2), panel->Text(), panel->Alignment());
        x += w + 2;
    }
}
