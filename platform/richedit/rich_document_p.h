#pragma once
// Private to platform/richedit: the state behind TRichDocument, shared by the editing side
// (rich_document.cpp) and the layout (rich_layout.cpp).
//
// The text lives in a QTextDocument: a paragraph is a block, so a document position is a
// QTextDocument position and a paragraph break counts one, as a CR does in Text(). A character
// format holds only the fields the text was given itself; the others come from the document's
// default format. Pictures and objects are one U+FFFC each whose format names an entry of the
// tables below.

#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextDocument>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/richedit/rich_document.h"

namespace richdoc {

enum Property : int {
    kProtected = QTextFormat::UserProperty + 1,
    kLink,
    kCharset,
    kPitchAndFamily,
    kOffset,
    kAutoColor,     // an explicit "automatic colour" over a default that has one
    kAutoBackColor, // likewise for the background
    kPicture,       // index into Impl::pictures
    kObject,        // index into Impl::objects
    kNumbering,     // on a block format
};
inline constexpr int kObjectType = QTextFormat::UserObject + 1;

inline constexpr char16_t kObjectChar = 0xFFFC;

QString ToQString(std::u16string_view text);
std::u16string FromQString(const QString& text);

// Writes the fields of `mask` into a Qt format; the others are left as they are.
void ApplyCharFormat(QTextCharFormat& into, const TRichCharFormat& format, std::uint32_t mask);
// The fields a Qt format holds over `base`; Mask = cfmAll.
TRichCharFormat EffectiveCharFormat(const QTextCharFormat& format, const TRichCharFormat& base);
// The fields both formats share, as a mask.
std::uint32_t SharedCharFields(const TRichCharFormat& a, const TRichCharFormat& b);
// The format without its picture or object identity, for text typed next to one.
QTextCharFormat TextOnly(const QTextCharFormat& format);

void ApplyParaFormat(QTextBlockFormat& into, const TRichParaFormat& format, std::uint32_t mask);
TRichParaFormat ParaFormatOf(const QTextBlockFormat& format); // Mask = pfmAll
std::uint32_t SharedParaFields(const TRichParaFormat& a, const TRichParaFormat& b);

// URL ranges (start, end) in a paragraph's text, relative to its start.
std::vector<std::pair<int, int>> FindUrls(std::u16string_view text);

// The size a picture or an object takes in the text, in twips.
std::pair<int, int> ObjectTwips(const TRichDocument::Impl& d, int picture, int object);
// Draws a picture (picture >= 0) or an object into r: its picture, or a placeholder frame
// naming its class; `dpiY` sizes that name.
void DrawObject(TCanvas& canvas, const TRichDocument::Impl& d, int picture, int object,
                const TRect& r, int dpiY);

} // namespace richdoc

struct TRichDocument::Impl {
    std::unique_ptr<QTextDocument> doc;
    std::vector<TRichPicture> pictures;
    std::vector<TRichObject> objects;
    TRichCharFormat defaultFormat;
    int selStart = 0, selEnd = 0;
    // A format set at an empty selection waits there for the next text typed.
    std::optional<QTextCharFormat> pendingFormat;
    int undoLimit = 100;
    bool modified = false;
    bool autoUrlDetect = true;

    // A stretch of the document as it was: its text with the formats as held (not as they
    // look), and the formats of the paragraphs it touches.
    struct Stretch {
        struct Piece {
            QString text;
            QTextCharFormat format;
            bool paragraphBreak = false;
        };
        std::vector<Piece> pieces;
        std::vector<QTextBlockFormat> blockFormats;
        std::vector<QTextCharFormat> blockCharFormats;
    };
    // One undo step: [start, start + newLength) now stands where `old` (oldLength long) was.
    // Only the changed stretch is kept, so a step costs what the change touched.
    struct Step {
        int start = 0, oldLength = 0, newLength = 0;
        Stretch old;
        int selStartBefore = 0, selEndBefore = 0, selStartAfter = 0, selEndAfter = 0;
    };
    std::deque<Step> undo, redo;
    // Told of the text document that is about to replace the current one, while the current
    // one still stands (an editor showing it moves over).
    std::function<void(QTextDocument*)> documentReplacing;

    int Length() const { return doc->characterCount() - 1; }
    // The format of the character at pos (a paragraph mark: its paragraph's character format).
    QTextCharFormat FormatAt(int pos) const;
    // The format new text takes at an empty selection at pos.
    QTextCharFormat InsertionFormat(int pos) const;
    TRichCharFormat Effective(const QTextCharFormat& f) const {
        return richdoc::EffectiveCharFormat(f, defaultFormat);
    }
};
