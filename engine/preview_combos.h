#pragma once
// Small controls of the report windows: the flat combo box (the preview's zoom box), the font
// combo with its recently used fonts kept in the settings store, and the edit with a button.
//
// On this toolkit the combo's frame, button and edit are the toolkit's own: the flat face is
// painted by PaintFlatCombo, which draws onto any canvas, and the owner-drawn items are ours.
// List-window subclassing becomes the toolkit's popup placement; every font is an outline font.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/color.h"
#include "platform/graphics/geometry.h"
#include "platform/ui/custom_control.h"
#include "platform/ui/std_controls.h"

class TCanvas;
class TRegistry;
class TSpeedButton;

// The text height of a font: its metrics' ascent + descent.
int FontTextHeight(const TFontData& font);

// ---- flat combo geometry and face --------------------------------------------------------------

// Height of the open list: itemHeight * min(dropDownCount, itemCount) + 2, or one item's
// height + 2 when either count is not positive.
int ComboListHeight(int itemHeight, int dropDownCount, int itemCount);
// Where the edit sits inside a flat combo of width x height.
TRect ComboEditBounds(int width, int height, int buttonWidth, int editOffset);
// True when a list of listHeight opened under a control whose top is controlTop on a screen
// whose bottom is screenBottom would leave the screen: then it opens upwards.
bool ComboOpensUpwards(int controlTop, int textHeight, int listHeight, int screenBottom);

enum TpgwComboFace { cfNormal, cfHot, cfDroppedDown, cfDisabled };

// The frame, button and arrow of a flat combo of width x height, onto canvas.
void PaintFlatCombo(TCanvas& canvas, int width, int height, int buttonWidth, TpgwComboFace face);

// ---- flat combo box ----------------------------------------------------------------------------

class TpgwCustomComboBox : public TCustomComboBox {
    LUMETRA_CLASS(TpgwCustomComboBox, TCustomComboBox)
public:
    explicit TpgwCustomComboBox(TComponent* owner);

    int ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int value) {
        buttonWidth_ = value;
        FaceChanged();
    }
    int EditOffset() const { return editOffset_; }
    void SetEditOffset(int value) {
        editOffset_ = value;
        FaceChanged();
    }
    // 0: as wide as the control.
    int ListWidth() const { return listWidth_; }
    void SetListWidth(int value) { listWidth_ = value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    bool UpDropdown() const { return upDropdown_; }
    bool MouseInControl() const { return mouseInControl_; }
    void SetMouseInControl(bool value) {
        mouseInControl_ = value;
        FaceChanged();
    }

    int ListHeight() { return ComboListHeight(ItemHeight(), DropDownCount(), Items().Count()); }
    // The width the open list takes.
    int EffectiveListWidth() const { return listWidth_ > 0 ? listWidth_ : Width(); }
    // Decides UpDropdown for a list opening at the control's place on a screen of that bottom.
    void PlaceList(int controlScreenTop, int screenBottom);
    // How the face shows now.
    TpgwComboFace Face() const;

    // The flat face; a list-only box draws its chosen item where the edit would be.
    bool PaintFace(TCanvas& canvas) override;
    std::optional<TRect> FaceEditRect() const override;

protected:
    void FontChanged() override;
    // The area left of the edit (EditOffset wide); the base fills it with the window colour.
    virtual void PaintImageArea(TCanvas& canvas, const TRect& area);

private:
    int buttonWidth_ = 11;
    int editOffset_ = 0;
    int listWidth_ = 0;
    bool readOnly_ = false;
    bool upDropdown_ = false;
    bool mouseInControl_ = false;
};

class TpgwComboBox : public TpgwCustomComboBox {
    LUMETRA_CLASS(TpgwComboBox, TpgwCustomComboBox)
public:
    explicit TpgwComboBox(TComponent* owner) : TpgwCustomComboBox(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwComboBox>& b);
};

// ---- recent fonts ------------------------------------------------------------------------------

inline constexpr int kMaxRecentFonts = 5;
inline constexpr std::string_view kDefaultMRUFontKey = "\\Software\\Quillmark\\MRUFont";

struct TpgwFontEntry {
    std::string Name;
    int FontType = 0; // enumeration bits: 4 outline, 2 device
    bool operator==(const TpgwFontEntry&) const = default;
};

// The font combo's items: the recent block (entries 0 .. MRUCount) on top of the sorted fonts.
class TpgwFontList {
public:
    const std::vector<TpgwFontEntry>& Items() const { return items_; }
    // Index of the last recent entry; -1 when there is none.
    int MRUCount() const { return mruCount_; }
    // Replaces everything by the fonts, sorted and without duplicate names.
    void Fill(std::vector<TpgwFontEntry> fonts);
    // Puts the stored recent fonts on top, most recent first; stored names that are not among
    // the fonts are cleared in the store.
    void LoadRecent(TRegistry& store, std::string_view key);
    // The user picked item index: it moves or is copied to the top (the oldest recent font
    // drops out beyond five). Returns the index now holding it.
    int Choose(int index);
    // Writes the recent block to the store (empty names and 0 beyond it).
    void SaveRecent(TRegistry& store, std::string_view key) const;
    int IndexOf(std::string_view name) const;

private:
    std::vector<TpgwFontEntry> items_;
    int mruCount_ = -1;
};

