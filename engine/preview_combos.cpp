#include "engine/preview_combos.h"

#include <algorithm>
#include <utility>

#include "engine/preview_workspace.h"
#include "platform/core/properties.h"
#include "platform/core/settings_store.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/font_measurer.h"
#include "platform/ui/form.h"

int FontTextHeight(const TFontData& font) {
    return TFontMeasurer::ForFont(font)->Metrics().Height;
}

// ---- flat combo geometry and face --------------------------------------------------------------

int ComboListHeight(int itemHeight, int dropDownCount, int itemCount) {
    if (dropDownCount > 0 && itemCount > 0)
        return itemHeight * std::min(dropDownCount, itemCount) + 2;
    return itemHeight + 2;
}

TRect ComboEditBounds(int width, int height, int buttonWidth, int editOffset) {
    const int left = editOffset + 3;
    return TRect(left, 3, left + (width - buttonWidth - editOffset - 8), height - 3);
}

bool ComboOpensUpwards(int controlTop, int textHeight, int listHeight, int screenBottom) {
    return controlTop + textHeight + listHeight + 6 > screenBottom;
}

void PaintFlatCombo(TCanvas& canvas, int width, int height, int buttonWidth, TpgwComboFace face) {
    const TRect whole(0, 0, width, height);
    const TRect button(width - buttonWidth - 3, 1, width - 1, height - 1);
    const int arrowX = width + buttonWidth / 2 - buttonWidth - 4;
    const int arrowY = (height - 4) / 2 + 1;
    auto frame = [&](const TRect& r, TColor color) {
        canvas.Brush().SetColor(color);
        canvas.FrameRect(r);
    };
    auto arrow = [&](TColor color) {
        canvas.Pen().SetColor(color);
        for (int row = 0; row < 3; ++row) {
            canvas.MoveTo(arrowX + row, arrowY + row);
            canvas.LineTo(arrowX + 5 - row, arrowY + row);
        }
    };

    if (face == cfDisabled) {
        canvas.Brush().SetColor(clBtnFace);
        canvas.FillRect(whole);
        frame(whole, clBtnShadow);
        arrow(clGrayText);
        return;
    }
    const bool hot = face != cfNormal;
    frame(whole, hot ? clHighlight : clBtnFace);
    frame(TRect(1, 1, width - 1, height - 1), clWindow);
    frame(TRect(2, 2, button.Left, height - 2), clWindow);

    TColor fill = clBtnFace;
    if (face == cfHot) fill = MixColors(clHighlight, clWindow, 30);
    if (face == cfDroppedDown) fill = MixColors(clHighlight, clWindow, 50);
    canvas.Brush().SetColor(fill);
    canvas.FillRect(button);
    if (!hot) frame(button, clWindow);
    canvas.Pen().SetColor(hot ? clHighlight : clWindow);
    canvas.MoveTo(button.Left, button.Top);
    canvas.LineTo(button.Left, button.Bottom);
    arrow(face == cfDroppedDown ? clCaptionText : clBtnText);
}

// ---- flat combo box ----------------------------------------------------------------------------

TpgwCustomComboBox::TpgwCustomComboBox(TComponent* owner) : TCustomComboBox(owner) {
    SetItemHeight(FontTextHeight(Font()->Data()));
    SetWidth(100);
}

void TpgwCustomComboBox::PlaceList(int controlScreenTop, int screenBottom) {
    upDropdown_ = ComboOpensUpwards(controlScreenTop, FontTextHeight(Font()->Data()), ListHeight(),
                                    screenBottom);
}

TpgwComboFace TpgwCustomComboBox::Face() const {
    if (!Enabled()) return cfDisabled;
    if (DroppedDown()) return cfDroppedDown;
    if ((ComponentState() & csDesigning) || Focused() || mouseInControl_ || MouseOverFace())
        return cfHot;
    return cfNormal;
}

std::optional<TRect> TpgwCustomComboBox::FaceEditRect() const {
    return ComboEditBounds(Width(), Height(), buttonWidth_, editOffset_);
}

bool TpgwCustomComboBox::PaintFace(TCanvas& canvas) {
    const TpgwComboFace face = Face();
    PaintFlatCombo(canvas, Width(), Height(), buttonWidth_, face);
    if (face != cfDisabled && editOffset_ > 0)
        PaintImageArea(canvas, TRect(3, 3, editOffset_ + 3, Height() - 3));
    if (Style() == csDropDownList || OwnerDrawn()) {
        TOwnerDrawState state = odComboBoxEdit;
        if (face == cfDisabled) state |= odDisabled;
        PaintItem(canvas, ItemIndex(), *FaceEditRect(), state);
    }
    return true;
}

