#pragma once
// Synthetic input for tests: events go straight to a control's widget, as the window system
// delivers them to the focused control, with no window manager involved.

#include <cstdint>
#include <string_view>

#include "platform/ui/ui_types.h"

class TControl;

// One key press and release per character (a surrogate pair is one character), carrying the
// character as its text.
void TypeText(TControl& control, std::u16string_view text);
// What an input method commits when a composition ends.
void CommitText(TControl& control, std::u16string_view text);
// A key by its virtual-key code (VK_*, 'A'..'Z', '0'..'9'), pressed and released.
void PressKey(TControl& control, std::uint16_t key, TShiftState shift = 0);
// A press and release at a point of the control's client area.
void MouseClick(TControl& control, int x, int y, TMouseButton button = mbLeft,
                TShiftState shift = 0);
