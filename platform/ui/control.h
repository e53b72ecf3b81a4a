#pragma once
// TControl and TWinControl: controls as components that publish their bounds, alignment,
// anchors, visibility, text, font and colour, and fire the class library's events. Each
// control has one toolkit widget behind it (created by the concrete class); the layout (Align
// and Anchors) is our own, so positions are exactly what the properties say.
//
// Mouse events come in the class library's order: OnMouseDown on press; on release OnClick
// (when released over the control) and then OnMouseUp; a double click gives OnDblClick, then
// OnMouseDown with ssDouble. Every handler runs through SafeCall, so an exception reaches the
// application's error handler and the loop goes on.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/component.h"
#include "platform/graphics/color.h"
#include "platform/graphics/font.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/raster_image.h"
#include "platform/ui/ui_types.h"

class QWidget;
class TWinControl;
class TPopupMenu;
class TForm;
template <class C> class TClassBuilder;

// Minimum and maximum size of a control (0: no limit).
class TSizeConstraints : public TPersistent {
    LUMETRA_CLASS(TSizeConstraints, TPersistent)
public:
    TSizeConstraints() = default;
    static void RegisterProperties(TClassBuilder<TSizeConstraints>& b);
    int MinWidth() const { return minWidth_; }
    int MinHeight() const { return minHeight_; }
    int MaxWidth() const { return maxWidth_; }
    int MaxHeight() const { return maxHeight_; }
    void SetMinWidth(int v);
    void SetMinHeight(int v);
    void SetMaxWidth(int v);
    void SetMaxHeight(int v);
    void Assign(const TPersistent* source) override;
    // Clamps a size to the limits.
    void Apply(int& width, int& height) const;
    std::function<void()> OnChange;

private:
    void Changed();
    int minWidth_ = 0, minHeight_ = 0, maxWidth_ = 0, maxHeight_ = 0;
};

class TControl : public TComponent {
    LUMETRA_CLASS(TControl, TComponent)
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;
    static void RegisterProperties(TClassBuilder<TControl>& b);

    TWinControl* Parent() const { return parent_; }
    // Moves the control into another window control (null: none). A control inside a window
    // control that is destroyed is destroyed with it, whoever owns it.
    virtual void SetParent(TWinControl* parent);
    // The form the control stands on (itself for a form), or null.
    TForm* ParentForm() const;

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int v);
    void SetTop(int v);
    void SetWidth(int v);
    void SetHeight(int v);
    // Moves and sizes in one step (constraints apply); fires OnResize when the size changed.
    virtual void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const;
    // The client area: the part of the control its children and its painting use.
    virtual TRect ClientRect() const;
    int ClientWidth() const { return ClientRect().Width(); }
    int ClientHeight() const { return ClientRect().Height(); }
    virtual void SetClientWidth(int v);
    virtual void SetClientHeight(int v);

    TAlign Align() const;
    void SetAlign(TAlign align);
    TAnchors Anchors() const;
    void SetAnchors(TAnchors anchors);
    TSizeConstraints* Constraints() const;
    void SetConstraints(TSizeConstraints* value);

    bool Visible() const;
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and every parent up to a shown form visible.
    bool Showing() const;
    bool Enabled() const;
    void SetEnabled(bool enabled);

    // Caption and Text are the same text; classes publish one or the other.
    std::string Text() const;
    void SetText(const std::string& text);
    std::string Caption() const { return Text(); }
    void SetCaption(const std::string& text) { SetText(text); }

    TFont* Font() const;
    // Copies the font; the control then stops following its parent's font.
    void SetFont(TFont* font);
    bool ParentFont() const;
    void SetParentFont(bool value);
    TColor Color() const;
    void SetColor(TColor color);
    bool ParentColor() const;
    void SetParentColor(bool value);

    const std::string& Hint() const;
    void SetHint(const std::string& hint);
    bool ShowHint() const;
    void SetShowHint(bool value);
    TCursor Cursor() const;
    void SetCursor(TCursor cursor);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);
    // The menu a right click shows: PopupMenu, unless the control adds to it.
    virtual TPopupMenu* ContextPopupMenu() { return popupMenu_; }

    void Invalidate();
    // Paints at once.
    void Repaint();
    void BringToFront();
    void SendToBack();
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;
    // The control's pixels as they would be shown (children included).
    TRasterImage GrabImage() const;

    // Fire OnClick / OnDblClick (buttons add their own behaviour).
    virtual void Click();
    virtual void DblClick();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TMouseWheelEvent OnMouseWheel;

    // The toolkit widget behind the control (platform/ui internals and tests).
    QWidget* Widget() const;

    // Called by the widget plumbing; not for general use.
    struct Impl;
    Impl& Internals() const { return *d_; }
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    // A wheel turn; true when handled (the widget then does not scroll by itself).
    virtual bool MouseWheel(TShiftState shift, int wheelDelta, int x, int y);
    // The widget was resized from outside (a top-level window by the user).
    void WidgetResized(int width, int height);
    void WidgetMoved(int left, int top);
    // The widget's own click signal decides OnClick (buttons, check boxes, lists).
    bool OwnClick() const { return ownClick_; }
    // Places the widget where the properties say.
    virtual void UpdateWidgetGeometry();

