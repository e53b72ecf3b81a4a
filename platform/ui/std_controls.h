#pragma once
// The standard controls: labels, edits, memos, buttons, check boxes, radio buttons, combo
// boxes and list boxes. Change events follow the class library: an edit's OnChange fires for
// every change of its text, typed or set (setting the same text is no change); a check box's
// OnClick fires whenever Checked changes; a combo box's OnChange fires for what the user types
// or picks, not for ItemIndex set by code.

#include <memory>
#include <optional>
#include <string>

#include "platform/core/string_list.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/control.h"

// Lines backed by a whole text held elsewhere (a memo's document).
class TTextLines final : public TStrings {
public:
    TTextLines(std::function<std::string()> get, std::function<void(const std::string&)> set)
        : get_(std::move(get)), set_(std::move(set)) {}
    int Count() const override;
    void InsertObject(int index, std::string_view s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    void SetText(std::string_view text) override;

protected:
    std::string Get(int index) const override;
    void Put(int index, std::string_view s) override;

private:
    std::vector<std::string> Split() const;
    void Join(const std::vector<std::string>& lines);
    std::function<std::string()> get_;
    std::function<void(const std::string&)> set_;
};

class TLabel : public TGraphicControl {
    LUMETRA_CLASS(TLabel, TGraphicControl)
public:
    explicit TLabel(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TLabel>& b);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout value);
    // Sizes the label to its text (default true).
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    // An auto-sized label keeps the size of its text whatever size it is given.
    void SetBounds(int left, int top, int width, int height) override;

protected:
    void TextChanged() override;
    void FontChanged() override;
    std::string GetControlText() const override { return text_; }
    void SetControlText(const std::string& text) override;

private:
    void AdjustSize();
    void ApplyAlignment();
    std::string text_;
    TAlignment alignment_ = taLeftJustify;
    TTextLayout layout_ = tlTop;
    bool autoSize_ = true;
    bool wordWrap_ = false;
    bool transparent_ = false;
};

class TEdit : public TWinControl {
    LUMETRA_CLASS(TEdit, TWinControl)
public:
    explicit TEdit(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TEdit>& b);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char value);
    void SelectAll();
    void Clear() { SetText(""); }
    TNotifyEvent OnChange;
    virtual void Change();

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;
    TColor DefaultColor() const override { return clWindow; }

private:
    int maxLength_ = 0;
    bool readOnly_ = false;
    char passwordChar_ = 0;
};

class TMemo : public TWinControl {
    LUMETRA_CLASS(TMemo, TWinControl)
public:
    explicit TMemo(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TMemo>& b);
    // The lines; editing them edits the memo's text.
    TStrings& Lines() { return lines_; }
    TStrings* LinesProp() const { return const_cast<TTextLines*>(&lines_); }
    void SetLines(TStrings* value) {
        if (value) lines_.Assign(*value);
    }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle value);
    void Clear() { SetText(""); }
    TNotifyEvent OnChange;
    virtual void Change();

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;
    TColor DefaultColor() const override { return clWindow; }

private:
    void ApplyScrollBars();
    TTextLines lines_;
    bool readOnly_ = false;
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = ssNone;
};

class TButton : public TWinControl {
    LUMETRA_CLASS(TButton, TWinControl)
public:
    explicit TButton(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TButton>& b);
    // Enter on the form presses the default button, Escape the cancel button.
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult value) { modalResult_ = value; }
    // Gives the parent form this button's ModalResult, then fires OnClick.
    void Click() override;

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;

private:
    bool default_ = false;
    bool cancel_ = false;
    TModalResult modalResult_ = mrNone;
};

enum TBitBtnKind : std::uint8_t {
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll
};
enum TButtonLayout : std::uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TBitBtn : public TButton {
    LUMETRA_CLASS(TBitBtn, TButton)
public:
    explicit TBitBtn(TComponent* owner);
    ~TBitBtn() override;
    static void RegisterProperties(TClassBuilder<TBitBtn>& b);
    TBitBtnKind Kind() const { return kind_; }
    // A kind sets the caption and the modal result it stands for.
    void SetKind(TBitBtnKind kind);
    // The picture; with NumGlyphs > 1 it holds that many images side by side (up, disabled,
    // down, held) and the first is shown.
    TBitmap& Glyph() { return glyph_; }
    void SetGlyph(const TBitmap& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int value);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value) { layout_ = value; }
    void Click() override;

