#pragma once
// The designer's text editors: a memo and a rich edit that take any Unicode character. The
// toolkit's controls hold Unicode text throughout, so these add only the wide-text accessors
// the editors use.

#include <string>

#include "objects/rich_edit.h"
#include "platform/ui/std_controls.h"

class TUnicodeMemo : public TMemo {
    LUMETRA_CLASS(TUnicodeMemo, TMemo)
public:
    using TMemo::TMemo;
    std::u16string GetWideText() const;
    // Writes the text only when it differs, then tells the control its text changed.
    void SetWideText(const std::u16string& text);
};

class TQvUnicodeRichEdit : public TQvRichEdit {
    LUMETRA_CLASS(TQvUnicodeRichEdit, TQvRichEdit)
public:
    using TQvRichEdit::TQvRichEdit;
    std::u16string GetWideText() const;
    void SetWideText(const std::u16string& text);
};

// Enters both classes by name.
void RegisterUnicodeControlClasses();
