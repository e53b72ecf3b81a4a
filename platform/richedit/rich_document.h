#pragma once
// TRichDocument: the rich text behind the report library's rich-edit control. Text with
// character and paragraph formats, pictures and embedded objects; read and written as RTF or
// plain text; laid out into a rectangle in twips at a reference device's resolution (the
// format-range call) and drawn onto any canvas.
//
// Positions count UTF-16 units of Text(), where every paragraph ends with one CR (U+000D); the
// last paragraph's CR is the document's final mark and cannot be deleted, so an empty document
// has length 0 and Text() is "" (the final mark is not counted, as the control reports it).
// An embedded object or picture is one character, U+FFFC.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/richedit/rich_content.h"
#include "platform/richedit/rich_formats.h"

class TCanvas;

// One layout call: the text from FirstChar on is laid out into Rect (twips, relative to the
// target's origin) as the reference device of DpiX × DpiY would lay it out; with a target the
// lines that fit are drawn too.
struct TRichFormatRange {
    TCanvas* Target = nullptr; // none: measure only
    int DpiX = 96, DpiY = 96;  // the reference device; the target's own scale maps twips to it
    TRect Rect;                // twips
    int FirstChar = 0;
};
struct TRichFormatResult {
    int NextChar = 0;     // the first character that did not fit (the length when all did)
    int BottomTwips = 0;  // the bottom of the laid-out text, in twips from Rect's top edge
};

class TRichDocument {
public:
    TRichDocument();
    ~TRichDocument();
    TRichDocument(const TRichDocument&) = delete;
    TRichDocument& operator=(const TRichDocument&) = delete;

    // ---- text
    std::u16string Text() const;
    int Length() const;
    std::u16string TextRange(int start, int end) const;
    void Clear();
    // Paragraphs ("lines" of the control's line list).
    int ParagraphCount() const;              // 1 for an empty document
    int ParagraphStart(int index) const;     // -1 when there is no such paragraph
    int ParagraphLength(int index) const;    // without its CR; 0 when there is none
    int ParagraphFromChar(int position) const;

    // ---- selection and editing
    int SelStart() const;
    int SelEnd() const;
    void SetSelection(int start, int end); // clamped; -1 as end: the end of the text
    // Replaces the selection; CR, LF and CR LF become paragraph breaks. The new text takes the
    // character format of the selection's first character (at an empty selection, the one
    // before it). The caret ends behind the new text. Refused (false) when the range holds
    // protected text and the protection callback does not allow it.
    bool ReplaceSelection(std::u16string_view text, bool undoable = true);
    bool CanUndo() const;
    bool Undo();
    bool Redo();
    void SetUndoLimit(int limit); // 0 or 1: single level
    int UndoLimit() const;
    bool Modified() const;
    void SetModified(bool value);
    // Asked before protected text changes: (start, end) of the change; true allows it.
    std::function<bool(int start, int end)> OnProtected;
    // Called after the text or the selection changed.
    std::function<void()> OnChange;
    std::function<void()> OnSelectionChange;

    // ---- formats. Get: the first character of the range (selection, or the word around the
    // caret), Mask = the fields the whole range shares. Set: only the fields in Mask change.
    enum Scope { scDefault, scSelection, scWord };
    TRichCharFormat CharFormat(Scope scope) const;
    void SetCharFormat(Scope scope, const TRichCharFormat& format);
    TRichParaFormat ParaFormat() const; // the selection's first paragraph
    void SetParaFormat(const TRichParaFormat& format);
    // Drops every format but the default (plain-text mode).
    void ClearFormatting();

    // ---- content as data (the RTF codec's form)
    // The whole document, or the selection's paragraphs cut to the selection.
    TRichContent Content(bool selectionOnly = false) const;
    // Replaces the document, or the selection, by the content.
    void SetContent(const TRichContent& content, bool replaceSelection = false);

    // ---- streams
    enum StreamFlags : unsigned {
        sfSelection = 1,  // the selection only (save) / replace the selection (load)
        sfNoObjects = 2,  // save: embedded objects left out
        sfUnicode = 4,    // plain text as UTF-16LE instead of the legacy code page
    };
    // RTF through ReadRtf/WriteRtf: false (and nothing changed) when the bytes are not RTF, or
    // when the selection they would replace holds protected text that may not change.
    bool LoadRtf(std::string_view bytes, unsigned flags = 0);
    std::string SaveRtf(unsigned flags = 0) const;
    // Plain text: CR, LF and CR LF are paragraph breaks; a NUL is a character like any other.
    void LoadText(std::string_view bytes, unsigned flags = 0);
    std::string SaveText(unsigned flags = 0) const; // CR LF between paragraphs

    // ---- objects, pictures and links
    int ObjectCount() const;
    // URL ranges found in the text when detection is on ("http://", "https://", "www.", "mailto:"...).
    void SetAutoUrlDetect(bool on);
    bool AutoUrlDetect() const;
    // The link range at a position, or (-1, -1).
    std::pair<int, int> LinkAt(int position) const;

    // ---- layout
    TRichFormatResult FormatRange(const TRichFormatRange& range) const;

    struct Impl;
    // The state underneath, for the platform's own editor.
    Impl& Internals() const { return *d_; }

private:
    std::unique_ptr<Impl> d_;
};
