#pragma once
// Controls that hold and arrange others: panels, group boxes, scroll boxes, page controls with
// their tab sheets, splitters and status bars.

#include <memory>
#include <string>
#include <vector>

#include "platform/core/collection.h"
#include "platform/ui/control.h"

class TPanel : public TWinControl {
    LUMETRA_CLASS(TPanel, TWinControl)
public:
    explicit TPanel(TComponent* owner);
    ~TPanel() override;
    static void RegisterProperties(TClassBuilder<TPanel>& b);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut value);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut value);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int value);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int value);
    // The area inside the border and the bevels.
    TRect AlignRect() const override;
    void PaintPanel(void* qpainter);

protected:
    void TextChanged() override { Invalidate(); }

private:
    TAlignment alignment_ = taCenter;
    TBevelCut bevelInner_ = bvNone;
    TBevelCut bevelOuter_ = bvRaised;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
};

class TGroupBox : public TWinControl {
    LUMETRA_CLASS(TGroupBox, TWinControl)
public:
    explicit TGroupBox(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TGroupBox>& b);
    // Below the caption, inside the frame.
    TRect AlignRect() const override;

protected:
    std::string GetControlText() const override;
    void SetControlText(const std::string& text) override;
};

// A scroll bar of a scroll box: Range is the extent of the content (with AutoScroll, the
// extent of the children), Position the scrolled offset.
class TControlScrollBar : public TPersistent {
    LUMETRA_CLASS(TControlScrollBar, TPersistent)
public:
    TControlScrollBar() = default;
    static void RegisterProperties(TClassBuilder<TControlScrollBar>& b);
    int Position() const;
    void SetPosition(int value);
    int Range() const { return range_; }
    void SetRange(int value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    int Increment() const { return increment_; }
    void SetIncrement(int value) { increment_ = value; }

private:
    friend class TScrollBox;
    class TScrollBox* box_ = nullptr;
    bool horizontal_ = true;
    int range_ = 0;
    bool visible_ = true;
    int increment_ = 8;
};

class TScrollBox : public TScrollingWinControl {
    LUMETRA_CLASS(TScrollBox, TScrollingWinControl)
public:
    explicit TScrollBox(TComponent* owner);
    ~TScrollBox() override;
    static void RegisterProperties(TClassBuilder<TScrollBox>& b);
    bool AutoScroll() const { return autoScroll_; }
    void SetAutoScroll(bool value);
    TControlScrollBar* HorzScrollBar() const { return horz_.get(); }
    TControlScrollBar* VertScrollBar() const { return vert_.get(); }
    void SetHorzScrollBar(TControlScrollBar* value);
    void SetVertScrollBar(TControlScrollBar* value);
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle value);
    // Scrolls so that the control is in view.
    void ScrollInView(TControl* control);

    QWidget* ContainerWidget() const override;
    TRect AlignRect() const override;
    TRect ClientRect() const override;
    // Re-measures the content and the bars.
    void UpdateScrollRange();

protected:
    void ChildBoundsChanged(TControl* child) override;
    void ControlsChanged() override { UpdateScrollRange(); }
    void Resize() override;

private:
    friend class TControlScrollBar;
    TSize ContentExtent() const;
    TRect ViewportRect(int contentWidth, int contentHeight, bool* hbar, bool* vbar) const;
    bool autoScroll_ = true;
    TFormBorderStyle borderStyle_ = bsSingle;
    std::unique_ptr<TControlScrollBar> horz_;
    std::unique_ptr<TControlScrollBar> vert_;
    bool updating_ = false;
};

class TPageControl;

class TTabSheet : public TWinControl {
    LUMETRA_CLASS(TTabSheet, TWinControl)
public:
    explicit TTabSheet(TComponent* owner);
    ~TTabSheet() override;
    static void RegisterProperties(TClassBuilder<TTabSheet>& b);
    TPageControl* PageControl() const { return pageControl_; }
    // Puts the sheet into a page control (its parent) as the last page.
    void SetPageControl(TPageControl* value);
    int PageIndex() const;
    void SetPageIndex(int value);
    // Whether the sheet has a tab; a sheet without one can still be the active page.
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool value);
    void SetParent(TWinControl* parent) override;

protected:
    void TextChanged() override;

