#include "tools/make-demo/report_templates.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "data/db_dataset.h"
#include "platform/core/exception.h"
#include "platform/core/safe_file.h"
#include "platform/core/string_list.h"
#include "platform/graphics/bitmap.h"
#include "platform/print/papers.h"
#include "report/band.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/report_data_sets.h"

namespace {

const char* const kSong = "宋体";
const char* const kHei = "黑体";
constexpr int kGB2312 = 134;
constexpr double kMargin = 10; // mm, all four sides

struct TemplateKind {
    std::string FileName;
    int PaperSize;
    int Pictures;
};

std::string Field(const char* name) {
    return std::string("[db.\"") + name + "\"]";
}

void SetFont(TpgwReportComponent& c, const char* name, int points, bool bold = false) {
    c.SetParentFont(false);
    c.Font()->SetName(name);
    c.Font()->SetCharset(kGB2312);
    c.Font()->SetSize(points);
    c.Font()->SetStyle(bold ? TFontStyles{fsBold} : TFontStyles{});
}

// Builds one template top to bottom; y is the top of the next object in the current band.
class Builder {
public:
    Builder(TpgwReport& report, TpgwDataSet& db, const TemplateKind& kind)
        : report_(report), db_(db), kind_(kind) {}

    void Build() {
        report_.SetScriptLanguage("PascalScript");
        report_.EngineOptions()->SetDoublePass(true);
        report_.ReportOptions()->SetName("超声检查报告单");
        report_.DataSets()->Add(&db_);
        auto* data = new TpgwDataPage(&report_);
        data->SetName("Data");
        page_ = new TpgwReportPage(&report_);
        page_->SetName("Page1");
        page_->SetPaperSize(kind_.PaperSize);
        page_->SetLeftMargin(kMargin);
        page_->SetRightMargin(kMargin);
        page_->SetTopMargin(kMargin);
        page_->SetBottomMargin(kMargin);
        // Whole units keep the positions readable; the fraction lost is under a unit.
        width_ = std::floor((page_->PaperWidth() - 2 * kMargin) * pg01cm);
        // A narrower page takes smaller text: B5 is 182 mm wide against A4's 210.
        small_ = kind_.PaperSize != 9;
        BuildTitle();
        BuildExam();
        BuildFooter();
    }

private:
    int TextSize() const { return small_ ? 10 : 11; }
    double Row() const { return small_ ? 19 : 21; }

    TpgwMemoView* Memo(TpgwBand* band, const std::string& name, double left, double top,
                       double width, double height, const std::string& text,
                       const char* font = kSong, int points = 0, bool bold = false) {
        auto* memo = new TpgwMemoView(band);
        memo->SetName(name);
        memo->SetBounds(left, top, width, height);
        memo->SetText(text);
        memo->SetVAlign(vaCenter);
        SetFont(*memo, font, points ? points : TextSize(), bold);
        return memo;
    }

    void Line(TpgwBand* band, const std::string& name, double top, double thickness = 1) {
        auto* line = new TpgwLineView(band);
        line->SetName(name);
        line->SetBounds(0, top, width_, 0);
        line->Frame()->SetTyp(1 << ftBottom);
        line->Frame()->SetWidth(thickness);
    }

    void BuildTitle() {
        auto* band = new TpgwReportTitle(page_);
        band->SetName("ReportTitle1");
        const double logo = small_ ? 56 : 64;
        auto* picture = new TpgwPictureView(band);
        picture->SetName("logo");
        picture->SetBounds(0, 0, logo, logo);
        picture->SetStretched(true);
        picture->SetKeepAspectRatio(true);
        picture->SetCenter(true);
        auto* host = Memo(band, "hostname", logo, 2, width_ - 2 * logo, 26, "", kHei,
                          small_ ? 14 : 16, true);
        host->SetHAlign(haCenter);
        auto* title = Memo(band, "Title", logo, 30, width_ - 2 * logo, 32, "超声检查报告单", kHei,
                           small_ ? 18 : 20, true);
        title->SetHAlign(haCenter);
        Line(band, "TitleLine", logo + 6, 2);
        band->SetBounds(0, 0, width_, logo + 10);
        top_ = logo + 30;
    }

