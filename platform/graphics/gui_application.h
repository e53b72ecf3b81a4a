#pragma once
// Start-up of the GUI side of the toolkit, needed before fonts are read or text is painted.

// Creates the process's GUI application object when none exists yet. Without a display
// (neither DISPLAY nor WAYLAND_DISPLAY set) it starts on the offscreen platform. Safe to call
// from anywhere and any number of times; the object lives until the process ends.
void EnsureGuiApplication();

// What any toolkit application object is made with (this one, or the widget application of
// the user interface): the offscreen platform is chosen when there is no display, and the
// arguments, which the object keeps referring to, live as long as the process.
struct TToolkitArguments {
    int& argc;
    char** argv;
};
TToolkitArguments PrepareToolkitStart();