void TpgwCustomComboBox::PaintImageArea(TCanvas& canvas, const TRect& area) {
    canvas.Brush().SetColor(clWindow);
    canvas.FillRect(area);
}

void TpgwCustomComboBox::FontChanged() {
    TCustomComboBox::FontChanged();
    SetItemHeight(FontTextHeight(Font()->Data()));
}

void TpgwComboBox::RegisterProperties(TClassBuilder<TpgwComboBox>& b) {
    using C = TpgwComboBox;
    b.Add("ListWidth", &C::ListWidth, &C::SetListWidth).Default(0);
    b.Add("ReadOnly", &C::ReadOnly, &C::SetReadOnly).Default(0);
}

// ---- recent fonts ------------------------------------------------------------------------------

namespace {

std::string Numbered(std::string_view name, int n) {
    return std::string(name) + char('0' + n);
}

TpgwFontSource& FontSource() {
    static TpgwFontSource source;
    return source;
}

} // namespace

void TpgwFontList::Fill(std::vector<TpgwFontEntry> fonts) {
    std::stable_sort(
        fonts.begin(), fonts.end(),
        [](const TpgwFontEntry& a, const TpgwFontEntry& b) { return a.Name < b.Name; });
    fonts.erase(std::unique(fonts.begin(), fonts.end(),
                            [](const TpgwFontEntry& a, const TpgwFontEntry& b) {
                                return a.Name == b.Name;
                            }),
                fonts.end());
    items_ = std::move(fonts);
    mruCount_ = -1;
}

int TpgwFontList::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Name == name) return static_cast<int>(i);
    return -1;
}

void TpgwFontList::LoadRecent(TRegistry& store, std::string_view key) {
    if (!store.OpenKey(key, true)) return;
    // Oldest first, each inserted at the top, so the most recent ends first.
    for (int n = kMaxRecentFonts - 1; n >= 0; --n) {
        const std::string name = store.ReadString(Numbered("Font", n));
        if (!name.empty() && IndexOf(name) >= 0) {
            int type = 0;
            try {
                type = store.ReadInteger(Numbered("FontType", n));
            } catch (const ERegistryException&) {
                type = items_[IndexOf(name)].FontType;
            }
            items_.insert(items_.begin(), TpgwFontEntry{name, type});
            ++mruCount_;
        } else {
            store.WriteString(Numbered("Font", n), "");
            store.WriteInteger(Numbered("FontType", n), 0);
        }
    }
    store.CloseKey();
}

int TpgwFontList::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return index;
    const TpgwFontEntry chosen = items_[index];
    const int first = IndexOf(chosen.Name);
    if (first > mruCount_) {
        items_.insert(items_.begin(), chosen);
        if (mruCount_ + 1 >= kMaxRecentFonts)
            items_.erase(items_.begin() + kMaxRecentFonts);
        else
            ++mruCount_;
    } else if (first > 0) {
        items_.erase(items_.begin() + first);
        items_.insert(items_.begin(), chosen);
    }
    return 0;
}

void TpgwFontList::SaveRecent(TRegistry& store, std::string_view key) const {
    if (!store.OpenKey(key, true)) return;
    for (int n = 0; n < kMaxRecentFonts; ++n) {
        const bool used = n <= mruCount_;
        store.WriteString(Numbered("Font", n), used ? items_[n].Name : std::string());
        store.WriteInteger(Numbered("FontType", n), used ? items_[n].FontType : 0);
    }
    store.CloseKey();
}

std::vector<TpgwFontEntry> InstalledFonts() {
    if (FontSource()) return FontSource()();
    std::vector<TpgwFontEntry> fonts;
    for (std::string& family : InstalledFontFamilies())
        fonts.push_back({std::move(family), TRUETYPE_FONTTYPE});
    return fonts;
}

TpgwScopedFontSource::TpgwScopedFontSource(TpgwFontSource source)
    : previous_(std::exchange(FontSource(), std::move(source))) {}

TpgwScopedFontSource::~TpgwScopedFontSource() {
    FontSource() = std::move(previous_);
}

// ---- font sample ------------------------------------------------------------------------------

namespace {
constexpr int kPreviewWidth = 200;
constexpr int kPreviewHeight = 50;
} // namespace

