// Pictures, progress bars and date-time pickers.

#include "platform/ui/extra_controls.h"

#include <QDateTimeEdit>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QProgressBar>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/format.h"
#include "platform/core/properties.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"

// ---- TImage
// --------------------------------------------------------------------------------------

struct TImage::Cache {
    QImage image;
    bool valid = false;
};

void TImage::RegisterProperties(TClassBuilder<TImage>& b) {
    b.Add("Center", &TImage::Center, &TImage::SetCenter).Default(0);
    b.Add("Proportional", &TImage::Proportional, &TImage::SetProportional).Default(0);
    b.Add("Stretch", &TImage::Stretch, &TImage::SetStretch).Default(0);
    b.Add("Transparent", &TImage::Transparent, &TImage::SetTransparent).Default(0);
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner), cache_(std::make_unique<Cache>()) {
    auto* w = new PaintWidget();
    w->onPaint = [this](QPainter& p) {
        if (picture_.Empty()) return;
        if (!cache_->valid) {
            cache_->image = ToQImage(picture_.Graphic()->ToImage());
            cache_->valid = true;
        }
        const TRect r = DestRect();
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), cache_->image);
    };
    SetBounds(0, 0, 105, 105);
    AttachWidget(w);
    picture_.OnChange = [this](TPicture&) { PictureChanged(); };
}

TImage::~TImage() {
    picture_.OnChange = nullptr;
}

void TImage::PictureChanged() {
    cache_->valid = false;
    Invalidate();
}

void TImage::SetStretch(bool value) {
    stretch_ = value;
    Invalidate();
}
void TImage::SetCenter(bool value) {
    center_ = value;
    Invalidate();
}
void TImage::SetProportional(bool value) {
    proportional_ = value;
    Invalidate();
}
void TImage::SetTransparent(bool value) {
    transparent_ = value;
    Invalidate();
}

TRect TImage::DestRect() const {
    const int pw = picture_.Width(), ph = picture_.Height();
    int w = pw, h = ph;
    if (stretch_ || (proportional_ && (pw > Width() || ph > Height()))) {
        if (proportional_ && pw > 0 && ph > 0) {
            const double scale =
                std::min(static_cast<double>(Width()) / pw, static_cast<double>(Height()) / ph);
            w = static_cast<int>(pw * scale);
            h = static_cast<int>(ph * scale);
        } else {
            w = Width();
            h = Height();
        }
    }
    int x = 0, y = 0;
    if (center_) {
        x = (Width() - w) / 2;
        y = (Height() - h) / 2;
    }
    return Bounds(x, y, w, h);
}

// ---- TProgressBar
// --------------------------------------------------------------------------------

void TProgressBar::RegisterProperties(TClassBuilder<TProgressBar>& b) {
    b.Add("Max", &TProgressBar::Max, &TProgressBar::SetMax).Default(100);
    b.Add("Min", &TProgressBar::Min, &TProgressBar::SetMin).Default(0);
    b.Add("Position", &TProgressBar::Position, &TProgressBar::SetPosition).Default(0);
    b.Add("Step", &TProgressBar::Step, &TProgressBar::SetStep).Default(10);
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
    auto* w = new QProgressBar();
    w->setTextVisible(false);
    SetBounds(0, 0, 150, 16);
    AttachWidget(w);
    Apply();
}

void TProgressBar::SetMin(int value) {
    min_ = value;
    if (max_ < min_) max_ = min_;
    SetPosition(position_);
}

void TProgressBar::SetMax(int value) {
    max_ = value;
    if (min_ > max_) min_ = max_;
    SetPosition(position_);
}

void TProgressBar::SetPosition(int value) {
    position_ = std::clamp(value, min_, max_);
    Apply();
}

void TProgressBar::Apply() {
    if (auto* w = static_cast<QProgressBar*>(Widget())) {
        w->setRange(min_, max_);
        w->setValue(position_);
    }
}

// ---- TDateTimePicker
// -----------------------------------------------------------------------------

