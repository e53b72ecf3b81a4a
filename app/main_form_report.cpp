// The main window's report page: the report of the opened exam in the embedded preview, the
// toolbar that zooms, prints and exports it, and the export filters the window holds.

#include <algorithm>
#include <array>

#include "app/dm_unit.h"
#include "app/exam_report.h"
#include "app/exam_schema.h"
#include "app/main_form.h"
#include "app/main_unit.h"
#include "data/db_dataset.h"
#include "engine/preview.h"
#include "export/csv_export.h"
#include "export/html_export.h"
#include "export/image_export.h"
#include "export/mail_export.h"
#include "objects/cross_view.h"
#include "export/odf_export.h"
#include "export/pdf_export.h"
#include "export/rtf_export.h"
#include "export/text_export.h"
#include "export/txt_export.h"
#include "export/xls_export.h"
#include "export/xml_export.h"
#include "objects/rich_view.h"
#include "platform/core/date_time.h"
#include "platform/core/files.h"
#include "platform/core/ini_file.h"
#include "platform/core/string_list.h"
#include "platform/data/ado.h"
#include "platform/data/field.h"
#include "platform/graphics/picture.h"
#include "platform/ui/containers.h"
#include "platform/ui/menus.h"
#include "platform/ui/timer.h"
#include "platform/ui/tool_bar.h"
#include "report/abstract_bases.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/report_data_sets.h"

namespace {

constexpr int kMaxExamPictures = 6;

// The report date as the platform writes a date and time, then the patient's name.
std::string examBaseName() {
    std::string date;
    if (const TField* f = DM && DM->Mqry ? DM->Mqry->FindField("baogaoriqi") : nullptr;
        f && !f->IsNull())
        date = DateTimeToStr(f->AsDateTime());
    return date + ExamFieldText("name");
}

// Letter case is not relied on: the names were written on Windows.
std::string existing(const std::string& path) {
    const std::string found = ResolveFileCase(path);
    return found.empty() ? path : found;
}

// A file the settings name: a relative name belongs to the program's folder, wherever the
// process happens to stand.
std::string settingsFile(const std::string& name, const std::string& programFolder) {
    if (name.empty()) return {};
    const bool relative = name[0] != '/' && name[0] != '\\' && !(name.size() > 1 && name[1] == ':');
    return existing(relative ? programFolder + name : name);
}

template <class T> T* named(TpgwReport& report, const std::string& name) {
    return dynamic_cast<T*>(report.FindObject(name));
}

} // namespace

// A picture that exists but cannot be read keeps its error for the list of each run.
struct TMainForm::ExamPictures {
    struct Entry {
        bool Present = false;
        TPicture Picture;
        std::string Error;
    };
    bool Loaded = false;
    Entry Logo;
    std::array<Entry, kMaxExamPictures> Exam;
    int Count = 0; // of Exam, from the template's name

    static void Load(Entry& entry, const std::string& file) {
        entry = {};
        if (file.empty() || !FileExists(file)) return;
        entry.Present = true;
        try {
            entry.Picture.LoadFromFile(file);
        } catch (const std::exception& e) {
            entry.Error = e.what();
        }
    }
};

TMainForm::ExamPictures& TMainForm::Pictures() {
    if (!pictures_) pictures_ = std::make_shared<ExamPictures>();
    return *pictures_;
}

