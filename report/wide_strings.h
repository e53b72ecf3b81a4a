#pragma once
// UTF-16 string lists (memo text, the resource store's values, the text-drawing object's lines)
// and conversions between legacy 8-bit text and UTF-16 by font character set or code page.

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/persistent.h"

class TStream;
class TStrings;

class TWideStrings : public TPersistent {
    LUMETRA_CLASS(TWideStrings, TPersistent)

public:
    TWideStrings() = default;
    ~TWideStrings() override = default;

    void Clear() { lines_.clear(); }
    int Add(std::u16string_view s);
    int AddObject(std::u16string_view s, TObject* object);
    // EListError outside the list.
    void Delete(int index);
    // Exact comparison of code units, or -1.
    int IndexOf(std::u16string_view s) const;
    // Replaces line index when it exists, appends at Count, otherwise raises
    // "Wide String Out of Bounds". It never shifts lines.
    void Insert(int index, std::u16string_view s);

    // Empty text / nullptr outside the list; SetStrings is Insert; SetObjects outside is ignored.
    std::u16string Strings(int index) const;
    const std::u16string& StringRef(int index) const;
    void SetStrings(int index, std::u16string_view s) { Insert(index, s); }
    TObject* Objects(int index) const;
    void SetObjects(int index, TObject* object);
    int Count() const { return static_cast<int>(lines_.size()); }

    // Every line followed by CR LF. SetText splits at CR, LF, U+2028 (CR LF U+2028 in that order
    // counting as one break) and stops at a NUL; a final break adds no empty line.
    std::u16string Text() const;
    void SetText(std::u16string_view text);

    void Assign(const TWideStrings& source);
    // TStrings lines are UTF-8.
    void Assign(const TStrings& source);
    // From another TWideStrings; anything else raises the class library's assign error.
    void Assign(const TPersistent* source) override;
    void AssignTo(TWideStrings& dest) const { dest.Assign(*this); }
    void AssignTo(TStrings& dest) const;

    // FF FE then UTF-16 LE (a file of just the mark is an empty list); without the mark, 8-bit
    // text in the legacy code page.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const std::string& fileName);
    // Atomic: the file is either the old one or the complete new content.
    void SaveToFile(const std::string& fileName) const;

    // Binary streaming: "Strings" (read only; 8-bit or wide strings) and "UTF8" (each line as
    // UTF-8), both only when there are lines.
    void DefineProperties(TFiler& filer) override;

private:
    struct Line {
        std::u16string text;
        TObject* object = nullptr;
    };
    std::vector<Line> lines_;
};

// Character set to Windows code page: 1 (default) is the system code page, 77 gives 2, 255 (OEM)
// gives 1, the others through the character-set table; an unknown set raises EOSError.
int CharsetToCodePage(int charset);
// 8-bit text in codePage (0: the character set's code page) to UTF-16; empty when it cannot be
// converted.
std::u16string AnsiToWide(std::string_view text, int charset, int codePage);
// The reverse, without a replacement character: empty when a character cannot be held.
std::string WideToAnsi(std::u16string_view text, int charset, int codePage);
// Locale identifier of a character set; others give the current locale.
int CharsetToLocale(int charset);
// OEM to ANSI, byte count kept. Both are the legacy code page here, so the text is unchanged.
std::string OemToAnsi(std::string_view text);
