#pragma once
// Small report classes for the object-tree and serializer tests: a report root with variables
// in its defined data, a frame, a band with a child link, a memo, a page whose paper setters
// have side effects, and a view whose setter throws.

#include <cmath>
#include <string>

#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/text.h"
#include "report/component.h"
#include "report/data_set.h"
#include "report/variables.h"
#include "report/xml_serializer.h"

// A plain data member as a published property: the getter reads it, the setter assigns it.
#define FIELD(C, f) &C::f, [](C& o, decltype(C::f) v) { o.f = v; }

namespace doubles {

inline const TTypeInfo& AlignType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwAlign", {"baNone", "baLeft", "baRight", "baCenter", "baWidth",
                                     "baBottom", "baClient"});
    return t;
}

inline const TTypeInfo& HAlignType() {
    static const TTypeInfo& t =
        DefineEnumType("THAlign", {"haLeft", "haRight", "haCenter", "haBlock"});
    return t;
}

inline const TTypeInfo& FrameTypesType() {
    static const TTypeInfo& e =
        DefineEnumType("TFrameType", {"ftLeft", "ftRight", "ftTop", "ftBottom"});
    static const TTypeInfo& s = DefineSetType("TFrameTypes", e);
    return s;
}

} // namespace doubles

// A report root with a few report properties; its variables travel in PropData.
class TTestReport : public TpgwCustomReport {
    LUMETRA_CLASS(TTestReport, TpgwCustomReport)
public:
    explicit TTestReport(TComponent* owner) : TpgwCustomReport(owner) {}
    static void RegisterProperties(TClassBuilder<TTestReport>& b) {
        b.Add("DataSet", TypeInfoOfClass(TpgwDataSet::StaticClass()), &TTestReport::DataSet,
              &TTestReport::SetDataSet);
        b.Add("ScriptLanguage", TypeInfoString(), &TTestReport::ScriptLanguage,
              &TTestReport::SetScriptLanguage);
        b.Add("ScriptText", TypeInfoStrings(), &TTestReport::ScriptText,
              &TTestReport::SetScriptText);
    }
    void DefineProperties(TFiler& filer) override {
        TpgwCustomReport::DefineProperties(filer);
        filer.DefineProperty(
            "Variables", [this](TReader& r) { ReadCollectionData(variables_, r, this); },
            [this](TWriter& w) { WriteCollectionData(variables_, w, this); },
            variables_.Count() > 0);
    }

    TpgwDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TpgwDataSet* value) {
        if (dataSet_) dataSet_->RemoveFreeNotification(this);
        dataSet_ = value;
        if (dataSet_) dataSet_->FreeNotification(this);
    }
    const std::string& ScriptLanguage() const { return scriptLanguage_; }
    void SetScriptLanguage(const std::string& v) { scriptLanguage_ = v; }
    TStrings* ScriptText() const { return &scriptText_; }
    void SetScriptText(TStrings* v) {
        if (v) scriptText_.Assign(*v);
    }
    TpgwVariables& Variables() { return variables_; }

    bool UseGlobalDataSetList() const override { return useGlobal_; }
    TpgwDataSet* GetDataset(std::string_view alias) const override {
        return alias == "Local" ? local_ : nullptr;
    }
    bool useGlobal_ = true;
    TpgwDataSet* local_ = nullptr;

protected:
    void Notification(TComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove && component == dataSet_) dataSet_ = nullptr;
        TpgwCustomReport::Notification(component, operation);
    }

private:
    TpgwDataSet* dataSet_ = nullptr;
    std::string scriptLanguage_;
    mutable TStringList scriptText_;
    TpgwVariables variables_;
};

