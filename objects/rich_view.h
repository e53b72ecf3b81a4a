#pragma once
// TpgwRichView: formatted text (RTF) in a report. A rich-edit control of its own, without a
// window, holds the content and measures and draws it in twips. Before output the view can
// take its content from a data field, replace bracketed expressions inside the formatted text
// keeping their formatting, stretch to its text, split across pages and hand what does not fit
// to a second rich view (FlowTo).

#include <memory>
#include <string>

#include "platform/graphics/metafile.h"
#include "platform/richedit/rich_content.h"
#include "report/view.h"

class TQvRichEdit;

class TpgwRichView : public TpgwStretcheable {
    LUMETRA_CLASS(TpgwRichView, TpgwStretcheable)
public:
    explicit TpgwRichView(TComponent* owner);
    ~TpgwRichView() override;
    static void RegisterProperties(TClassBuilder<TpgwRichView>& b);

    std::string ClassDescription() const override;
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;
    void SaveForPrint() override;
    void FetchData() override;
    void RestoreAfterPrint() override;
    void ExportText(std::string& text) override;
    double CalcHeight() override;
    double TakeFittingPart(bool atLeastOneLine = false) override;
    void ResetParts() override;
    void DefineProperties(TFiler& filer) override;

    TQvRichEdit& RichEdit() const { return *control_; }
    bool AllowExpressions() const { return allowExpressions_; }
    void SetAllowExpressions(bool v) { allowExpressions_ = v; }
    const std::string& ExpressionDelimiters() const { return expressionDelimiters_; }
    void SetExpressionDelimiters(const std::string& v) { expressionDelimiters_ = v; }
    bool IsExpressionDelimitersStored() const { return expressionDelimiters_ != "[,]"; }
    TpgwRichView* FlowTo() const { return flowTo_; }
    void SetFlowTo(TpgwRichView* value);
    double GapX() const { return gapX_; }
    void SetGapX(double v) { gapX_ = v; }
    double GapY() const { return gapY_; }
    void SetGapY(double v) { gapY_ = v; }
    bool Wysiwyg() const { return wysiwyg_; }
    void SetWysiwyg(bool v) { wysiwyg_ = v; }

    // The content laid out in the view's rectangle at the reference device's resolution.
    TRecording RenderToMetafile() const;
    // Whether measuring and drawing follow the current printer (else the screen).
    bool UsesPrinterDevice() const;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // Text from the view that flows into this one: already substituted.
    void receiveFlow(const TRichContent& content);
    void substitute();
    int referenceDpiX() const;
    int referenceDpiY() const;

    bool allowExpressions_ = true;
    std::string expressionDelimiters_ = "[,]";
    TpgwRichView* flowTo_ = nullptr;
    double gapX_ = 2;
    double gapY_ = 1;
    bool midParagraph_ = false;
    std::unique_ptr<TQvRichEdit> control_;
    std::string kept_;
    // The content still to be output while the view is split; kept as data, not as RTF, so
    // that a page's part costs no writing and reading of the rest.
    TRichContent pending_;
    bool wysiwyg_ = true;
    // A FlowTo target's own AllowExpressions, given back after the run.
    bool templateAllowExpressions_ = true;
    bool receivedFlow_ = false;
};

// Enters the rich view in the object registry and its classes by name.
void RegisterRichViewClasses();
