#pragma once
// The memo views' text-drawing interface over TpgwDrawText.

#include <memory>

#include "engine/draw_text.h"
#include "report/text_drawing.h"

class TpgwDrawTextAdapter : public TpgwTextDrawing {
public:
    // Over the given object (not owned), or over one of its own.
    explicit TpgwDrawTextAdapter(TpgwDrawText* drawText = nullptr);
    ~TpgwDrawTextAdapter() override;

    TpgwDrawText& DrawTextObject() { return *drawText_; }

    void Lock() override { drawText_->Lock(); }
    void Unlock() override { drawText_->Unlock(); }
    void SetUseDefaultCharset(bool value) override { drawText_->UseDefaultCharset = value; }
    void SetFont(const TFont& font) override { drawText_->SetFont(font); }
    void SetOptions(bool wordWrap, bool allowTags, bool rtlReading, bool wordBreak, bool clipped,
                    bool wysiwyg, int rotation) override {
        drawText_->SetOptions(wordWrap, allowTags, rtlReading, wordBreak, clipped, wysiwyg,
                              rotation);
    }
    void SetSpacing(double paragraphGap, double charSpacing, double lineSpacing) override {
        drawText_->SetSpacing(paragraphGap, charSpacing, lineSpacing);
    }
    void SetDimensions(const TRect& layoutRect, const TRect& deviceRect, double scaleX,
                       double scaleY, double printScale) override {
        drawText_->SetDimensions(layoutRect, deviceRect, scaleX, scaleY, printScale);
    }
    void SetText(const TWideStrings& lines) override { drawText_->SetText(lines); }
    void ClearParagraphFlags(bool clearFirst, bool clearLast) override {
        drawText_->ClearParagraphFlags(clearFirst, clearLast);
    }
    double CalcHeight() override { return drawText_->CalcHeight(); }
    double CalcWidth() override { return drawText_->CalcWidth(); }
    double LineHeight() override { return drawText_->LineHeight(); }
    void SplitAtBottom(bool& cutInsideParagraph, std::u16string& rest) override {
        drawText_->SplitAtBottom(cutInsideParagraph, rest);
    }
    double SpaceBelowLines() override { return drawText_->SpaceBelowLines(); }
    std::u16string GetSourceText() override { return drawText_->GetSourceText(); }
    std::u16string GetWrappedText() override { return drawText_->GetWrappedText(); }
    std::u16string StripTags(std::u16string_view text) override {
        return drawText_->StripTags(text);
    }
    void DrawText(TCanvas& canvas, TpgwHAlign hAlign, TpgwVAlign vAlign) override {
        drawText_->DrawText(canvas, hAlign, vAlign);
    }

private:
    std::unique_ptr<TpgwDrawText> own_;
    TpgwDrawText* drawText_;
};

// Makes the memo views measure and draw through TpgwDrawText: the shared instance over
// SharedDrawText and a TpgwDrawText of its own for each report. Called once at start-up.
void InstallEngineTextDrawing();