TpgwFontPreview::TpgwFontPreview(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, kPreviewWidth, kPreviewHeight);
    SetVisible(false);
}

void TpgwFontPreview::SetSample(const std::string& fontName) {
    if (sample_ == fontName) return;
    sample_ = fontName;
    Invalidate();
}

void TpgwFontPreview::Paint() {
    TCanvas& canvas = *Canvas();
    const TRect r = ClientRect();
    canvas.Brush().SetColor(clWindow);
    canvas.FillRect(r);
    if (sample_.empty()) return;
    canvas.Font().SetName(sample_);
    canvas.Font().SetSize(18);
    canvas.Font().SetColor(clWindowText);
    canvas.Brush().SetStyle(bsClear);
    const TSize extent = canvas.TextExtent(sample_);
    canvas.TextRect(r, r.Left + (r.Width() - extent.cx) / 2, r.Top + (r.Height() - extent.cy) / 2,
                    sample_);
}

TRect FontPreviewBounds(const TRect& control, int screenWidth, bool upDropdown) {
    int left = control.Right + 1;
    if (left + kPreviewWidth > screenWidth) left = control.Left - kPreviewWidth - 1;
    const int top = upDropdown ? control.Top - kPreviewHeight : control.Bottom;
    return TRect(left, top, left + kPreviewWidth, top + kPreviewHeight);
}

// ---- font combo --------------------------------------------------------------------------------

namespace {

constexpr int kTypeMarkWidth = 13;
constexpr int kTypeMarkHeight = 12;

// The outline-font mark: two overlapping letters T.
void DrawOutlineMark(TCanvas& canvas, int x, int y) {
    canvas.Pen().SetColor(clWindowText);
    for (int dx : {0, 4}) {
        canvas.MoveTo(x + dx, y + dx / 2);
        canvas.LineTo(x + dx + 8, y + dx / 2);
        canvas.MoveTo(x + dx + 4, y + dx / 2);
        canvas.LineTo(x + dx + 4, y + dx / 2 + 9);
    }
}

} // namespace

TpgwFontComboBox::TpgwFontComboBox(TComponent* owner) : TpgwCustomComboBox(owner) {
    SetStyle(csOwnerDrawFixed);
    SetDropDownCount(12);
    SetWidth(150);
    SetEditOffset(16);
    SetReadOnly(true);
    SetItemHeight(std::max(ItemHeight(), kTypeMarkHeight + 1));
    if (!(ComponentState() & csDesigning)) preview_ = new TpgwFontPreview(this);
}

void TpgwFontComboBox::FontChanged() {
    TpgwCustomComboBox::FontChanged();
    SetItemHeight(std::max(ItemHeight(), kTypeMarkHeight + 1));
}

std::string TpgwFontComboBox::StoreKey() const {
    return mruRegKey_.empty() ? std::string(kDefaultMRUFontKey) : mruRegKey_;
}

int TpgwFontComboBox::FontTypeAt(int index) const {
    const auto& items = list_.Items();
    return index >= 0 && index < static_cast<int>(items.size()) ? items[index].FontType : 0;
}

void TpgwFontComboBox::SyncItems() {
    TStrings& strings = Items();
    strings.BeginUpdate();
    strings.Clear();
    for (const TpgwFontEntry& entry : list_.Items())
        strings.Add(entry.Name);
    strings.EndUpdate();
}

void TpgwFontComboBox::Reset() {
    const std::string text = Text();
    filling_ = true;
    list_.Fill(InstalledFonts());
    if (showMRU_) {
        try {
            TRegistry store;
            list_.LoadRecent(store, StoreKey());
        } catch (const ERegistryException&) {
            // An unwritable store still leaves the fonts listed, only without recent ones.
        }
    }
    SyncItems();
    const int index = list_.IndexOf(text);
    SetItemIndex(index);
    filling_ = false;
}

void TpgwFontComboBox::RegisterProperties(TClassBuilder<TpgwFontComboBox>& b) {
    using C = TpgwFontComboBox;
    b.Add("ShowMRU", &C::ShowMRU, &C::SetShowMRU).Default(1);
    b.Add("MRURegKey", TypeInfoString(), &C::MRURegKey, &C::SetMRURegKey);
    b.AddMethod("OnClick", "TNotifyEvent");
}