namespace {

const TTypeInfo& DateTimeKindType() {
    static const TTypeInfo& t = DefineEnumType("TDateTimeKind", {"dtkDate", "dtkTime"});
    return t;
}

const TTypeInfo& DateFormatType() {
    static const TTypeInfo& t = DefineEnumType("TDTDateFormat", {"dfShort", "dfLong"});
    return t;
}

QDateTime ToQDateTime(TDateTime value) {
    int y, m, d, hh, nn, ss, ms;
    DecodeDate(value, y, m, d);
    DecodeTime(value, hh, nn, ss, ms);
    return QDateTime(QDate(y, m, d), QTime(hh, nn, ss, ms));
}

TDateTime FromQDateTime(const QDateTime& value) {
    const QDate d = value.date();
    const QTime t = value.time();
    const TDateTime date = EncodeDate(d.year(), d.month(), d.day());
    const TDateTime time = EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
    return date >= 0 ? date + time : date - time;
}

// The settings' date format ("yyyy-m-d") in the toolkit's notation ("yyyy-M-d").
QString ToolkitDateFormat(const std::string& format) {
    QString out;
    bool quoted = false;
    for (const QChar c : QString::fromStdString(format)) {
        if (c == '\'' || c == '"') {
            quoted = !quoted;
            out += '\'';
            continue;
        }
        if (!quoted && (c == 'm' || c == 'M'))
            out += 'M';
        else if (!quoted && c == '/')
            out += QChar(FormatSettings().DateSeparator);
        else
            out += c;
    }
    return out;
}

QString ToolkitTimeFormat(const std::string& format) {
    QString out = QString::fromStdString(format);
    out.replace("nn", "mm");
    out.replace('n', 'm');
    return out;
}

} // namespace

void TDateTimePicker::RegisterProperties(TClassBuilder<TDateTimePicker>& b) {
    b.Add("Date", TypeInfoDate(), &TDateTimePicker::Date, &TDateTimePicker::SetDate);
    b.Add("DateFormat", DateFormatType(), &TDateTimePicker::DateFormat,
          &TDateTimePicker::SetDateFormat)
        .Default(dfShort);
    b.Add("Kind", DateTimeKindType(), &TDateTimePicker::Kind, &TDateTimePicker::SetKind)
        .Default(dtkDate);
    b.Add("Time", TypeInfoTime(), &TDateTimePicker::Time, &TDateTimePicker::SetTime);
    b.Publish("TabStop").Default(1);
    b.AddMethod("OnChange", "TNotifyEvent");
}

TDateTimePicker::TDateTimePicker(TComponent* owner) : TWinControl(owner) {
    auto* w = new QDateTimeEdit();
    w->setCalendarPopup(true);
    w->setDateTime(QDateTime::currentDateTime());
    SetBounds(0, 0, 186, 21);
    AttachWidget(w);
    SetTabStop(true);
    ApplyFormat();
    QObject::connect(w, &QDateTimeEdit::dateTimeChanged, w,
                     [this] { SafeCall([this] { Change(); }); });
}

TDateTime TDateTimePicker::DateTime() const {
    const auto* w = static_cast<const QDateTimeEdit*>(Widget());
    return w ? FromQDateTime(w->dateTime()) : 0;
}

void TDateTimePicker::SetDateTime(TDateTime value) {
    auto* w = static_cast<QDateTimeEdit*>(Widget());
    if (!w) return;
    w->blockSignals(true);
    w->setDateTime(ToQDateTime(value));
    w->blockSignals(false);
}

TDateTime TDateTimePicker::Date() const {
    return std::trunc(DateTime());
}

void TDateTimePicker::SetDate(TDateTime value) {
    const TDateTime time = std::fabs(DateTime() - std::trunc(DateTime()));
    const TDateTime date = std::trunc(value);
    SetDateTime(date >= 0 ? date + time : date - time);
}

TDateTime TDateTimePicker::Time() const {
    return std::fabs(DateTime() - std::trunc(DateTime()));
}

void TDateTimePicker::SetTime(TDateTime value) {
    const TDateTime date = std::trunc(DateTime());
    const TDateTime time = std::fabs(value - std::trunc(value));
    SetDateTime(date >= 0 ? date + time : date - time);
}

void TDateTimePicker::SetKind(TDateTimeKind value) {
    kind_ = value;
    ApplyFormat();
}

void TDateTimePicker::SetDateFormat(TDTDateFormat value) {
    dateFormat_ = value;
    ApplyFormat();
}

void TDateTimePicker::ApplyFormat() {
    auto* w = static_cast<QDateTimeEdit*>(Widget());
    if (!w) return;
    const TFormatSettings& fs = FormatSettings();
    if (kind_ == dtkTime)
        w->setDisplayFormat(ToolkitTimeFormat(fs.LongTimeFormat));
    else
        w->setDisplayFormat(
            ToolkitDateFormat(dateFormat_ == dfLong ? fs.LongDateFormat : fs.ShortDateFormat));
}

void TDateTimePicker::Change() {
    if (OnChange) OnChange(this);
}