void TMainForm::BuildReportPage() {
    WdToolbar1 = new TToolBar(this);
    WdToolbar1->SetName("WdToolbar1");
    WdToolbar1->SetParent(WdDock1);
    WdToolbar1->SetAlign(alClient);
    WdToolbar1->SetShowCaptions(true);
    WdToolbar1->SetButtonHeight(22);

    auto button = [this](const char* name, const char* caption,
                         void (TMainForm::*handler)(TObject*)) {
        auto* b = new TToolButton(this);
        b->SetName(name);
        b->SetCaption(caption);
        if (handler) b->OnClick = [this, handler](TObject* s) { (this->*handler)(s); };
        WdToolbar1->AddButton(b);
        return b;
    };
    auto separator = [this] {
        auto* b = new TToolButton(this);
        b->SetStyle(tbsSeparator);
        WdToolbar1->AddButton(b);
    };
    WdItem10 = button("WdItem10", "缩小", &TMainForm::WdItem10Click);
    WdItem9 = button("WdItem9", "放大", &TMainForm::WdItem9Click);
    WdItem8 = button("WdItem8", "100%", &TMainForm::WdItem8Click);
    separator();
    WdItem7 = button("WdItem7", "整页显示", &TMainForm::WdItem7Click);
    WdItem6 = button("WdItem6", "页面宽度", &TMainForm::WdItem6Click);
    WdItem5 = button("WdItem5", "多页显示", &TMainForm::WdItem5Click);
    separator();
    WdSubmenu2 = new TPopupMenu(this);
    WdSubmenu2->SetName("WdSubmenu2");
    auto item = [this](const char* name, const char* caption) {
        auto* i = new TMenuItem(this);
        i->SetName(name);
        i->SetCaption(caption);
        i->OnClick = [this](TObject* s) { ExportClick(s); };
        WdSubmenu2->Items()->Add(i);
        return i;
    };
    WdItem1 = item("WdItem1", "PDF");
    WdItem2 = item("WdItem2", "TIFF");
    WdItem11 = item("WdItem11", "WORD");
    WdItem12 = item("WdItem12", "BMP");
    WdItem13 = item("WdItem13", "JPG");
    WdItem14 = item("WdItem14", "html");
    WdSubmenuItem2 = button("WdSubmenuItem2", "导出", nullptr);
    WdSubmenuItem2->SetStyle(tbsDropDown);
    WdSubmenuItem2->SetDropdownMenu(WdSubmenu2);
    separator();
    WdItem3 = button("WdItem3", "打印", &TMainForm::WdItem3Click);
    WdDock1->SetHeight(std::max(WdDock1->Height(), WdToolbar1->ButtonSize().cy));

    pgwPrv = new TpgwPreview(this);
    pgwPrv->SetName("pgwPrv");
    pgwPrv->SetParent(TabSheet1);
    pgwPrv->SetAlign(alClient);

    db = new TpgwDBDataset(this);
    db->SetName("db");
    db->SetUserName("db");
    db->SetRangeBegin(rbCurrent);
    db->SetRangeEnd(reCurrent);
    db->SetCloseDataSource(false);
    db->SetBCDToCurrency(false);
    {
        std::string aliases;
        for (const TExamColumn& c : ExamColumns())
            aliases += std::string(c.Name) + "=" + c.Name + "\n";
        db->FieldAliases()->SetText(aliases);
    }

    pgwpt = new TpgwReport(this);
    pgwpt->SetName("pgwpt");
    pgwpt->DataSets()->Add(db);
    pgwpt->SetDotMatrixReport(false);
    pgwpt->EngineOptions()->SetDoublePass(true);
    pgwpt->SetIniFile("\\Software\\Quillmark");
    pgwpt->SetPreview(pgwPrv);
    pgwpt->PreviewOptions()->SetOutlineExpand(false);
    pgwpt->PreviewOptions()->SetZoom(1.0);
    pgwpt->PrintOptions()->SetPrinter("预设");
    pgwpt->PrintOptions()->SetPrintOnSheet(0);
    pgwpt->SetScriptLanguage("PascalScript");
    pgwpt->ScriptText()->SetText("begin\n\nend.");
    pgwpt->OnBeforePrint = [this](TpgwComponent* sender) { pgwptBeforePrint(sender); };
    pgwpt->OnBeginDoc = [this](TObject*) { filledThisRun_ = false; };
    new TpgwDataPage(pgwpt);
    auto* page = new TpgwReportPage(pgwpt);
    page->SetName("Page1");
    page->SetPaperSize(9);
    page->SetLeftMargin(10);
    page->SetRightMargin(10);
    page->SetTopMargin(10);
    page->SetBottomMargin(10);

    BuildExportFilters();
}