private:
    void ApplyGlyph();
    TBitBtnKind kind_ = bkCustom;
    TBitmap glyph_;
    int numGlyphs_ = 1;
    TButtonLayout layout_ = blGlyphLeft;
};

class TSpeedButton : public TGraphicControl {
    LUMETRA_CLASS(TSpeedButton, TGraphicControl)
public:
    explicit TSpeedButton(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TSpeedButton>& b);
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    // Buttons of one parent with the same non-zero group index stay down one at a time.
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    bool Down() const { return down_; }
    void SetDown(bool value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value) { allowAllUp_ = value; }
    TBitmap& Glyph() { return glyph_; }
    void SetGlyph(const TBitmap& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int value) {
        numGlyphs_ = value < 1 ? 1 : value;
        SetGlyph(glyph_);
    }
    void Click() override;

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;

private:
    bool flat_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    bool allowAllUp_ = false;
    TBitmap glyph_;
    int numGlyphs_ = 1;
};

enum TCheckBoxState : std::uint8_t { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TWinControl {
    LUMETRA_CLASS(TCheckBox, TWinControl)
public:
    explicit TCheckBox(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TCheckBox>& b);
    bool Checked() const { return State() == cbChecked; }
    void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const;
    // A change fires OnClick.
    void SetState(TCheckBoxState value);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool value);

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;

private:
    bool allowGrayed_ = false;
};

class TRadioButton : public TWinControl {
    LUMETRA_CLASS(TRadioButton, TWinControl)
public:
    explicit TRadioButton(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TRadioButton>& b);
    bool Checked() const;
    // Checking unchecks the other radio buttons of the parent and fires OnClick.
    void SetChecked(bool value);

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;
};

// Owner drawing: the control hands each item to DrawItem (by default OnDrawItem), which paints
// it on the control's Canvas() within rect. The state tells how the item shows.
using TOwnerDrawState = std::uint32_t;
inline constexpr TOwnerDrawState odSelected = 1u << 0;
inline constexpr TOwnerDrawState odGrayed = 1u << 1;
inline constexpr TOwnerDrawState odDisabled = 1u << 2;
inline constexpr TOwnerDrawState odChecked = 1u << 3;
inline constexpr TOwnerDrawState odFocused = 1u << 4;
// The item shown in a list-only combo box's own face, not in its list.
inline constexpr TOwnerDrawState odComboBoxEdit = 1u << 12;
using TDrawItemEvent =
    std::function<void(TWinControl* control, int index, const TRect& rect, TOwnerDrawState state)>;
// Variable-height items: height comes in as ItemHeight and may be changed.
using TMeasureItemEvent = std::function<void(TWinControl* control, int index, int& height)>;

enum TComboBoxStyle : std::uint8_t {
    csDropDown,
    csSimple,
    csDropDownList,
    csOwnerDrawFixed,
    csOwnerDrawVariable
};

