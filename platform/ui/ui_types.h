#pragma once
// Enumerations, sets, key codes and event signatures shared by the application object, forms
// and controls, with the declared types that publish them in property tables.

#include <cstdint>
#include <functional>

#include "platform/core/object.h"

class TTypeInfo;

enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

using TAnchors = std::uint32_t; // bits of TAnchorKind
enum TAnchorKind : std::uint8_t { akLeft, akTop, akRight, akBottom };
inline constexpr TAnchors AnchorBit(TAnchorKind k) {
    return 1u << k;
}
inline constexpr TAnchors kDefaultAnchors = (1u << akLeft) | (1u << akTop);
inline constexpr TAnchors kAllAnchors = 0x0F;

using TShiftState = std::uint32_t; // bits of TShiftKind
enum TShiftKind : std::uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
inline constexpr TShiftState ShiftBit(TShiftKind k) {
    return 1u << k;
}

enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout : std::uint8_t { tlTop, tlCenter, tlBottom };
enum TBevelCut : std::uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TScrollBarKind : std::uint8_t { sbHorizontal, sbVertical };
enum TCloseAction : std::uint8_t { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle : std::uint8_t {
    bsNone,
    bsSingle,
    bsSizeable,
    bsDialog,
    bsToolWindow,
    bsSizeToolWin
};
enum TPosition : std::uint8_t {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
enum TFormStyle : std::uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState : std::uint8_t { wsNormal, wsMinimized, wsMaximized };

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;

using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSize = -22;
inline constexpr TCursor crSizeAll = -22;

// Virtual key codes of key events.
inline constexpr std::uint16_t VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16,
                               VK_CONTROL = 17, VK_MENU = 18, VK_PAUSE = 19, VK_CAPITAL = 20,
                               VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34,
                               VK_END = 35, VK_HOME = 36, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39,
                               VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46, VK_HELP = 47,
                               VK_F1 = 112, VK_F12 = 123, VK_NUMLOCK = 144, VK_SCROLL = 145;

// Event signatures.
using TMouseEvent =
    std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
// wheelDelta: 120 per notch, positive away from the user; mousePos in screen coordinates.
using TMouseWheelEvent = std::function<void(TObject* sender, TShiftState shift, int wheelDelta,
                                            int x, int y, bool& handled)>;
using TKeyEvent = std::function<void(TObject* sender, std::uint16_t& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, char16_t& key)>;
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// Declared types for the property tables.
const TTypeInfo& TypeInfoAlign();
const TTypeInfo& TypeInfoAnchors();
const TTypeInfo& TypeInfoAlignment();
const TTypeInfo& TypeInfoTextLayout();
const TTypeInfo& TypeInfoBevelCut();
const TTypeInfo& TypeInfoScrollStyle();
const TTypeInfo& TypeInfoFormBorderStyle();
const TTypeInfo& TypeInfoPosition();
const TTypeInfo& TypeInfoFormStyle();
const TTypeInfo& TypeInfoWindowState();
