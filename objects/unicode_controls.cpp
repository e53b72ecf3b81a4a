#include "objects/unicode_controls.h"

#include "platform/core/properties.h"
#include "platform/core/text.h"

std::u16string TUnicodeMemo::GetWideText() const {
    return Utf8ToUtf16(Text());
}

void TUnicodeMemo::SetWideText(const std::u16string& text) {
    const std::string utf8 = Utf16ToUtf8(text);
    if (utf8 == Text()) return;
    SetText(utf8);
}

std::u16string TQvUnicodeRichEdit::GetWideText() const {
    return Utf8ToUtf16(Text());
}

void TQvUnicodeRichEdit::SetWideText(const std::u16string& text) {
    if (text == GetWideText()) return;
    SetText(Utf16ToUtf8(text));
}

void RegisterUnicodeControlClasses() {
    RegisterClasses<TUnicodeMemo, TQvUnicodeRichEdit>();
}