    void BuildExam() {
        auto* band = new TpgwMasterData(page_);
        band->SetName("MasterData1");
        band->SetDataSet(&db_);
        band->SetStretched(true);
        double y = 4;

        // The patient block: three label and value pairs a row.
        struct Item {
            const char* Label;
            std::string Value;
        };
        const Item items[] = {
            {"姓名：", Field("name")},
            {"性别：", Field("sex")},
            {"年龄：", Field("age") + Field("ageunit")},
            {"超声号：", Field("csid")},
            {"送检科室：", Field("songjianpart")},
            {"病人来源：", Field("patientsource")},
            {"床号：", Field("bednum")},
            {"住院号：", Field("zhuyuannum")},
            {"门诊号：", Field("menzhennum")},
            {"申请医生：", Field("shenqingdoc")},
            {"检查部位：", Field("jianchapart")},
            {"设备型号：", Field("shebeixinghao")},
        };
        const double column = width_ / 3;
        // Four characters and the colon on one line, with the memo's gaps.
        const double label = small_ ? 80 : 88;
        int i = 0;
        for (const Item& item : items) {
            const double left = column * (i % 3);
            const double top = y + Row() * (i / 3);
            ++i;
            Memo(band, "Label" + std::to_string(i), left, top, label, Row(), item.Label, kHei);
            Memo(band, "Patient" + std::to_string(i), left + label, top, column - label - 4, Row(),
                 item.Value);
        }
        y += Row() * 4 + 4;
        Line(band, "PatientLine", y);
        y += 8;

        if (kind_.Pictures > 0) y = Pictures(band, y) + 8;

        const double heading = Row() + 2;
        Memo(band, "FindingsLabel", 0, y, width_, heading, "检查所见：", kHei, TextSize() + 1,
             true);
        y += heading;
        auto* findings =
            Memo(band, "Findings", 16, y, width_ - 16, Row() * 2, Field("jinchasuojian"));
        findings->SetVAlign(vaTop);
        findings->SetStretchMode(smActualHeight);
        findings->SetLineSpacing(4);
        y += Row() * 2 + 6;
        Memo(band, "ConclusionLabel", 0, y, width_, heading, "检查结论：", kHei, TextSize() + 1,
             true);
        y += heading;
        auto* conclusion = Memo(band, "Conclusion", 16, y, width_ - 16, Row(),
                                Field("jianchajielun"), kSong, TextSize() + 1, true);
        conclusion->SetVAlign(vaTop);
        conclusion->SetStretchMode(smActualHeight);
        conclusion->SetLineSpacing(4);
        y += Row() + 6;
        Memo(band, "AdviceLabel", 0, y, label, Row(), "建议：", kHei);
        auto* advice = Memo(band, "Advice", label, y, width_ - label, Row(), Field("jianyi"));
        advice->SetStretchMode(smActualHeight);
        y += Row() + 8;

        Line(band, "SignLine", y);
        y += 6;
        const Item doctors[] = {
            {"检查医生：", Field("jianchadoc")},
            {"报告医生：", Field("baogaodoc")},
            {"审核医生：", Field("shenhedoc")},
        };
        i = 0;
        for (const Item& d : doctors) {
            const double left = column * i;
            ++i;
            Memo(band, "DoctorLabel" + std::to_string(i), left, y, label, Row(), d.Label, kHei);
            Memo(band, "Doctor" + std::to_string(i), left + label, y, column - label - 4, Row(),
                 d.Value);
        }
        y += Row();
        // The date field holds the time of day too; the time prints from its own field.
        const double dateWidth = small_ ? 84 : 92;
        Memo(band, "DateLabel", column * 2, y, label, Row(), "报告日期：", kHei);
        auto* date =
            Memo(band, "Date", column * 2 + label, y, dateWidth, Row(), Field("baogaoriqi"));
        date->DisplayFormat()->SetKind(fkDateTime);
        date->DisplayFormat()->SetFormatStr("yyyy-mm-dd");
        Memo(band, "Time", column * 2 + label + dateWidth, y, column - label - dateWidth - 4, Row(),
             Field("baogaoshijian"));
        y += Row() + 4;
        band->SetBounds(0, top_, width_, y);
        top_ += y + 20;
    }

