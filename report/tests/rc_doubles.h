#pragma once
// The report's classes registered by name for templates, with a small memo double: template
// text and a style, none of the real memo's text layout, so these tests need no engine.

#include <memory>
#include <string>

#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/graphics/color.h"
#include "platform/graphics/picture.h"
#include "report/component.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/line_view.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/styles.h"
#include "report/view.h"
#include "report/xml_serializer.h"

// A memo: UTF-8 text in the template, and a style whose name copies the style's looks.
class TRcMemo : public TpgwView, public TpgwTemplateTextHolder {
    LUMETRA_CLASS(TRcMemo, TpgwView)
public:
    explicit TRcMemo(TComponent* owner) : TpgwView(owner) {}
    static void RegisterProperties(TClassBuilder<TRcMemo>& b) {
        b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
              &TpgwComponent::SetFont)
            .Stored(&TpgwComponent::IsFontStored);
        b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont,
              &TpgwComponent::SetParentFont)
            .Default(1);
        PublishViewProperties(b, {"Color", "Frame", "DataSet"});
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
            SetColor(item->Color());
            SetFont(item->Font());
            if (item->Frame()) Frame()->Assign(item->Frame());
        }
    }
    std::u16string text;

private:
    std::string style_;
};

inline void RegisterReportDoubles() {
    static const bool once = [] {
        RegisterClasses<TpgwReport, TRcMemo, TpgwUserDataSet, TpgwStyleItem>();
        RegisterViewClasses();
        RegisterLineAndPictureClasses();
        RegisterBandAndPageClasses();
        return true;
    }();
    (void)once;
}
