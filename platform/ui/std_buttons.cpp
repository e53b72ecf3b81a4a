// Buttons, bitmap buttons, speed buttons, check boxes and radio buttons.

#include <QCheckBox>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"

namespace {

const TTypeInfo& BitBtnKindType() {
    static const TTypeInfo& t =
        DefineEnumType("TBitBtnKind", {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo",
                                       "bkClose", "bkAbort", "bkRetry", "bkIgnore", "bkAll"});
    return t;
}

const TTypeInfo& ButtonLayoutType() {
    static const TTypeInfo& t = DefineEnumType(
        "TButtonLayout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"});
    return t;
}

const TTypeInfo& CheckBoxStateType() {
    static const TTypeInfo& t =
        DefineEnumType("TCheckBoxState", {"cbUnchecked", "cbChecked", "cbGrayed"});
    return t;
}

// The first of numGlyphs images laid side by side.
QIcon GlyphIcon(const TBitmap& glyph, int numGlyphs) {
    if (glyph.Empty()) return {};
    QImage image = ToQImage(glyph.ToImage());
    const int w = image.width() / std::max(1, numGlyphs);
    image = image.copy(0, 0, w, image.height());
    // The bottom-left pixel's colour is transparent, as bitmap glyphs are drawn.
    const QRgb key = image.pixel(0, image.height() - 1);
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == key) image.setPixel(x, y, 0);
    return QIcon(QPixmap::fromImage(image));
}

} // namespace

// ---- TButton
// -------------------------------------------------------------------------------------

void TButton::RegisterProperties(TClassBuilder<TButton>& b) {
    b.Add("Cancel", &TButton::Cancel, &TButton::SetCancel).Default(0);
    b.Add("Caption", &TButton::Caption, &TButton::SetCaption);
    b.Add("Default", &TButton::Default, &TButton::SetDefault).Default(0);
    b.Add("ModalResult", TypeInfoModalResult(), &TButton::ModalResult, &TButton::SetModalResult)
        .Default(0);
    b.Publish("TabStop").Default(1);
}

TButton::TButton(TComponent* owner) : TWinControl(owner) {
    auto* w = new QPushButton();
    w->setAutoDefault(false);
    SetBounds(0, 0, 75, 25);
    AttachWidget(w);
    SetTabStop(true);
    SetOwnClick(true);
    QObject::connect(w, &QPushButton::clicked, w, [this] { SafeCall([this] { Click(); }); });
}

std::string TButton::GetControlText() const {
    const auto* w = static_cast<const QPushButton*>(Widget());
    return w ? w->text().toStdString() : std::string();
}

void TButton::SetControlText(const std::string& text) {
    if (auto* w = static_cast<QPushButton*>(Widget())) w->setText(QString::fromStdString(text));
}

void TButton::SetDefault(bool value) {
    default_ = value;
    if (auto* w = static_cast<QPushButton*>(Widget())) w->setDefault(value);
}

void TButton::Click() {
    if (TForm* form = ParentForm()) form->SetModalResult(modalResult_);
    TWinControl::Click();
}

// Enter presses the form's default button, Escape its cancel button.
bool PressDialogButton(TWinControl* root, bool cancel) {
    for (int i = 0; i < root->ControlCount(); ++i) {
        TControl* c = root->Controls(i);
        if (!c->Visible() || !c->Enabled()) continue;
        if (auto* b = dynamic_cast<TButton*>(c); b && (cancel ? b->Cancel() : b->Default())) {
            b->Click();
            return true;
        }
        if (auto* wc = dynamic_cast<TWinControl*>(c); wc && PressDialogButton(wc, cancel))
            return true;
    }
    return false;
}

// ---- TBitBtn
// -------------------------------------------------------------------------------------

void TBitBtn::RegisterProperties(TClassBuilder<TBitBtn>& b) {
    b.Add("Kind", BitBtnKindType(), &TBitBtn::Kind, &TBitBtn::SetKind).Default(bkCustom);
    b.Add("Layout", ButtonLayoutType(), &TBitBtn::Layout, &TBitBtn::SetLayout).Default(blGlyphLeft);
    b.Add("NumGlyphs", &TBitBtn::NumGlyphs, &TBitBtn::SetNumGlyphs).Default(1);
}

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner) {
    glyph_.OnChange = [this](TGraphic&) { ApplyGlyph(); };
}

TBitBtn::~TBitBtn() {
    glyph_.OnChange = nullptr;
}

