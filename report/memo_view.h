#pragma once
// The text object: wide lines with bracketed expressions evaluated and formatted for each
// output, or one data-set field; hidden zeros, suppressed repeats, a conditional highlight,
// width that follows the text, the height the text needs, and the split of its text across
// pages. Layout and drawing go through the installed text-drawing object (text_drawing.h).

#include <memory>
#include <string>
#include <string_view>

#include "platform/graphics/geometry.h"
#include "report/text_drawing.h"
#include "report/view.h"
#include "report/wide_strings.h"
#include "report/xml_serializer.h"

class TpgwStyleItem;

const TTypeInfo& TpgwHAlignType();
const TTypeInfo& TpgwVAlignType();

class TpgwCustomMemoView : public TpgwStretcheable, public TpgwTemplateTextHolder {
    LUMETRA_CLASS(TpgwCustomMemoView, TpgwStretcheable)
public:
    explicit TpgwCustomMemoView(TComponent* owner);
    ~TpgwCustomMemoView() override;

    // ---- published state
    // Setting it copies the given lines.
    TWideStrings* Memo() const { return memo_.get(); }
    void SetMemo(TWideStrings* value);
    bool AllowExpressions() const { return allowExpressions_; }
    void SetAllowExpressions(bool value) { allowExpressions_ = value; }
    // Opening and closing delimiter separated by the first comma.
    const std::string& ExpressionDelimiters() const { return expressionDelimiters_; }
    void SetExpressionDelimiters(const std::string& value) { expressionDelimiters_ = value; }
    bool AllowHTMLTags() const { return allowHTMLTags_; }
    void SetAllowHTMLTags(bool value) { allowHTMLTags_ = value; }
    bool AutoWidth() const { return autoWidth_; }
    void SetAutoWidth(bool value) { autoWidth_ = value; }
    double CharSpacing() const { return charSpacing_; }
    void SetCharSpacing(double value) { charSpacing_ = value; }
    bool Clipped() const { return clipped_; }
    void SetClipped(bool value) { clipped_ = value; }
    // Setting it copies the given format.
    TpgwFormat* DisplayFormat() const { return displayFormat_.get(); }
    void SetDisplayFormat(TpgwFormat* value);
    // The memo that receives the text that does not fit.
    TpgwCustomMemoView* FlowTo() const { return flowTo_; }
    void SetFlowTo(TpgwCustomMemoView* value);
    double GapX() const { return gapX_; }
    void SetGapX(double value) { gapX_ = value; }
    double GapY() const { return gapY_; }
    void SetGapY(double value) { gapY_ = value; }
    TpgwHAlign HAlign() const { return hAlign_; }
    void SetHAlign(TpgwHAlign value) { hAlign_ = value; }
    TpgwVAlign VAlign() const { return vAlign_; }
    void SetVAlign(TpgwVAlign value) { vAlign_ = value; }
    bool HideZeros() const { return hideZeros_; }
    void SetHideZeros(bool value) { hideZeros_ = value; }
    // Setting it copies the given highlight.
    TpgwHighlight* Highlight() const { return highlight_.get(); }
    void SetHighlight(TpgwHighlight* value);
    double LineSpacing() const { return lineSpacing_; }
    void SetLineSpacing(double value) { lineSpacing_ = value; }
    double ParagraphGap() const { return paragraphGap_; }
    void SetParagraphGap(double value) { paragraphGap_ = value; }
    // Degrees; kept modulo 360 with the sign (450 is 90, -90 stays -90).
    int Rotation() const { return rotation_; }
    void SetRotation(int value) { rotation_ = value % 360; }
    bool RTLReading() const { return rtlReading_; }
    void SetRTLReading(bool value) { rtlReading_ = value; }
    // A report style's name; the style is applied when the memo belongs to a report.
    const std::string& Style() const { return style_; }
    void SetStyle(const std::string& value);
    bool SuppressRepeated() const { return suppressRepeated_; }
    void SetSuppressRepeated(bool value) { suppressRepeated_ = value; }
    bool Underlines() const { return underlines_; }
    void SetUnderlines(bool value) { underlines_ = value; }
    bool UseDefaultCharset() const { return useDefaultCharset_; }
    void SetUseDefaultCharset(bool value) { useDefaultCharset_ = value; }
    bool WordBreak() const { return wordBreak_; }
    void SetWordBreak(bool value) { wordBreak_ = value; }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value) { wordWrap_ = value; }
    bool Wysiwyg() const { return wysiwyg_; }
    void SetWysiwyg(bool value) { wysiwyg_ = value; }
    // The text starts / ends inside a paragraph (set when the text was split).
    bool FirstParaBreak() const { return firstParaBreak_; }
    void SetFirstParaBreak(bool value) { firstParaBreak_ = value; }
    bool LastParaBreak() const { return lastParaBreak_; }
    void SetLastParaBreak(bool value) { lastParaBreak_ = value; }

    // The lines as UTF-8, each followed by CR LF; setting it never converts.
    std::string Text() const;
    void SetText(const std::string& value);
    // The lines as 8-bit text in the code page of the font's character set.
    std::string AnsiText() const;
    void SetAnsiText(const std::string& value);

    // Colour, font and frame of a style item; nothing for none.
    void ApplyStyleItem(const TpgwStyleItem* item);

    // ---- formatting and output
    // The text of a value in format (the DisplayFormat when none). A format that fails gives
    // the value's plain text.
    std::string FormatValue(const Variant& value, const TpgwFormat* format = nullptr) const;
    // The laid-out text: the wrapped lines joined by CR LF, or the text without its tags.
    std::u16string OutputText(bool wrapped);
    // Replaces "[TOTALPAGES#]" and "[COPYNAME#]" before drawing.
    void ExpandPageMacros();
    // The next equal value prints again (a new page or column). Whether a value was
    // remembered.
    bool ResetRepeatedValue() {
        const bool had = lastPrintedText_.IsString() && !lastPrintedText_.StringValue().empty();
        lastPrintedText_ = std::string();
        return had;
    }
    // The value of the last expression or field of an output.
    const Variant& Value() const { return value_; }
    // For objects that print a value they computed themselves (cross-tab cells).
    void SetValue(const Variant& value) { value_ = value; }
    // Set by the prepared-page drawing before it draws the memo.
    int TotalPages = 0;
    int CopyNo = 0;
    double PrintScale = 1;

    void SaveForPrint() override;
    void FetchData() override;
    void RestoreAfterPrint() override;
    void ExportText(std::string& text) override;
    std::string ChangedAttributes(TpgwComponent* reference) override;

    // ---- measuring, drawing and splitting (report units)
    double CalcHeight() override;
    virtual double CalcWidth();
    double TakeFittingPart(bool atLeastOneLine = false) override;
    void ResetParts() override;
    void BeginDraw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                   double offsetY) override;
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;
    // The text rectangle of the last BeginDraw, in pixels.
    const TRect& TextRect() const { return textRect_; }

    // TpgwTemplateTextHolder: the template keeps the lines as one UTF-8 text.
    std::u16string TemplateText() const override { return memo_->Text(); }
    void SetTemplateText(std::u16string_view text) override { memo_->SetText(text); }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TpgwTextDrawing* textDrawing() const;
    bool designing() const;
    // The font's character set is not the default one and conversion is wanted.
    bool convertCharset() const;
    // Engine set-up without dimensions and text.
    void setUpDrawing(TpgwTextDrawing& td) const;
    void prepareDrawText(TpgwTextDrawing& td, TCanvas& canvas, double scaleX, double scaleY,
                         double offsetX, double offsetY);
    double horizontalExtra() const;
    double verticalExtra() const;
    // The text rectangle of BeginDraw's arithmetic for a pixel rectangle.
    TRect textRectFor(double scaleX, double scaleY, int x, int y, int x1, int y1) const;
    // The layout rectangle: the text rectangle at scale 1 and offset 0.
    TRect layoutRect() const;
    void expandExpressions();
    std::u16string evaluateBracket(const std::string& expression);
    void fetchField();
    void drawUnderlines(TpgwTextDrawing& td);

    std::unique_ptr<TWideStrings> memo_;
    std::unique_ptr<TpgwFormat> displayFormat_;
    std::unique_ptr<TpgwHighlight> highlight_;
    TpgwCustomMemoView* flowTo_ = nullptr;
    std::string expressionDelimiters_ = "[,]";
    std::string style_;
    double charSpacing_ = 0;
    double gapX_ = 2;
    double gapY_ = 1;
    double lineSpacing_ = 2;
    double paragraphGap_ = 0;
    int rotation_ = 0;
    TpgwHAlign hAlign_ = haLeft;
    TpgwVAlign vAlign_ = vaTop;
    bool allowExpressions_ = true;
    bool allowHTMLTags_ = false;
    bool autoWidth_ = false;
    bool clipped_ = true;
    bool hideZeros_ = false;
    bool rtlReading_ = false;
    bool suppressRepeated_ = false;
    bool underlines_ = false;
    bool useDefaultCharset_ = false;
    bool wordBreak_ = false;
    bool wordWrap_ = true;
    bool wysiwyg_ = true;
    bool firstParaBreak_ = false;
    bool lastParaBreak_ = false;

    // Working state of one output.
    Variant value_;
    Variant lastPrintedText_ = Variant::Null();
    std::u16string pendingPart_;
    TWideStrings savedLines_;
    TRect textRect_{};
};

class TpgwMemoView : public TpgwCustomMemoView {
    LUMETRA_CLASS(TpgwMemoView, TpgwCustomMemoView)
public:
    explicit TpgwMemoView(TComponent* owner);
    ~TpgwMemoView() override;
    static void RegisterProperties(TClassBuilder<TpgwMemoView>& b);
    std::string ClassDescription() const override;
};

// The system text object: the memo with a smaller published set; its expressions are always
// evaluated.
class TpgwSysMemoView : public TpgwCustomMemoView {
    LUMETRA_CLASS(TpgwSysMemoView, TpgwCustomMemoView)
public:
    explicit TpgwSysMemoView(TComponent* owner);
    ~TpgwSysMemoView() override;
    static void RegisterProperties(TClassBuilder<TpgwSysMemoView>& b);
    std::string ClassDescription() const override;
};

// Registers the memo classes by name for template loading.
void RegisterMemoClasses();