class TCustomComboBox : public TWinControl {
    LUMETRA_CLASS(TCustomComboBox, TWinControl)
public:
    explicit TCustomComboBox(TComponent* owner);
    ~TCustomComboBox() override;
    static void RegisterProperties(TClassBuilder<TCustomComboBox>& b);
    TStrings& Items() { return items_; }
    TStrings* ItemsProp() const { return const_cast<TStringList*>(&items_); }
    void SetItems(TStrings* value) {
        if (value) items_.Assign(*value);
    }
    int ItemIndex() const;
    void SetItemIndex(int index);
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle value);
    int DropDownCount() const { return dropDownCount_; }
    void SetDropDownCount(int value);
    bool Sorted() const { return items_.Sorted(); }
    void SetSorted(bool value) { items_.SetSorted(value); }
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int value);
    bool DroppedDown() const;
    void SetDroppedDown(bool value);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int value);
    // The owner-draw styles are list-only: the face shows the chosen item, drawn too.
    bool OwnerDrawn() const { return style_ == csOwnerDrawFixed || style_ == csOwnerDrawVariable; }
    // While an item is drawn, the canvas it is drawn on; otherwise one that only measures.
    TCanvas* Canvas() const;

    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;
    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;
    virtual void Change();
    // A pick from the list: OnClick, then OnSelect (OnChange when OnSelect is not set).
    void Selected();

    // A box that paints its own face (frame, button, the area around the edit) does so here,
    // in client coordinates, and returns true; the toolkit's face is then not drawn. It is
    // painted again when the mouse enters or leaves, the focus moves and the list opens or
    // closes.
    virtual bool PaintFace(TCanvas& canvas);
    // Where the edit of a box with its own face goes; none: where the toolkit puts it.
    virtual std::optional<TRect> FaceEditRect() const;
    // The mouse is over the box.
    bool MouseOverFace() const { return mouseOverFace_; }
    void SetMouseOverFace(bool value);
    // Places the edit and repaints the face after what they depend on changed.
    void FaceChanged();

    // Draws one item on any canvas as the list and the face do: brush and font prepared for
    // the state, then DrawItem (row -1: the background only).
    void PaintItem(TCanvas& canvas, int row, const TRect& rect, TOwnerDrawState state);
    int MeasureItem(int row);

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;
    TColor DefaultColor() const override { return clWindow; }
    // Draws an item: OnDrawItem when set, else the item's text over the brush colour.
    virtual void DrawItem(int index, const TRect& rect, TOwnerDrawState state);

private:
    void SyncItems();
    TStringList items_;
    TComboBoxStyle style_ = csDropDown;
    int dropDownCount_ = 8;
    int maxLength_ = 0;
    int itemHeight_ = 16;
    bool syncing_ = false;
    bool mouseOverFace_ = false;
    TCanvas* drawCanvas_ = nullptr;
    mutable std::unique_ptr<TCanvas> measureCanvas_;
};

class TComboBox : public TCustomComboBox {
    LUMETRA_CLASS(TComboBox, TCustomComboBox)
public:
    explicit TComboBox(TComponent* owner) : TCustomComboBox(owner) {}
};

enum TListBoxStyle : std::uint8_t { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };

class TCustomListBox : public TWinControl {
    LUMETRA_CLASS(TCustomListBox, TWinControl)
public:
    explicit TCustomListBox(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TCustomListBox>& b);
    TStrings& Items() { return items_; }
    TStrings* ItemsProp() const { return const_cast<TStringList*>(&items_); }
    void SetItems(TStrings* value) {
        if (value) items_.Assign(*value);
    }
    int ItemIndex() const;
    void SetItemIndex(int index);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool value);
    // Raises EListError for an index outside the items.
    bool Selected(int index) const;
    void SetSelected(int index, bool value);
    int SelCount() const;
    bool Sorted() const { return items_.Sorted(); }
    void SetSorted(bool value) { items_.SetSorted(value); }
    int Columns() const { return columns_; }
    void SetColumns(int value);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int value);
    void Clear() { items_.Clear(); }
    TListBoxStyle Style() const { return style_; }
    void SetStyle(TListBoxStyle value);
    // While an item is drawn, the canvas it is drawn on; otherwise one that only measures.
    TCanvas* Canvas() const;
    // The item's rectangle inside the list's frame, as OnDrawItem gets it (empty when out of
    // range).
    TRect ItemRect(int index) const;

    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;

    // Draws one item on any canvas as the list does: brush and font prepared for the state,
    // then DrawItem.
    void PaintItem(TCanvas& canvas, int row, const TRect& rect, TOwnerDrawState state);
    int MeasureItem(int row);

protected:
    TColor DefaultColor() const override { return clWindow; }
    // Draws an item: OnDrawItem when set, else the item's text over the brush colour.
    virtual void DrawItem(int index, const TRect& rect, TOwnerDrawState state);

private:
    void SyncItems();
    TStringList items_;
    bool multiSelect_ = false;
    int columns_ = 0;
    int itemHeight_ = 13;
    bool syncing_ = false;
    TListBoxStyle style_ = lbStandard;
    TCanvas* drawCanvas_ = nullptr;
    mutable std::unique_ptr<TCanvas> measureCanvas_;
};

class TListBox : public TCustomListBox {
    LUMETRA_CLASS(TListBox, TCustomListBox)
public:
    explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
};

// Presses the visible, enabled default (or cancel) button under root; true when one was found.
bool PressDialogButton(TWinControl* root, bool cancel);