private:
    friend class TPageControl;
    TPageControl* pageControl_ = nullptr;
    bool tabVisible_ = true;
};

enum TTabPosition : std::uint8_t { tpTop, tpBottom, tpLeft, tpRight };

class TPageControl : public TWinControl {
    LUMETRA_CLASS(TPageControl, TWinControl)
public:
    explicit TPageControl(TComponent* owner);
    ~TPageControl() override;
    static void RegisterProperties(TClassBuilder<TPageControl>& b);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int index) const;
    TTabSheet* ActivePage() const { return active_; }
    // Shows that page; OnChange does not fire (it is for the user's choice).
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    TTabPosition TabPosition() const { return tabPosition_; }
    void SetTabPosition(TTabPosition value);
    // The area the active page fills.
    TRect AlignRect() const override;

    TNotifyEvent OnChange;
    std::function<void(TObject* sender, bool& allowChange)> OnChanging;

    // Plumbing for the tab bar and the sheets.
    void TabClicked(int tab);
    void UpdateTabs();
    void InsertPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    void MovePage(TTabSheet* page, int index);

protected:
    void Resize() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    int TabBarHeight() const;
    std::vector<TTabSheet*> pages_;
    TTabSheet* active_ = nullptr;
    TTabPosition tabPosition_ = tpTop;
    bool updatingTabs_ = false;
};

enum TResizeStyle : std::uint8_t { rsNone, rsLine, rsUpdate, rsPattern };

// A bar that resizes the control aligned next to it. It is aligned alLeft by default.
class TSplitter : public TGraphicControl {
    LUMETRA_CLASS(TSplitter, TGraphicControl)
public:
    explicit TSplitter(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TSplitter>& b);
    int MinSize() const { return minSize_; }
    void SetMinSize(int value) { minSize_ = std::max(1, value); }
    bool Beveled() const { return beveled_; }
    void SetBeveled(bool value);
    TResizeStyle ResizeStyle() const { return resizeStyle_; }
    void SetResizeStyle(TResizeStyle value) { resizeStyle_ = value; }
    // The control it resizes now (the neighbour on its aligned side), or null.
    TControl* ResizeControl() const;
    TNotifyEvent OnMoved;
    std::function<void(TObject* sender, int& newSize, bool& accept)> OnCanResize;

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    void UpdateCursor();
    int minSize_ = 30;
    bool beveled_ = false;
    TResizeStyle resizeStyle_ = rsPattern;
    TControl* target_ = nullptr;
    int downPos_ = 0;
    int startSize_ = 0;
    bool dragging_ = false;
};

class TStatusPanel : public TCollectionItem {
    LUMETRA_CLASS(TStatusPanel, TCollectionItem)
public:
    explicit TStatusPanel(TCollection* collection) : TCollectionItem(collection) {}
    static void RegisterProperties(TClassBuilder<TStatusPanel>& b);
    const std::string& Text() const { return text_; }
    void SetText(const std::string& value);
    int Width() const { return width_; }
    void SetWidth(int value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    void Assign(const TPersistent* source) override;

private:
    std::string text_;
    int width_ = 50;
    TAlignment alignment_ = taLeftJustify;
};

class TStatusBar;

class TStatusPanels : public TCollection {
    LUMETRA_CLASS(TStatusPanels, TCollection)
public:
    explicit TStatusPanels(TStatusBar* bar);
    TStatusPanel* Add() { return static_cast<TStatusPanel*>(TCollection::Add()); }
    // Null for an item that is being destroyed.
    TStatusPanel* Items(int index) const {
        return dynamic_cast<TStatusPanel*>(TCollection::Items(index));
    }

protected:
    void Update(TCollectionItem* item) override;

private:
    TStatusBar* bar_;
};

class TStatusBar : public TWinControl {
    LUMETRA_CLASS(TStatusBar, TWinControl)
public:
    explicit TStatusBar(TComponent* owner);
    ~TStatusBar() override;
    static void RegisterProperties(TClassBuilder<TStatusBar>& b);
    TStatusPanels* Panels() const { return panels_.get(); }
    void SetPanels(TStatusPanels* value);
    // One panel across the bar showing SimpleText.
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool value);
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& value);
    void PaintBar(void* qpainter);

private:
    std::unique_ptr<TStatusPanels> panels_;
    bool simplePanel_ = false;
    std::string simpleText_;
};
