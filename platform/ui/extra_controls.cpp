// Pictures, progress bars and date-time pickers.

#include "platform/ui/extra_controls.h"

#include <QDateTimeEdit>
#include <QImage>
#include <QPainter>
#include <QProgressBar>
#include <cmath>

#include "platform/core/format.h"
#include "platform/core/properties.h"
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