    // Picture1 ... PictureN in rows of up to three (two for four pictures), 4:3 like the
    // scanner's pictures, centred; the bottom of the last row.
    double Pictures(TpgwBand* band, double y) {
        const int n = kind_.Pictures;
        const int columns = n == 4 ? 2 : std::min(n, 3);
        const int rows = (n + columns - 1) / columns;
        const double gap = 10;
        // What the page leaves for pictures once the texts of a usual exam are in.
        const double budget = small_ ? 340 : 470;
        const double cellWidth = (width_ - gap * (columns - 1)) / columns;
        double height = std::min(cellWidth * 3 / 4, (budget - gap * (rows - 1)) / rows);
        if (n == 1) height = std::min(height, budget * 0.8);
        const double width = height * 4 / 3;
        for (int k = 0; k < n; ++k) {
            const int row = k / columns;
            const int inRow = std::min(columns, n - row * columns);
            const double rowWidth = inRow * width + (inRow - 1) * gap;
            const double left = (width_ - rowWidth) / 2 + (k % columns) * (width + gap);
            auto* picture = new TpgwPictureView(band);
            picture->SetName("Picture" + std::to_string(k + 1));
            picture->SetBounds(left, y + row * (height + gap), width, height);
            picture->SetStretched(true);
            picture->SetKeepAspectRatio(true);
            picture->SetCenter(true);
            picture->Frame()->SetTyp(ftAll);
            picture->Frame()->SetColor(clGray);
        }
        return y + rows * height + (rows - 1) * gap;
    }

    void BuildFooter() {
        auto* band = new TpgwPageFooter(page_);
        band->SetName("PageFooter1");
        Line(band, "FooterLine", 0);
        Memo(band, "Note", 0, 4, width_ / 2, 20, "本报告仅供临床参考", kSong, 9);
        auto* number = Memo(band, "PageNumber", width_ / 2, 4, width_ / 2, 20,
                            "第 [Page#] 页 共 [TotalPages#] 页", kSong, 9);
        number->SetHAlign(haRight);
        band->SetBounds(0, top_, width_, 26);
    }

    TpgwReport& report_;
    TpgwDataSet& db_;
    const TemplateKind& kind_;
    TpgwReportPage* page_ = nullptr;
    double width_ = 0;
    double top_ = 0; // design position of the next band
    bool small_ = false;
};

int PaperCode(const char* name) {
    for (const TPaperSizeInfo& paper : PaperSizes())
        if (std::string(paper.Name) == name) return paper.Code;
    throw EInOutError(std::string("no paper ") + name);
}

std::vector<TemplateKind> Kinds() {
    std::vector<TemplateKind> kinds;
    const int a4 = PaperCode("A4");
    const int b5 = PaperCode("B5 (JIS)");
    for (int n = 1; n <= 6; ++n)
        kinds.push_back({"a4p" + std::to_string(n) + ".pg3", a4, n});
    for (int n = 1; n <= 6; ++n)
        kinds.push_back({"b5p" + std::to_string(n) + ".pg3", b5, n});
    kinds.push_back({"custom.pg3", a4, 0});
    return kinds;
}

} // namespace

std::vector<std::string> DemoTemplateNames() {
    std::vector<std::string> names;
    for (const TemplateKind& kind : Kinds())
        names.push_back(kind.FileName);
    return names;
}

void WriteDemoTemplates(const std::string& folder) {
    // The templates name the browser's data set; this one stands in for it while they are built.
    TpgwDBDataset db(nullptr);
    db.SetName("db");
    db.SetUserName("db");
    for (const TemplateKind& kind : Kinds()) {
        TpgwReport report(nullptr);
        Builder(report, db, kind).Build();
        report.SaveToFile(folder + "/" + kind.FileName);
    }
}

void WriteDemoLogo(const std::string& path) {
    constexpr int size = 64;
    TBitmap bmp(size, size);
    TCanvas& c = bmp.Canvas();
    c.Brush().SetColor(clWhite);
    c.FillRect(TRect{0, 0, size, size});
    c.Brush().SetColor(clRed);
    c.FillRect(TRect{24, 6, 40, 58});
    c.FillRect(TRect{6, 24, 58, 40});
    const std::vector<std::uint8_t> bytes = bmp.SaveToBytes();
    WriteFileAtomically(path, std::string(bytes.begin(), bytes.end()));
}