void TMainForm::BuildExportFilters() {
    auto common = [this](auto* filter, const char* name) {
        filter->SetName(name);
        filter->SetUseFileCache(true);
        filter->SetShowProgress(true);
        filter->SetOverwritePrompt(false);
        return filter;
    };
    pgwPDFExport1 = common(new TpgwPDFExport(this), "pgwPDFExport1");
    pgwPDFExport1->SetPrintOptimized(false);
    pgwPDFExport1->SetOutline(false);
    pgwPDFExport1->SetBackground(false);
    pgwPDFExport1->SetHTMLTags(true);
    pgwPDFExport1->SetAuthor(u"Pagewright");
    pgwPDFExport1->SetSubject(u"Pagewright PDF export");
    pgwPDFExport1->SetProtectionFlags(1u << ePrint | 1u << eModify | 1u << eCopy | 1u << eAnnot);
    pgwPDFExport1->SetHideToolbar(false);
    pgwPDFExport1->SetHideMenubar(false);
    pgwPDFExport1->SetHideWindowUI(false);
    pgwPDFExport1->SetFitWindow(false);
    pgwPDFExport1->SetCenterWindow(false);
    pgwPDFExport1->SetPrintScaling(false);

    pgwTIFFExport1 = common(new TpgwTIFFExport(this), "pgwTIFFExport1");

    pgwRTFExport1 = common(new TpgwRTFExport(this), "pgwRTFExport1");
    pgwRTFExport1->SetExportEMF(true);
    pgwRTFExport1->SetWysiwyg(true);
    pgwRTFExport1->SetCreator("Pagewright");
    pgwRTFExport1->SetSuppressPageHeadersFooters(false);
    pgwRTFExport1->SetHeaderFooterMode(hfText);
    pgwRTFExport1->SetAutoSize(false);

    pgwBMPExport1 = common(new TpgwBMPExport(this), "pgwBMPExport1");
    pgwJPEGExport1 = common(new TpgwJPEGExport(this), "pgwJPEGExport1");

    pgwHTMLExport1 = common(new TpgwHTMLExport(this), "pgwHTMLExport1");
    pgwHTMLExport1->SetFixedWidth(true);
    pgwHTMLExport1->SetBackground(false);
    pgwHTMLExport1->SetCentered(false);
    pgwHTMLExport1->SetEmptyLines(true);

    pgwGIFExport1 = common(new TpgwGIFExport(this), "pgwGIFExport1");

    pgwSimpleTextExport1 = common(new TpgwSimpleTextExport(this), "pgwSimpleTextExport1");
    pgwSimpleTextExport1->SetFrames(false);
    pgwSimpleTextExport1->SetEmptyLines(false);
    pgwSimpleTextExport1->SetOEMCodepage(false);

    pgwCSVExport1 = common(new TpgwCSVExport(this), "pgwCSVExport1");
    pgwCSVExport1->SetSeparator(";");
    pgwCSVExport1->SetOEMCodepage(false);

    pgwXLSExport1 = common(new TpgwXLSExport(this), "pgwXLSExport1");
    pgwXLSExport1->SetExportEMF(true);
    pgwXLSExport1->SetAsText(false);
    pgwXLSExport1->SetBackground(true);
    pgwXLSExport1->SetFastExport(true);
    pgwXLSExport1->SetPageBreaks(true);
    pgwXLSExport1->SetEmptyLines(true);
    pgwXLSExport1->SetSuppressPageHeadersFooters(false);

    pgwXMLExport1 = common(new TpgwXMLExport(this), "pgwXMLExport1");
    pgwXMLExport1->SetBackground(true);
    pgwXMLExport1->SetCreator("Pagewright");
    pgwXMLExport1->SetEmptyLines(true);
    pgwXMLExport1->SetSuppressPageHeadersFooters(false);

    pgwODSExport1 = common(new TpgwODSExport(this), "pgwODSExport1");
    pgwODTExport1 = common(new TpgwODTExport(this), "pgwODTExport1");
    for (TpgwODFExport* odf :
         {static_cast<TpgwODFExport*>(pgwODSExport1), static_cast<TpgwODFExport*>(pgwODTExport1)}) {
        odf->SetExportEMF(true);
        odf->SetBackground(true);
        odf->SetCreator("Pagewright");
        odf->SetEmptyLines(true);
        odf->SetSuppressPageHeadersFooters(false);
    }

    pgwTXTExport1 = common(new TpgwTXTExport(this), "pgwTXTExport1");
    pgwTXTExport1->SetScaleWidth(1.0);
    pgwTXTExport1->SetScaleHeight(1.0);
    pgwTXTExport1->SetBorders(false);
    pgwTXTExport1->SetPseudogrpahic(false);
    pgwTXTExport1->SetPageBreaks(true);
    pgwTXTExport1->SetOEMCodepage(false);
    pgwTXTExport1->SetEmptyLines(false);
    pgwTXTExport1->SetLeadSpaces(false);
    pgwTXTExport1->SetPrintAfter(false);
    pgwTXTExport1->SetPrinterDialog(true);
    pgwTXTExport1->SetUseSavedProps(true);

    pgwMailExport1 = common(new TpgwMailExport(this), "pgwMailExport1");
    pgwMailExport1->SetShowExportDialog(true);
    pgwMailExport1->SetSmtpPort(25);
    pgwMailExport1->SetUseIniFile(true);
    pgwMailExport1->SetTimeOut(60);
    pgwMailExport1->SetConfurmReading(false);

    pgwCrossObject1 = new TpgwCrossObject(this);
    pgwCrossObject1->SetName("pgwCrossObject1");
    pgwCrossObject2 = new TpgwCrossObject(this);
    pgwCrossObject2->SetName("pgwCrossObject2");
}