void TBitBtn::SetKind(TBitBtnKind kind) {
    kind_ = kind;
    struct KindInfo {
        const char* caption;
        TModalResult result;
    };
    static const KindInfo kKinds[] = {
        {"", mrNone},        {"OK", mrOk},          {"Cancel", mrCancel}, {"&Help", mrNone},
        {"&Yes", mrYes},     {"&No", mrNo},         {"&Close", mrNone},   {"Abort", mrAbort},
        {"&Retry", mrRetry}, {"&Ignore", mrIgnore}, {"&All", mrAll}};
    if (kind == bkCustom) return;
    SetCaption(kKinds[kind].caption);
    SetModalResult(kKinds[kind].result);
    if (kind == bkOK || kind == bkYes) SetDefault(true);
    if (kind == bkCancel || kind == bkNo) SetCancel(true);
}

void TBitBtn::SetGlyph(const TBitmap& glyph) {
    glyph_.Assign(glyph);
    ApplyGlyph();
}

void TBitBtn::SetNumGlyphs(int value) {
    numGlyphs_ = std::clamp(value, 1, 4);
    ApplyGlyph();
}

void TBitBtn::ApplyGlyph() {
    if (auto* w = static_cast<QPushButton*>(Widget())) {
        w->setIcon(GlyphIcon(glyph_, numGlyphs_));
        if (!glyph_.Empty()) w->setIconSize(QSize(glyph_.Width() / numGlyphs_, glyph_.Height()));
    }
}

void TBitBtn::Click() {
    // A close button closes its form.
    if (kind_ == bkClose) {
        if (TForm* form = ParentForm()) {
            TControl::Click();
            form->Close();
            return;
        }
    }
    TButton::Click();
}

// ---- TSpeedButton
// --------------------------------------------------------------------------------

void TSpeedButton::RegisterProperties(TClassBuilder<TSpeedButton>& b) {
    b.Add("AllowAllUp", &TSpeedButton::AllowAllUp, &TSpeedButton::SetAllowAllUp).Default(0);
    b.Add("Caption", &TSpeedButton::Caption, &TSpeedButton::SetCaption);
    b.Add("Down", &TSpeedButton::Down, &TSpeedButton::SetDown).Default(0);
    b.Add("Flat", &TSpeedButton::Flat, &TSpeedButton::SetFlat).Default(0);
    b.Add("GroupIndex", &TSpeedButton::GroupIndex, &TSpeedButton::SetGroupIndex).Default(0);
    b.Add("NumGlyphs", &TSpeedButton::NumGlyphs, &TSpeedButton::SetNumGlyphs).Default(1);
}

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner) {
    auto* w = new QToolButton();
    w->setFocusPolicy(Qt::NoFocus);
    w->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SetBounds(0, 0, 23, 22);
    AttachWidget(w);
    SetOwnClick(true);
    QObject::connect(w, &QToolButton::clicked, w, [this] { SafeCall([this] { Click(); }); });
}

std::string TSpeedButton::GetControlText() const {
    const auto* w = static_cast<const QToolButton*>(Widget());
    return w ? w->text().toStdString() : std::string();
}

void TSpeedButton::SetControlText(const std::string& text) {
    if (auto* w = static_cast<QToolButton*>(Widget())) w->setText(QString::fromStdString(text));
}

void TSpeedButton::SetFlat(bool value) {
    flat_ = value;
    if (auto* w = static_cast<QToolButton*>(Widget())) w->setAutoRaise(value);
}

void TSpeedButton::SetGroupIndex(int value) {
    groupIndex_ = value;
    if (auto* w = static_cast<QToolButton*>(Widget())) {
        w->setCheckable(value != 0);
        w->setChecked(down_);
    }
}

void TSpeedButton::SetDown(bool value) {
    if (groupIndex_ == 0) value = false;
    if (value == down_) return;
    if (!value && !allowAllUp_) {
        // The last button of a group stays down unless all may be up.
        bool otherDown = false;
        if (Parent())
            for (int i = 0; i < Parent()->ControlCount(); ++i)
                if (auto* s = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
                    s && s != this && s->groupIndex_ == groupIndex_ && s->down_)
                    otherDown = true;
        if (!otherDown) {
            if (auto* w = static_cast<QToolButton*>(Widget())) w->setChecked(true);
            return;
        }
    }
    down_ = value;
    if (auto* w = static_cast<QToolButton*>(Widget())) w->setChecked(value);
    if (value && Parent())
        for (int i = 0; i < Parent()->ControlCount(); ++i)
            if (auto* s = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
                s && s != this && s->groupIndex_ == groupIndex_) {
                s->down_ = false;
                if (auto* w = static_cast<QToolButton*>(s->Widget())) w->setChecked(false);
            }
}