// ---- TUpDown

namespace {

// First repeat after a pause, then steadily, as held scroll arrows do.
constexpr int kUpDownRepeatDelay = 400;
constexpr int kUpDownRepeatInterval = 100;

} // namespace

std::string FormatUpDownValue(int value, bool thousands) {
    const long long v = value;
    std::string digits = std::to_string(v < 0 ? -v : v);
    if (thousands)
        for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
            digits.insert(i, ",");
    return v < 0 ? "-" + digits : digits;
}

bool ParseUpDownValue(const std::string& text, int& value) {
    std::size_t i = 0, end = text.size();
    while (i < end && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    bool negative = false;
    if (i < end && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    bool digit = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c == ',') continue;
        if (c < '0' || c > '9') return false;
        digit = true;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (!digit || v > INT32_MAX || v < INT32_MIN) return false;
    value = static_cast<int>(v);
    return true;
}

// The associate's Up and Down keys step the spinner before the edit sees them.
struct TUpDown::KeyFilter : QObject {
    explicit KeyFilter(TUpDown* u) : upDown(u) {}
    TUpDown* upDown;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !upDown->arrowKeys_) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Up && key != Qt::Key_Down) return false;
        SafeCall([&] { upDown->Step(key == Qt::Key_Up ? btNext : btPrev); });
        return true;
    }
};

void TUpDown::RegisterProperties(TClassBuilder<TUpDown>& b) {
    b.Add("ArrowKeys", &TUpDown::ArrowKeys, &TUpDown::SetArrowKeys).Default(1);
    b.Add("Associate", &TUpDown::Associate, &TUpDown::SetAssociate);
    b.Add("Increment", &TUpDown::Increment, &TUpDown::SetIncrement).Default(1);
    b.Add("Max", &TUpDown::Max, &TUpDown::SetMax).Default(100);
    b.Add("Min", &TUpDown::Min, &TUpDown::SetMin).Default(0);
    b.Add("Position", &TUpDown::Position, &TUpDown::SetPosition).Default(0);
    b.Add("Thousands", &TUpDown::Thousands, &TUpDown::SetThousands).Default(1);
    b.Add("Wrap", &TUpDown::Wrap, &TUpDown::SetWrap).Default(0);
    b.AddMethod("OnChanging", "TUDChangingEvent");
    b.AddMethod("OnClick", "TUDClickEvent");
}

TUpDown::TUpDown(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, 16, 24);
}

TUpDown::~TUpDown() {
    repeat_.Stop();
    SetAssociate(nullptr);
}

void TUpDown::SetAssociate(TWinControl* edit) {
    if (edit == associate_ || edit == this) return;
    if (associate_) {
        if (QWidget* w = associate_->Widget()) w->removeEventFilter(keyFilter_);
        associate_->RemoveFreeNotification(this);
    }
    delete keyFilter_;
    keyFilter_ = nullptr;
    associate_ = edit;
    if (!associate_) return;
    associate_->FreeNotification(this);
    keyFilter_ = new KeyFilter(this);
    if (QWidget* w = associate_->Widget()) w->installEventFilter(keyFilter_);
    PlaceBesideAssociate();
    ShowInAssociate();
}

void TUpDown::PlaceBesideAssociate() {
    if (!associate_) return;
    if (Parent() != associate_->Parent()) SetParent(associate_->Parent());
    // The spinner takes its width from the edit, so the pair keeps the edit's place.
    const int w = Width();
    const int l = associate_->Left(), t = associate_->Top();
    const int ew = std::max(0, associate_->Width() - w), h = associate_->Height();
    if (alignButton_ == udRight) {
        associate_->SetBounds(l, t, ew, h);
        SetBounds(l + ew, t, w, h);
    } else {
        associate_->SetBounds(l + w, t, ew, h);
        SetBounds(l, t, w, h);
    }
}

void TUpDown::SetMin(int value) {
    min_ = value;
    SetPosition(position_);
}

void TUpDown::SetMax(int value) {
    max_ = value;
    SetPosition(position_);
}

void TUpDown::SetPosition(int value) {
    position_ = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    ShowInAssociate();
}

void TUpDown::SetThousands(bool value) {
    thousands_ = value;
    ShowInAssociate();
}

void TUpDown::SetAlignButton(TUDAlignButton value) {
    alignButton_ = value;
    Invalidate();
}

void TUpDown::SetOrientation(TUDOrientation value) {
    orientation_ = value;
    Invalidate();
}

void TUpDown::ShowInAssociate() {
    if (associate_) associate_->SetText(FormatUpDownValue(position_, thousands_));
}