void TMainForm::ShowExamReport(const Variant& id) {
    TMainUnitValues& v = MainUnit();
    v.RichWysiwyg = true;
    TADOQuery* q = DM->Mqry;
    q->Close();
    q->Open();
    // Should the exam be gone, the report follows the row the query stands on.
    q->Locate("id", id, 0);

    pictures_.reset();
    v.ExportBaseName = examBaseName();
    const std::string name = ReportTemplateName(ExamFieldText("rep_format"));
    pgwpt->LoadFromFile(existing(IncludeTrailingPathDelimiter(v.ReportFormatDir) + name), false);
    pgwpt->ShowReport(true);
}

void TMainForm::pgwptBeforePrint(TpgwComponent*) {
    TMainUnitValues& v = MainUnit();
    // Every call would do the same; one per run serves every object.
    if (filledThisRun_) return;
    filledThisRun_ = true;
    v.ExportBaseName = examBaseName();

    ExamPictures& pictures = Pictures();
    const std::string templateName = ReportTemplateName(ExamFieldText("rep_format"));
    const bool withPictures = !ExamFieldText("imagepath").empty();
    if (!pictures.Loaded) {
        pictures.Loaded = true;
        ExamPictures::Load(pictures.Logo, settingsFile(v.LogoFile, v.ExeFolder));
        pictures.Count = withPictures ? TemplatePictureCount(templateName) : 0;
        for (int k = 0; k < pictures.Count; ++k) {
            const std::string file =
                IncludeTrailingPathDelimiter(ExamFolder()) + "rpt" + std::to_string(k + 1) + ".jpg";
            ExamPictures::Load(pictures.Exam[static_cast<std::size_t>(k)],
                               ExamFolder().empty() ? std::string() : existing(file));
        }
    }

    if (auto* host = named<TpgwCustomMemoView>(*pgwpt, "hostname")) host->SetText(v.HospitalName);
    for (const char* rich : {"Rich1", "Rich2"})
        if (auto* r = named<TpgwRichView>(*pgwpt, rich)) {
            r->SetWysiwyg(v.RichWysiwyg);
            r->SetExpressionDelimiters("[]");
        }
    // An unreadable picture leaves its object as the template has it; its error joins the
    // report's list and the rest of the report still prints.
    auto fill = [this](const ExamPictures::Entry& entry, const std::string& objectName) {
        if (!entry.Present) return;
        auto* view = named<TpgwPictureView>(*pgwpt, objectName);
        if (!view) return;
        if (!entry.Error.empty())
            pgwpt->Errors().Add(objectName + ": " + entry.Error);
        else
            view->Picture()->Assign(entry.Picture);
    };
    fill(pictures.Logo, "logo");
    for (int k = 0; k < pictures.Count; ++k)
        fill(pictures.Exam[static_cast<std::size_t>(k)], "Picture" + std::to_string(k + 1));
}

bool TMainForm::ReportPreparing() const {
    return pgwpt->Timer()->Enabled() || (pgwpt->Engine() && pgwpt->Engine()->Running());
}

void TMainForm::WdItem10Click(TObject*) {
    pgwPrv->SetZoom(pgwPrv->Zoom() - 0.1);
}
void TMainForm::WdItem9Click(TObject*) {
    pgwPrv->SetZoom(pgwPrv->Zoom() + 0.1);
}
void TMainForm::WdItem8Click(TObject*) {
    pgwPrv->SetZoom(1.0);
}
void TMainForm::WdItem7Click(TObject*) {
    pgwPrv->SetZoomMode(zmWholePage);
}
void TMainForm::WdItem6Click(TObject*) {
    pgwPrv->SetZoomMode(zmPageWidth);
}
void TMainForm::WdItem5Click(TObject*) {
    pgwPrv->SetZoomMode(zmManyPages);
}

void TMainForm::WdItem3Click(TObject*) {
    TpgwPrintOptions* o = pgwpt->PrintOptions();
    o->SetPrinter("Default");
    o->SetCopies(1);
    o->SetPrintPages(ppAll);
    o->SetCollate(true);
    o->SetShowDialog(false);
    pgwpt->PrintPrepared();
}

TpgwCustomExportFilter* TMainForm::ExportFilterOf(TObject* sender) const {
    if (sender == WdItem1) return pgwPDFExport1;
    if (sender == WdItem2) return pgwTIFFExport1;
    if (sender == WdItem11) return pgwRTFExport1;
    if (sender == WdItem12) return pgwBMPExport1;
    if (sender == WdItem13) return pgwJPEGExport1;
    if (sender == WdItem14) return pgwHTMLExport1;
    return nullptr;
}

void TMainForm::ExportClick(TObject* sender) {
    TpgwCustomExportFilter* filter = ExportFilterOf(sender);
    if (!filter) return;
    filter->SetFileName(CleanExportName(MainUnit().ExportBaseName));
    pgwpt->ExportTo(filter);
}