protected:
    // The concrete class's widget; the control owns it. Applies the current state to it.
    void AttachWidget(QWidget* widget);
    // A control without a widget is being placed on a parent: one that stays windowless until
    // then attaches its widget here.
    virtual void WidgetNeeded() {}
    void SetOwnClick(bool value) { ownClick_ = value; }
    // Text storage: controls whose widget holds the text override both.
    virtual std::string GetControlText() const;
    virtual void SetControlText(const std::string& text);
    virtual void TextChanged() {}
    virtual void FontChanged();
    virtual void ColorChanged();
    // The colour a control of this class has by default; a colour equal to it leaves the
    // widget's own palette alone.
    virtual TColor DefaultColor() const { return clBtnFace; }
    // Runs after the size changed; fires OnResize.
    virtual void Resize();
    virtual void VisibleChanged();
    // Remember where an anchored control stands against its parent's client area.
    void UpdateAnchorRules();
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TWinControl;
    void ParentFontChanged();
    void ParentColorChanged();

    std::unique_ptr<Impl> d_;
    TWinControl* parent_ = nullptr;
    TPopupMenu* popupMenu_ = nullptr;
    bool ownClick_ = false;
};

// A control without focus of its own (labels, images, speed buttons, splitters).
class TGraphicControl : public TControl {
    LUMETRA_CLASS(TGraphicControl, TControl)
public:
    explicit TGraphicControl(TComponent* owner) : TControl(owner) {}
};

// A control that holds other controls, takes the focus and receives keys.
class TWinControl : public TControl {
    LUMETRA_CLASS(TWinControl, TControl)
public:
    explicit TWinControl(TComponent* owner);
    // Destroys the child controls first.
    ~TWinControl() override;
    static void RegisterProperties(TClassBuilder<TWinControl>& b);

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const;

    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool value);
    // Position in the parent's tab order.
    int TabOrder() const;
    void SetTabOrder(int order);

    bool CanFocus() const;
    bool Focused() const;
    // Raises EInvalidOperation "Cannot focus a disabled or invisible window" when it cannot.
    void SetFocus();

    // Lays out the aligned and anchored children (alTop, alBottom, alLeft, alRight, then
    // alClient, each by position) in the client area.
    void Realign();
    void DisableAlign() { ++alignDisabled_; }
    void EnableAlign();

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;

    // Key plumbing: a form with KeyPreview sees the key first; a key set to 0 is consumed.
    // Return true when the key was consumed.
    virtual bool DoKeyDown(std::uint16_t& key, TShiftState shift);
    virtual bool DoKeyUp(std::uint16_t& key, TShiftState shift);
    virtual bool DoKeyPress(char16_t& key);
    void DoEnter();
    void DoExit();

    // The widget children are placed in, and the offset of child coordinates within it.
    virtual QWidget* ContainerWidget() const;
    virtual TPoint ChildOrigin() const { return {0, 0}; }
    // The area alignment fills (the client rect less borders and captions).
    virtual TRect AlignRect() const { return ClientRect(); }

protected:
    virtual void KeyDown(std::uint16_t& key, TShiftState shift);
    virtual void KeyUp(std::uint16_t& key, TShiftState shift);
    virtual void KeyPress(char16_t& key);
    void Resize() override;
    virtual void ChildBoundsChanged(TControl* child);
    // A child came in or went out.
    virtual void ControlsChanged() {}

private:
    friend class TControl;
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    void ApplyTabOrder();
    void AlignControls();

    std::vector<TControl*> controls_;
    std::vector<TWinControl*> tabList_;
    bool tabStop_ = false;
    bool aligning_ = false;
    int alignDisabled_ = 0;
    bool alignPending_ = false;
};

// The base of windows that can scroll their content (scroll boxes, forms).
class TScrollingWinControl : public TWinControl {
    LUMETRA_CLASS(TScrollingWinControl, TWinControl)
public:
    explicit TScrollingWinControl(TComponent* owner) : TWinControl(owner) {}
};

// Maps a key of the toolkit to a virtual key code (0 when it has none).
std::uint16_t VirtualKeyFromToolkit(int qtKey);
