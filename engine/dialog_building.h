#pragma once
// What the report windows' dialogs share in building themselves: controls at fixed places, the
// OK/Cancel pair, and F1 opening the help at the dialog's topic.

#include <cstdint>
#include <string>

#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"
#include "report/small_windows.h"

template <class T>
T* PlaceControl(TWinControl* parent, TComponent* owner, int left, int top, int width, int height) {
    auto* c = new T(owner);
    c->SetParent(parent);
    c->SetBounds(left, top, width, height);
    return c;
}

inline TLabel* PlaceLabel(TWinControl* parent, TComponent* owner, int left, int top,
                          const std::string& caption = {}) {
    auto* l = new TLabel(owner);
    l->SetParent(parent);
    l->SetTransparent(true);
    l->SetLeft(left);
    l->SetTop(top);
    l->SetCaption(caption);
    return l;
}

// F1 opens the help at topic; other keys pass.
inline void OpenHelpOnF1(TForm& form, const std::string& topic) {
    form.OnKeyDown = [topic](TObject*, std::uint16_t& key, TShiftState) {
        if (key != VK_F1) return;
        key = 0;
        OpenHelp(topic);
    };
}