// A frame with a set, a float and a colour, and a little defined data of its own.
class TTestFrame : public TPersistent {
    LUMETRA_CLASS(TTestFrame, TPersistent)
public:
    TTestFrame() = default;
    static void RegisterProperties(TClassBuilder<TTestFrame>& b) {
        b.Add("Color", TypeInfoColor(), FIELD(TTestFrame, color)).Default(0);
        b.Add("Typ", doubles::FrameTypesType(), FIELD(TTestFrame, typ)).Default(0);
        b.Add("Width", TypeInfoDouble(), FIELD(TTestFrame, width));
    }
    TColor color = 0;
    std::uint32_t typ = 0;
    double width = 1;
};

// A drawable object publishing geometry, font and a frame.
class TTestView : public TpgwReportComponent {
    LUMETRA_CLASS(TTestView, TpgwReportComponent)
public:
    explicit TTestView(TComponent* owner) : TpgwReportComponent(owner) {}
    static void RegisterProperties(TClassBuilder<TTestView>& b) {
        b.Add("Left", TypeInfoExtended(), &TpgwComponent::Left, &TpgwComponent::SetLeft);
        b.Add("Top", TypeInfoExtended(), &TpgwComponent::Top, &TpgwComponent::SetTop);
        b.Add("Width", TypeInfoExtended(), &TpgwComponent::Width, &TpgwComponent::SetWidth);
        b.Add("Height", TypeInfoExtended(), &TpgwComponent::Height, &TpgwComponent::SetHeight);
        b.Add("Align", doubles::AlignType(), FIELD(TTestView, align)).Default(0);
        b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
              &TpgwComponent::SetFont)
            .Stored(&TpgwComponent::IsFontStored);
        b.Add(
            "Frame", TypeInfoOfClass(TTestFrame::StaticClass()),
            [](TTestView& v) { return &v.frame; }, nullptr);
        b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont,
              &TpgwComponent::SetParentFont)
            .Default(1);
        b.Add("Visible", TypeInfoBoolean(), &TpgwComponent::Visible, &TpgwComponent::SetVisible)
            .Default(1);
        b.Add("DataSet", TypeInfoOfClass(TpgwDataSet::StaticClass()), FIELD(TTestView, dataSet));
    }
    void Draw(TCanvas&, double, double, double, double) override {}
    int align = baNone;
    TTestFrame frame;
    TpgwDataSet* dataSet = nullptr;
};

// A memo: text kept as UTF-8 in the template, an alignment enumeration.
class TTestMemo : public TTestView, public TpgwTemplateTextHolder {
    LUMETRA_CLASS(TTestMemo, TTestView)
public:
    explicit TTestMemo(TComponent* owner) : TTestView(owner) {}
    static void RegisterProperties(TClassBuilder<TTestMemo>& b) {
        b.Add("HAlign", doubles::HAlignType(), FIELD(TTestMemo, hAlign)).Default(0);
    }
    std::u16string TemplateText() const override { return text; }
    void SetTemplateText(std::u16string_view t) override { text = t; }
    int hAlign = 0;
    std::u16string text;
};

// A band with a child link; a chain of children that closes on itself is refused.
class TTestBand : public TTestView {
    LUMETRA_CLASS(TTestBand, TTestView)
public:
    explicit TTestBand(TComponent* owner) : TTestView(owner) {}
    static void RegisterProperties(TClassBuilder<TTestBand>& b) {
        b.Add("Child", TypeInfoOfClass(TTestBand::StaticClass()), &TTestBand::Child,
              &TTestBand::SetChild);
    }
    TTestBand* Child() const { return child_; }
    void SetChild(TTestBand* value) {
        for (TTestBand* b = value; b; b = b->child_)
            if (b == this) throw Exception("Circular child reference is not allowed");
        child_ = value;
    }
    int loadedCount = 0;
    void Loaded() override {
        ++loadedCount;
        TTestView::Loaded();
    }

private:
    TTestBand* child_ = nullptr;
};

