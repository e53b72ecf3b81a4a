#pragma once
// Start-up of the GUI side of the toolkit, needed before fonts are read or text is painted.

// Creates the process's GUI application object when none exists yet. Without a display
// (neither DISPLAY nor WAYLAND_DISPLAY set) it starts on the offscreen platform. Safe to call
// from anywhere and any number of times; the object lives until the process ends.
void EnsureGuiApplication();
