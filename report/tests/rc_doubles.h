#pragma once
// Stand-ins for the report's page, band, memo, picture and frame classes (their real classes
// come later), registered by class name so templates can name them; and a data page under the
// real class name, registered only while no real one is.

#include <memory>
#include <string>

#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/graphics/color.h"
#include "platform/graphics/picture.h"
#include "report/component.h"
#include "report/data_set.h"
#include "report/report.h"
#include "report/styles.h"
#include "report/xml_serializer.h"

class TRcFrame : public TPersistent {
    LUMETRA_CLASS(TRcFrame, TPersistent)
public:
    TRcFrame() = default;
    static void RegisterProperties(TClassBuilder<TRcFrame>& b) {
        b.Add("Color", TypeInfoColor(), &TRcFrame::color,
              [](TRcFrame& o, decltype(TRcFrame::color) v) { o.color = v; })
            .Default(0);
        b.Add("Typ", TypeInfoInteger(), &TRcFrame::typ, [](TRcFrame& o, decltype(TRcFrame::typ) v) {
             o.typ = v;
         }).Default(0);
        b.Add("Width", TypeInfoExtended(), &TRcFrame::width,
              [](TRcFrame& o, decltype(TRcFrame::width) v) { o.width = v; });
    }
    void Assign(const TPersistent* source) override {
        auto* s = dynamic_cast<const TRcFrame*>(source);
        if (!s) return TPersistent::Assign(source);
        color = s->color;
        typ = s->typ;
        width = s->width;
    }
    TColor color = 0;
    int typ = 0;
    double width = 1;
};

class TRcView : public TpgwReportComponent {
    LUMETRA_CLASS(TRcView, TpgwReportComponent)
public:
    explicit TRcView(TComponent* owner) : TpgwReportComponent(owner) {}
    static void RegisterProperties(TClassBuilder<TRcView>& b) {
        b.Add("Left", TypeInfoExtended(), &TpgwComponent::Left, &TpgwComponent::SetLeft);
        b.Add("Top", TypeInfoExtended(), &TpgwComponent::Top, &TpgwComponent::SetTop);
        b.Add("Width", TypeInfoExtended(), &TpgwComponent::Width, &TpgwComponent::SetWidth);
        b.Add("Height", TypeInfoExtended(), &TpgwComponent::Height, &TpgwComponent::SetHeight);
        b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
              &TpgwComponent::SetFont)
            .Stored(&TpgwComponent::IsFontStored);
        b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont,
              &TpgwComponent::SetParentFont)
            .Default(1);
        b.Add("Color", TypeInfoColor(), &TRcView::color,
              [](TRcView& o, decltype(TRcView::color) v) { o.color = v; })
            .Default(clNone);
        b.Add(
            "Frame", TypeInfoOfClass(TRcFrame::StaticClass()), [](TRcView& v) { return &v.frame; },
            nullptr);
        b.Add("DataSet", TypeInfoOfClass(TpgwDataSet::StaticClass()), &TRcView::dataSet,
              [](TRcView& o, TpgwDataSet* v) { o.dataSet = v; });
    }
    void Draw(TCanvas&, double, double, double, double) override {}
    TColor color = clNone;
    TRcFrame frame;
    TpgwDataSet* dataSet = nullptr;
};

class TRcPage : public TpgwComponent {
    LUMETRA_CLASS(TRcPage, TpgwComponent)
public:
    explicit TRcPage(TComponent* owner) : TpgwComponent(owner) {}
    static void RegisterProperties(TClassBuilder<TRcPage>& b) {
        b.Add("PaperSize", TypeInfoInteger(), &TRcPage::paperSize,
              [](TRcPage& o, decltype(TRcPage::paperSize) v) { o.paperSize = v; })
            .Default(9);
        b.Add("LeftMargin", TypeInfoExtended(), &TRcPage::leftMargin,
              [](TRcPage& o, decltype(TRcPage::leftMargin) v) { o.leftMargin = v; });
    }
    int paperSize = 9;
    double leftMargin = 10;
};

class TRcBand : public TRcView {
    LUMETRA_CLASS(TRcBand, TRcView)
public:
    explicit TRcBand(TComponent* owner) : TRcView(owner) {}
};

// A memo: UTF-8 text in the template, and a style whose name copies the style's looks.
class TRcMemo : public TRcView, public TpgwTemplateTextHolder {
    LUMETRA_CLASS(TRcMemo, TRcView)
public:
    explicit TRcMemo(TComponent* owner) : TRcView(owner) {}
    static void RegisterProperties(TClassBuilder<TRcMemo>& b) {
        b.Add("Style", TypeInfoString(), &TRcMemo::Style, &TRcMemo::SetStyle);
    }
    std::u16string TemplateText() const override { return text; }
    void SetTemplateText(std::u16string_view t) override { text = t; }
    const std::string& Style() const { return style_; }
    void SetStyle(const std::string& value) {
        style_ = value;
        auto* report = dynamic_cast<TpgwReport*>(Report());
        if (!report) return;
        if (TpgwStyleItem* item = report->Styles()->Find(value)) {
            color = item->Color();
            SetFont(item->Font());
            if (item->Frame()) frame.Assign(item->Frame());
        }
    }
    std::u16string text;

private:
    std::string style_;
};

// A picture kept as binary data beside the published properties.
class TRcPicture : public TRcView {
    LUMETRA_CLASS(TRcPicture, TRcView)
public:
    explicit TRcPicture(TComponent* owner) : TRcView(owner) {}
    void DefineProperties(TFiler& filer) override {
        TRcView::DefineProperties(filer);
        filer.DefineBinaryProperty(
            "Picture", [this](TStream& s) { picture.LoadFromStream(s); },
            [this](TStream& s) { picture.SaveToStream(s); }, !picture.Empty());
    }
    TPicture picture;
};

namespace rc {

// Stands for the data page until the real class exists.
class TpgwDataPage : public TpgwComponent {
    LUMETRA_CLASS(TpgwDataPage, TpgwComponent)
public:
    explicit TpgwDataPage(TComponent* owner) : TpgwComponent(owner) {}
};

} // namespace rc

inline void RegisterReportDoubles() {
    static const bool once = [] {
        RegisterClasses<TpgwReport, TRcFrame, TRcView, TRcPage, TRcBand, TRcMemo, TRcPicture,
                        TpgwUserDataSet, TpgwStyleItem>();
        if (!GetClass("TpgwDataPage")) RegisterClass(rc::TpgwDataPage::StaticClass());
        if (!GetClass("TpgwFrame"))
            TpgwStyleItem::SetFrameFactory([] { return std::make_unique<TRcFrame>(); });
        return true;
    }();
    (void)once;
}