// A view whose Tag setter refuses negative values.
class TThrowingView : public TTestView {
    LUMETRA_CLASS(TThrowingView, TTestView)
public:
    explicit TThrowingView(TComponent* owner) : TTestView(owner) {}
    static void RegisterProperties(TClassBuilder<TThrowingView>& b) {
        b.Add("Level", TypeInfoInteger(), &TThrowingView::Level, &TThrowingView::SetLevel)
            .Default(0);
    }
    int Level() const { return level_; }
    void SetLevel(int v) {
        if (v < 0) throw Exception("Level must not be negative");
        level_ = v;
    }

private:
    int level_ = 0;
};

enum TTestOrientation { poPortrait, poLandscape };

// A page whose paper setters have the side effects of the report page: a paper code looks up
// its size (A4 only here), a paper width or height forces the custom code 256, and turning the
// page swaps the sides and turns the margins.
class TTestPaperPage : public TpgwComponent {
    LUMETRA_CLASS(TTestPaperPage, TpgwComponent)
public:
    explicit TTestPaperPage(TComponent* owner) : TpgwComponent(owner) { SetPaperSize(9); }
    static void RegisterProperties(TClassBuilder<TTestPaperPage>& b) {
        static const TTypeInfo& orientation =
            DefineEnumType("TPrinterOrientation", {"poPortrait", "poLandscape"});
        using P = TTestPaperPage;
        b.Add("PaperSize", TypeInfoInteger(), &P::PaperSize, &P::SetPaperSize).NoDefault();
        b.Add("PaperWidth", TypeInfoExtended(), &P::PaperWidth, &P::SetPaperWidth);
        b.Add("PaperHeight", TypeInfoExtended(), &P::PaperHeight, &P::SetPaperHeight);
        b.Add("Orientation", orientation, &P::Orientation, &P::SetOrientation).Default(poPortrait);
        b.Add("LeftMargin", TypeInfoExtended(), FIELD(P, leftMargin));
        b.Add("RightMargin", TypeInfoExtended(), FIELD(P, rightMargin));
        b.Add("TopMargin", TypeInfoExtended(), FIELD(P, topMargin));
        b.Add("BottomMargin", TypeInfoExtended(), FIELD(P, bottomMargin));
    }
    int PaperSize() const { return paperSize_; }
    void SetPaperSize(int v) {
        paperSize_ = v;
        if (v == 9) {
            paperWidth_ = orientation_ == poLandscape ? 297 : 210;
            paperHeight_ = orientation_ == poLandscape ? 210 : 297;
        }
    }
    double PaperWidth() const { return paperWidth_; }
    void SetPaperWidth(double v) {
        paperWidth_ = v;
        paperSize_ = 256;
    }
    double PaperHeight() const { return paperHeight_; }
    void SetPaperHeight(double v) {
        paperHeight_ = v;
        paperSize_ = 256;
    }
    int Orientation() const { return orientation_; }
    void SetOrientation(int v) {
        if (v != orientation_) {
            std::swap(paperWidth_, paperHeight_);
            const double l = leftMargin, r = rightMargin, t = topMargin, bm = bottomMargin;
            if (v == poLandscape) {
                leftMargin = t, rightMargin = bm, topMargin = r, bottomMargin = l;
            } else {
                leftMargin = bm, rightMargin = t, topMargin = l, bottomMargin = r;
            }
        }
        orientation_ = v;
    }
    double leftMargin = 0, rightMargin = 0, topMargin = 0, bottomMargin = 0;

private:
    int paperSize_ = 0;
    double paperWidth_ = 0, paperHeight_ = 0;
    int orientation_ = poPortrait;
};

// Registers the doubles (and the real data sets) by name, once.
inline void RegisterTreeDoubles() {
    static const bool once = [] {
        RegisterClasses<TTestReport, TTestView, TTestMemo, TTestBand, TThrowingView, TTestPaperPage,
                        TpgwUserDataSet, TTestFrame>();
        SetPropertyWriteOrder(TTestPaperPage::StaticClass(),
                              {"Orientation", "PaperWidth", "PaperHeight", "PaperSize",
                               "LeftMargin", "RightMargin", "TopMargin", "BottomMargin"});
        return true;
    }();
    (void)once;
}
