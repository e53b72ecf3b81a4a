#pragma once
// TpgwDrawText: memo text layout and drawing. The memo's lines are parsed into tag runs,
// wrapped and measured at a fixed 600 pixels per inch with whole-pixel advances, so that line
// breaks and heights are the same on every screen, printer and export; drawing then fits each
// line to the device (WYSIWYG). Callers hold Lock() from set-up to their last query, since
// the set-up lives in the object between calls:
//   Lock; SetFont; SetOptions; SetSpacing; SetDimensions; SetText; [ClearParagraphFlags];
//   one query (CalcHeight, SplitAtBottom, DrawText...); Unlock.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/html_tags.h"
#include "engine/text_measurer.h"
#include "platform/graphics/font.h"
#include "platform/graphics/geometry.h"
#include "report/text_drawing.h" // TpgwHAlign, TpgwVAlign

class TCanvas;
class TWideStrings;

// Paragraph flags of a wrapped line.
inline constexpr int kFirstParagraphLine = 1;
inline constexpr int kLastParagraphLine = 2;

class TpgwDrawText {
public:
    TpgwDrawText();
    ~TpgwDrawText();
    TpgwDrawText(const TpgwDrawText&) = delete;
    TpgwDrawText& operator=(const TpgwDrawText&) = delete;

    // The process-wide lock every instance shares (recursive).
    void Lock();
    void Unlock();

    // Measuring source (default: the platform font measurer).
    void SetMeasurer(std::shared_ptr<const TpgwTextMeasurer> measurer);
    // What counts as a printer page (default: the platform's printer canvas). On a printer
    // page fonts and widths follow the page's resolution and the print scale.
    void SetPrinterCanvasTest(std::function<bool(const TCanvas&)> test);
    bool IsPrinterCanvas(const TCanvas& canvas) const;

    // The memo's UseDefaultCharset, set before measuring or drawing. Text is measured and drawn
    // by UTF-16 unit whatever the font's character set, so it changes nothing here; it is kept
    // so that callers set up the object the same way everywhere.
    bool UseDefaultCharset = false;

    // The memo font, its height set for 600 pixels per inch.
    void SetFont(const TFont& font);
    // Rotation in degrees (taken mod 360, the sign kept).
    void SetOptions(bool wordWrap, bool allowTags, bool rtlReading, bool wordBreak, bool clipped,
                    bool wysiwyg, int rotation);
    // Layout rectangle in report units (its width wraps, its height fits); device rectangle in
    // pixels of the target canvas; scales in device pixels per report unit. For measuring alone:
    // (0, 0, 10000, 10000) twice and scales of 1.
    void SetDimensions(const TRect& layoutRect, const TRect& deviceRect, double scaleX,
                       double scaleY, double printScale);
    // Report units: first-line indent, space after every character, space below every line.
    void SetSpacing(double paragraphGap, double charSpacing, double lineSpacing);
    // Keeps the lines as the source text and wraps them.
    void SetText(const TWideStrings& lines);
    void SetText(const std::vector<std::u16string>& lines);
    // For the parts of a split paragraph: no indent on a continued first line, justification
    // kept on a cut last line.
    void ClearParagraphFlags(bool clearFirst, bool clearLast);

    // Report units. CalcWidth and DrawText mark the runs they apply as applied, so SetText runs
    // again before another CalcWidth or DrawText on the same text.
    double CalcHeight() const;
    double CalcWidth();
    double LineHeight() const;
    // Keeps the wrapped lines that fit the layout height; the source text keeps their part and
    // rest receives the remainder, the tag state at the cut carried into it as tags.
    void SplitAtBottom(bool& cutInsideParagraph, std::u16string& rest);
    // The height left below the whole lines that fit the layout height (0.0001 for exactly
    // none, 0 when not one line fits).
    double SpaceBelowLines() const;
    const std::u16string& GetSourceText() const { return sourceText_; }
    std::u16string GetWrappedText() const;
    // text without the tag subset (the runs it adds stay until the next SetText).
    std::u16string StripTags(std::u16string_view text);

    void DrawText(TCanvas& canvas, TpgwHAlign hAlign, TpgwVAlign vAlign);

    int WrappedLineCount() const { return static_cast<int>(lines_.size()); }
    const std::u16string& WrappedLine(int index) const {
        return lines_.at(static_cast<std::size_t>(index)).text;
    }
    int WrappedLineFlags(int index) const {
        return lines_.at(static_cast<std::size_t>(index)).flags;
    }
    TpgwHTMLTagsList& Tags() { return tags_; }
    const TFont& WorkFont() const { return workFont_; }
    int Rotation() const { return rotation_; }

private:
    struct TextLine {
        std::u16string text;
        int flags = 0;
    };

    void AddLine(std::u16string_view text) { lines_.push_back({std::u16string(text), 0}); }
    void WrapLine(std::u16string s, int width, int firstLineWidth, int charSpacing);
    double DesignLineHeight() const; // report units
    int FontPixels() const { return -workFont_.Height(); }
    // Height of a size-point font on the target: the page's resolution and the print scale on
    // a printer, scale Y elsewhere.
    int TargetFontHeight(int size, bool printer, int dpi) const;

    // Drawing (draw_text_output.cpp).
    struct Placement;
    Placement PlaceLines(int totalHeight, TpgwVAlign vAlign);
    void DrawLine(TCanvas& canvas, const std::u16string& text, TpgwHAlign align, int lineIndex,
                  int width, int y, int x, bool printer);

    std::shared_ptr<const TpgwTextMeasurer> measurer_;
    std::function<bool(const TCanvas&)> printerTest_;
    TFont workFont_;
    static constexpr int kDesignPPI = 600;
    static constexpr int kScreenPPI = 96;
    std::vector<int> advances_;
    std::vector<int> designWidths_;
    int fontSize_ = 10;
    TpgwHTMLTagsList tags_;
    double charSpacing_ = 0;
    double lineSpacing_ = 0;
    unsigned options_ = 0;
    TRect layoutRect_{0, 0, 10000, 10000};
    double paragraphGap_ = 0;
    std::u16string sourceText_;
    double printScale_ = 1;
    int rotation_ = 0;
    bool rtl_ = false;
    TRect deviceRect_{0, 0, 10000, 10000};
    double scaleX_ = 1;
    double scaleY_ = 1;
    std::vector<TextLine> lines_;
    bool wordBreak_ = false;
    bool wordWrap_ = true;
    bool wysiwyg_ = true;
};

// The instance for memos outside a report and for the PDF export's text.
TpgwDrawText& SharedDrawText();

// Adds step to n entries of a[lo..hi], spread evenly by halving the range.
void DistributeEvenly(int* a, int lo, int hi, int n, int step);