void TSpeedButton::SetGlyph(const TBitmap& glyph) {
    glyph_.Assign(glyph);
    if (auto* w = static_cast<QToolButton*>(Widget())) {
        w->setIcon(GlyphIcon(glyph_, numGlyphs_));
        if (!glyph_.Empty()) w->setIconSize(QSize(glyph_.Width() / numGlyphs_, glyph_.Height()));
    }
}

void TSpeedButton::Click() {
    if (groupIndex_ != 0) SetDown(allowAllUp_ ? !down_ : true);
    TGraphicControl::Click();
}

// ---- TCheckBox
// -----------------------------------------------------------------------------------

void TCheckBox::RegisterProperties(TClassBuilder<TCheckBox>& b) {
    b.Add("AllowGrayed", &TCheckBox::AllowGrayed, &TCheckBox::SetAllowGrayed).Default(0);
    b.Add("Caption", &TCheckBox::Caption, &TCheckBox::SetCaption);
    b.Add("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked).Default(0);
    b.Add("State", CheckBoxStateType(), &TCheckBox::State, &TCheckBox::SetState)
        .Default(cbUnchecked);
    b.Publish("TabStop").Default(1);
}

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
    auto* w = new QCheckBox();
    SetBounds(0, 0, 97, 17);
    AttachWidget(w);
    SetTabStop(true);
    SetOwnClick(true);
    QObject::connect(w, &QCheckBox::stateChanged, w, [this] { SafeCall([this] { Click(); }); });
}

std::string TCheckBox::GetControlText() const {
    const auto* w = static_cast<const QCheckBox*>(Widget());
    return w ? w->text().toStdString() : std::string();
}

void TCheckBox::SetControlText(const std::string& text) {
    if (auto* w = static_cast<QCheckBox*>(Widget())) w->setText(QString::fromStdString(text));
}

TCheckBoxState TCheckBox::State() const {
    const auto* w = static_cast<const QCheckBox*>(Widget());
    if (!w) return cbUnchecked;
    switch (w->checkState()) {
    case Qt::Checked:
        return cbChecked;
    case Qt::PartiallyChecked:
        return cbGrayed;
    default:
        return cbUnchecked;
    }
}

void TCheckBox::SetState(TCheckBoxState value) {
    auto* w = static_cast<QCheckBox*>(Widget());
    if (!w || value == State()) return;
    w->setCheckState(value == cbChecked  ? Qt::Checked
                     : value == cbGrayed ? Qt::PartiallyChecked
                                         : Qt::Unchecked);
}

void TCheckBox::SetAllowGrayed(bool value) {
    allowGrayed_ = value;
    if (auto* w = static_cast<QCheckBox*>(Widget())) w->setTristate(value);
}

// ---- TRadioButton
// --------------------------------------------------------------------------------

void TRadioButton::RegisterProperties(TClassBuilder<TRadioButton>& b) {
    b.Add("Caption", &TRadioButton::Caption, &TRadioButton::SetCaption);
    b.Add("Checked", &TRadioButton::Checked, &TRadioButton::SetChecked).Default(0);
    b.Publish("TabStop").Default(1);
}

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner) {
    auto* w = new QRadioButton();
    SetBounds(0, 0, 113, 17);
    AttachWidget(w);
    SetTabStop(true);
    SetOwnClick(true);
    QObject::connect(w, &QRadioButton::toggled, w, [this](bool on) {
        if (on) SafeCall([this] { Click(); });
    });
}

std::string TRadioButton::GetControlText() const {
    const auto* w = static_cast<const QRadioButton*>(Widget());
    return w ? w->text().toStdString() : std::string();
}

void TRadioButton::SetControlText(const std::string& text) {
    if (auto* w = static_cast<QRadioButton*>(Widget())) w->setText(QString::fromStdString(text));
}

bool TRadioButton::Checked() const {
    const auto* w = static_cast<const QRadioButton*>(Widget());
    return w && w->isChecked();
}

void TRadioButton::SetChecked(bool value) {
    auto* w = static_cast<QRadioButton*>(Widget());
    if (!w || value == w->isChecked()) return;
    if (value) {
        w->setChecked(true);
    } else {
        // An exclusive radio button cannot be unchecked directly.
        w->setAutoExclusive(false);
        w->setChecked(false);
        w->setAutoExclusive(true);
    }
}