void TUpDown::ReadAssociate() {
    // What the user typed counts; text that is no number leaves the position as it was.
    int typed = 0;
    if (associate_ && ParseUpDownValue(associate_->Text(), typed))
        position_ = std::clamp(typed, std::min(min_, max_), std::max(min_, max_));
}

void TUpDown::Step(TUDBtnType button) {
    ReadAssociate();
    const int lo = std::min(min_, max_), hi = std::max(min_, max_);
    const long long delta = (button == btNext ? 1LL : -1LL) * increment_;
    long long next = static_cast<long long>(position_) + delta;
    if (next > hi) next = wrap_ ? lo : hi;
    if (next < lo) next = wrap_ ? hi : lo;
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    if (!allow) return;
    position_ = static_cast<int>(next);
    ShowInAssociate();
    if (OnClick) OnClick(this, button);
}

TUDBtnType TUpDown::ButtonAt(int x, int y) const {
    if (orientation_ == udHorizontal) return x < Width() / 2 ? btPrev : btNext;
    return y < Height() / 2 ? btNext : btPrev;
}

void TUpDown::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseDown(button, shift, x, y);
    if (button != mbLeft || !Enabled()) return;
    const TUDBtnType b = ButtonAt(x, y);
    pressed_ = b;
    Invalidate();
    Step(b);
    repeat_.Start(kUpDownRepeatDelay, false, [this, b] {
        Step(b);
        repeat_.Start(kUpDownRepeatInterval, true, [this, b] { Step(b); });
    });
}

void TUpDown::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    StopRepeat();
    TCustomControl::MouseUp(button, shift, x, y);
}

void TUpDown::StopRepeat() {
    repeat_.Stop();
    if (pressed_ < 0) return;
    pressed_ = -1;
    Invalidate();
}

void TUpDown::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == associate_) {
        // Its widget goes with it, and the filter with the widget's list.
        associate_ = nullptr;
        delete keyFilter_;
        keyFilter_ = nullptr;
    }
    TCustomControl::Notification(component, operation);
}

void TUpDown::Paint() {
    TCanvas* c = Canvas();
    const bool vertical = orientation_ == udVertical;
    const int w = Width(), h = Height();
    const TRect halves[2] = {vertical ? Rect(0, 0, w, h / 2) : Rect(w / 2, 0, w, h),
                             vertical ? Rect(0, h / 2, w, h) : Rect(0, 0, w / 2, h)};
    for (int i = 0; i < 2; ++i) {
        const TRect& r = halves[i];
        const bool down = pressed_ == i;
        c->Brush().SetStyle(bsSolid);
        c->Brush().SetColor(clBtnFace);
        c->FillRect(r);
        // Raised, or sunken while held.
        c->Pen().SetColor(down ? clBtnShadow : clBtnHighlight);
        c->MoveTo(r.Left, r.Bottom - 1);
        c->LineTo(r.Left, r.Top);
        c->LineTo(r.Right - 1, r.Top);
        c->Pen().SetColor(down ? clBtnHighlight : clBtnShadow);
        c->LineTo(r.Right - 1, r.Bottom - 1);
        c->LineTo(r.Left, r.Bottom - 1);
        // The arrow: a small triangle pointing up/down (right/left), nudged while held.
        const int cx = (r.Left + r.Right) / 2 + (down ? 1 : 0);
        const int cy = (r.Top + r.Bottom) / 2 + (down ? 1 : 0);
        const int a = std::max(1, std::min(r.Width(), r.Height()) / 4);
        const TColor ink = Enabled() ? clBtnText : clGrayText;
        c->Pen().SetColor(ink);
        c->Brush().SetColor(ink);
        const bool next = i == btNext;
        if (vertical)
            c->Polygon(next ? std::vector<TPoint>{{cx - a, cy + a / 2},
                                                  {cx + a, cy + a / 2},
                                                  {cx, cy - a / 2 - 1}}
                            : std::vector<TPoint>{{cx - a, cy - a / 2},
                                                  {cx + a, cy - a / 2},
                                                  {cx, cy + a / 2 + 1}});
        else
            c->Polygon(next ? std::vector<TPoint>{{cx - a / 2, cy - a},
                                                  {cx - a / 2, cy + a},
                                                  {cx + a / 2 + 1, cy}}
                            : std::vector<TPoint>{{cx + a / 2, cy - a},
                                                  {cx + a / 2, cy + a},
                                                  {cx - a / 2 - 1, cy}});
    }
}