// The fonts the font combo offers; replaceable so tests see a fixed set.
using TpgwFontSource = std::function<std::vector<TpgwFontEntry>()>;
std::vector<TpgwFontEntry> InstalledFonts();
class TpgwScopedFontSource {
public:
    explicit TpgwScopedFontSource(TpgwFontSource source);
    ~TpgwScopedFontSource();
    TpgwScopedFontSource(const TpgwScopedFontSource&) = delete;
    TpgwScopedFontSource& operator=(const TpgwScopedFontSource&) = delete;

private:
    TpgwFontSource previous_;
};

// The sample of a font name shown in that font beside the open list: 200 x 50, hidden at first.
class TpgwFontPreview : public TCustomControl {
    LUMETRA_CLASS(TpgwFontPreview, TCustomControl)
public:
    explicit TpgwFontPreview(TComponent* owner);
    const std::string& Sample() const { return sample_; }
    void SetSample(const std::string& fontName);

protected:
    void Paint() override;

private:
    std::string sample_;
};

// Where the sample goes for a combo at control (screen coordinates): one pixel right of its
// bottom-right corner, left of the control when that leaves the screen, above it when the list
// opens upwards.
TRect FontPreviewBounds(const TRect& control, int screenWidth, bool upDropdown);

class TpgwFontComboBox : public TpgwCustomComboBox {
    LUMETRA_CLASS(TpgwFontComboBox, TpgwCustomComboBox)
public:
    explicit TpgwFontComboBox(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TpgwFontComboBox>& b);

    bool ShowMRU() const { return showMRU_; }
    void SetShowMRU(bool value) { showMRU_ = value; }
    // Empty: the default key.
    const std::string& MRURegKey() const { return mruRegKey_; }
    void SetMRURegKey(const std::string& value) { mruRegKey_ = value; }
    int MRUCount() const { return list_.MRUCount(); }
    int FontTypeAt(int index) const;
    bool Filling() const { return filling_; }
    // Follows the selected item while the list is drawn.
    TpgwFontPreview* Preview() const { return preview_; }

    // Fills the list from the font source and the stored recent fonts; the text is kept while
    // it names a listed font, else the selection is cleared.
    void Reset();
    // The list closed on item index: updates the recent block and the store. A pick from the
    // list does this itself (through Click).
    void ItemChosen(int index);

protected:
    void Loaded() override;
    void FontChanged() override;
    // The click handlers do not run while the component is read or the list is filled.
    void Click() override;
    void DrawItem(int index, const TRect& rect, TOwnerDrawState state) override;
    // The mark of the current font's type.
    void PaintImageArea(TCanvas& canvas, const TRect& area) override;

private:
    std::string StoreKey() const;
    void SyncItems();
    TpgwFontList list_;
    bool showMRU_ = true;
    std::string mruRegKey_;
    bool filling_ = false;
    TpgwFontPreview* preview_ = nullptr;
};

// ---- combo edit --------------------------------------------------------------------------------

// The button's square at the right end of a combo edit of width x height. Enter and Escape in
// the edit reach the form's default and cancel buttons through the platform's key handling.
TRect ComboEditButtonBounds(int width, int height);

class TpgwComboEdit : public TCustomComboBox {
    LUMETRA_CLASS(TpgwComboEdit, TCustomComboBox)
public:
    explicit TpgwComboEdit(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TpgwComboEdit>& b);
    // The button's picture.
    TBitmap& Glyph();
    void SetGlyph(const TBitmap& glyph);

    bool ButtonEnabled() const { return buttonEnabled_; }
    void SetButtonEnabled(bool value);
    const std::string& ButtonHint() const { return buttonHint_; }
    void SetButtonHint(const std::string& value) { buttonHint_ = value; }
    // What a click on the button does: focuses the edit, then OnButtonClick.
    void ButtonClick();
    TSpeedButton* Button() const { return button_; }

    TNotifyEvent OnButtonClick;

    // Width - Height - 4 wide and an item high, left of the button.
    std::optional<TRect> FaceEditRect() const override;

protected:
    void Resize() override;

private:
    TSpeedButton* button_ = nullptr;
    bool buttonEnabled_ = true;
    std::string buttonHint_;
};

// Registers the combo boxes and the combo edit by class name.
void RegisterPreviewComboClasses();