void TpgwFontComboBox::ItemChosen(int index) {
    if (index <= 0 || !showMRU_) return;
    const int now = list_.Choose(index);
    SyncItems();
    SetItemIndex(now);
    try {
        TRegistry store;
        list_.SaveRecent(store, StoreKey());
    } catch (const ERegistryException&) {
        // The pick stands for this session even when the store cannot keep it.
    }
}

void TpgwFontComboBox::Loaded() {
    TpgwCustomComboBox::Loaded();
    if (!(ComponentState() & csDesigning)) Reset();
}

void TpgwFontComboBox::Click() {
    if (filling_ || (ComponentState() & csReading)) return;
    // A pick from the list arrives here: it joins the recent fonts before the handlers see it.
    filling_ = true;
    ItemChosen(ItemIndex());
    filling_ = false;
    TpgwCustomComboBox::Click();
}

void TpgwFontComboBox::DrawItem(int index, const TRect& rect, TOwnerDrawState state) {
    TCanvas& canvas = *Canvas();
    canvas.FillRect(rect);
    if (index < 0) return;
    if (preview_ && (state & odSelected) && !(state & odComboBoxEdit))
        preview_->SetSample(Items().Strings(index));
    const int markTop = rect.Top + (rect.Height() - kTypeMarkHeight) / 2;
    if (FontTypeAt(index) & TRUETYPE_FONTTYPE) DrawOutlineMark(canvas, rect.Left + 1, markTop);
    const std::string name = Items().Strings(index);
    canvas.TextOut(rect.Left + 1 + kTypeMarkWidth + 2,
                   rect.Top + (rect.Height() - canvas.TextHeight(name)) / 2, name);
    if (!(state & odComboBoxEdit) && index == MRUCount()) {
        canvas.Pen().SetColor(clBtnShadow);
        canvas.MoveTo(rect.Left, rect.Bottom - 1);
        canvas.LineTo(rect.Right, rect.Bottom - 1);
    }
}

void TpgwFontComboBox::PaintImageArea(TCanvas& canvas, const TRect& area) {
    TpgwCustomComboBox::PaintImageArea(canvas, area);
    const int index = list_.IndexOf(Text());
    if (index >= 0 && (FontTypeAt(index) & TRUETYPE_FONTTYPE))
        DrawOutlineMark(canvas, area.Left, area.Top + (area.Height() - kTypeMarkHeight) / 2);
}

// ---- combo edit --------------------------------------------------------------------------------

TRect ComboEditButtonBounds(int width, int height) {
    const int left = width - height + 2;
    return TRect(left, 2, left + height - 4, 2 + height - 4);
}

TpgwComboEdit::TpgwComboEdit(TComponent* owner) : TCustomComboBox(owner) {
    SetStyle(csSimple);
    SetHeight(21);
    button_ = new TSpeedButton(this);
    button_->SetParent(this);
    button_->OnClick = [this](TObject*) { ButtonClick(); };
    Resize();
}

void TpgwComboEdit::RegisterProperties(TClassBuilder<TpgwComboEdit>& b) {
    using C = TpgwComboEdit;
    b.Add("ButtonEnabled", &C::ButtonEnabled, &C::SetButtonEnabled).Default(1);
    b.Add("ButtonHint", TypeInfoString(), &C::ButtonHint, &C::SetButtonHint);
    b.AddMethod("OnButtonClick", "TNotifyEvent");
}

TBitmap& TpgwComboEdit::Glyph() {
    return button_->Glyph();
}

void TpgwComboEdit::SetGlyph(const TBitmap& glyph) {
    button_->SetGlyph(glyph);
}

void TpgwComboEdit::SetButtonEnabled(bool value) {
    buttonEnabled_ = value;
    button_->SetEnabled(value);
}

void TpgwComboEdit::ButtonClick() {
    if (!buttonEnabled_ || !Enabled()) return;
    if (CanFocus()) SetFocus();
    if (OnButtonClick) OnButtonClick(this);
}

std::optional<TRect> TpgwComboEdit::FaceEditRect() const {
    const int top = std::max(0, (Height() - ItemHeight()) / 2);
    return TRect(2, top, 2 + std::max(0, Width() - Height() - 4), top + ItemHeight());
}

void TpgwComboEdit::Resize() {
    TCustomComboBox::Resize();
    if (!button_) return;
    const TRect r = ComboEditButtonBounds(Width(), Height());
    button_->SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

void RegisterPreviewComboClasses() {
    RegisterClasses<TpgwComboBox, TpgwFontComboBox, TpgwComboEdit>();
}
