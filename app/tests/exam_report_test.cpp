// The opened exam's report: the template its record names, prepared over that record with the
// hospital name, the logo and the exam's pictures, in the embedded preview; zoom, print and
// the export menu. On a small archive and the demo templates, made in the test.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/exam_schema.h"
#include "app/tests/app_test_support.h"
#include "engine/preview.h"
#include "engine/printers.h"
#include "export/export_filter.h"
#include "export/mail_export.h"
#include "export/odf_export.h"
#include "export/pdf_export.h"
#include "export/txt_export.h"
#include "export/xls_export.h"
#include "export/xml_export.h"
#include "platform/core/ini_file.h"
#include "platform/data/ado.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/picture.h"
#include "platform/print/recording_print_backend.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tool_bar.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "tools/make-demo/report_templates.h"

namespace {

struct FixtureExam {
    int Id;
    const char* Name;
    const char* Template;      // the record's rep_format, without the fixed folder
    std::vector<int> Pictures; // rpt<k>.jpg in the exam's folder
};

const FixtureExam kExams[] = {
    {1, "张伟", "a4p3.pg3", {1, 3}},
    {2, "王芳", "A4P2.PG3", {1, 2}},
    {3, "徐勇", "custom.pg3", {1}},
    {4, "李娜", "nosuch.pg3", {}},
};

class ExamReport : public BrowserTest {
protected:
    void SetUp() override {
        BrowserTest::SetUp();
        const std::string db = dir + "/exams.db";
        const std::string formats = dir + "/reportformat";
        images = dir + "/images";
        std::filesystem::create_directories(formats);
        WriteDemoTemplates(formats);
        WriteDemoLogo(dir + "/cross.bmp");
        // A name outside the twelve for a template that does hold Picture1.
        std::filesystem::copy_file(formats + "/a4p2.pg3", formats + "/custom.pg3",
                                   std::filesystem::copy_options::overwrite_existing);
        TADOConnection c(nullptr);
        c.SetConnectionString("Provider=SQLite;Data Source=" + db);
        c.Execute(ExamTableDDL());
        TBitmap scan(640, 480, pf24bit);
        scan.Canvas().Brush().SetColor(clNavy);
        scan.Canvas().FillRect({0, 0, 640, 480});
        TJPEGImage jpeg;
        jpeg.Assign(scan);
        const std::vector<std::uint8_t> bytes = jpeg.SaveToBytes();
        for (const FixtureExam& e : kExams) {
            const std::string folder = images + "/000" + std::to_string(e.Id);
            c.Execute("insert into patient (id, csid, name, sex, age, ageunit, baogaoriqi, "
                      "imagepath, rep_format, jinchasuojian, jianchajielun) values (" +
                      std::to_string(e.Id) + ", '26000" + std::to_string(e.Id) + "', '" + e.Name +
                      "', '男', 45, '岁', datetime('now', 'localtime', '-" + std::to_string(e.Id) +
                      " days', 'start of day', '+9 hours', '+12 minutes'), 'D:\\exam\\000" +
                      std::to_string(e.Id) + "', 'D:\\kelvdata\\reportformat\\" + e.Template +
                      "', '肝脏大小正常。', '未见异常')");
            std::filesystem::create_directories(folder);
            for (int k : e.Pictures)
                WriteAll(folder + "/rpt" + std::to_string(k) + ".jpg",
                         std::string(bytes.begin(), bytes.end()));
        }
        TIniFile ini(IniPath());
        ini.WriteString("db", "dbfile", db);
        ini.WriteString("Image", "ImagePath", images);
        ini.WriteString("Report", "Rptfmt", formats);
        ini.WriteString("Report", "医院名称", "青禾镇康宁医院");
        ini.WriteString("autorun", "cross", "cross.bmp");
    }

    // Opens the exam as a double-click on its row does, and waits for its pages.
    void Open(int id) {
        if (!DM->Mqry->Active()) form->Butt_Select->Click();
        ASSERT_TRUE(DM->Mqry->Locate("id", Variant(id), 0));
        form->DBGridxDblClick(nullptr);
        WaitPrepared();
    }
    void WaitPrepared() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            Application()->ProcessMessages();
            if (!form->ReportPreparing()) return;
            ::usleep(1000);
        } while (std::chrono::steady_clock::now() < end);
        FAIL() << "the report was not prepared";
    }
    int PageCount() { return form->pgwpt->PreviewPages()->GetCount(); }
    template <class T> T* OnPage(const std::string& name, int page = 0) {
        return dynamic_cast<T*>(form->pgwpt->PreviewPages()->GetPage(page)->FindObject(name));
    }
    bool Filled(const std::string& picture) {
        auto* view = OnPage<TpgwPictureView>(picture);
        return view && !view->Picture()->Empty();
    }
    // The memos of a prepared page whose text holds what.
    int MemosHolding(const std::string& what, int page = 0) {
        int n = 0;
        for (TpgwComponent* c : form->pgwpt->PreviewPages()->GetPage(page)->AllObjects())
            if (auto* m = dynamic_cast<TpgwCustomMemoView*>(c);
                m && m->Text().find(what) != std::string::npos)
                ++n;
        return n;
    }

    std::string images;
};

TEST_F(ExamReport, TheTemplateAndTheExamFolderDecideThePictures) {
    Start();
    struct Case {
        int Id;
        std::vector<bool> Filled; // Picture1 ... PictureN
    };
    const Case cases[] = {
        {1, {true, false, true}}, // no rpt2.jpg: Picture2 stays as the template has it
        {2, {true, true}},        // "A4P2.PG3" counts as a4p2
        {3, {false, false}},      // not one of the twelve names: no pictures at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        Open(c.Id);
        ASSERT_EQ(PageCount(), 1);
        for (std::size_t k = 0; k < c.Filled.size(); ++k)
            EXPECT_EQ(Filled("Picture" + std::to_string(k + 1)), c.Filled[k]) << k + 1;
        // Hospital name and logo whatever the template's name.
        auto* host = OnPage<TpgwCustomMemoView>("hostname");
        ASSERT_NE(host, nullptr);
        EXPECT_EQ(host->Text(), "青禾镇康宁医院\r\n");
        EXPECT_TRUE(Filled("logo"));
        // One record, printed once.
        EXPECT_EQ(MemosHolding(kExams[c.Id - 1].Name), 1);
    }
    EXPECT_TRUE(reporter->Boxes.empty());
    EXPECT_TRUE(MainUnit().RichWysiwyg);
}

TEST_F(ExamReport, AMissingTemplateGivesAnEmptyReportAndKeepsTheExamName) {
    Start();
    Open(1);
    ASSERT_EQ(PageCount(), 1);
    Open(4);
    EXPECT_EQ(PageCount(), 0);
    EXPECT_TRUE(reporter->Boxes.empty());
    EXPECT_NE(MainUnit().ExportBaseName.find("李娜"), std::string::npos);
}

TEST_F(ExamReport, AnUnreadablePictureIsListedAndTheRestStillShows) {
    WriteAll(images + "/0002/rpt2.jpg", "not a picture");
    Start();
    Open(2);
    ASSERT_EQ(PageCount(), 1);
    EXPECT_TRUE(Filled("Picture1"));
    EXPECT_FALSE(Filled("Picture2"));
    ASSERT_EQ(reporter->Boxes.size(), 1u);
    EXPECT_NE(reporter->Boxes[0].Text.find("Picture2"), std::string::npos)
        << reporter->Boxes[0].Text;
}

TEST_F(ExamReport, EveryDemoTemplateGivesOnePageWithEverythingInside) {
    Start();
    for (const std::string& name : DemoTemplateNames()) {
        if (name == "custom.pg3") continue;
        SCOPED_TRACE(name);
        TADOConnection c(nullptr);
        c.SetConnectionString("Provider=SQLite;Data Source=" + dir + "/exams.db");
        DM->Mqry->Close();
        // The archive is opened read-only by the browser; the template is switched through a
        // connection of the test's own.
        c.Execute("update patient set rep_format = 'D:\\kelvdata\\reportformat\\" + name +
                  "' where id = 1");
        c.Close();
        for (int k = 1; k <= 6; ++k)
            WriteAll(images + "/0001/rpt" + std::to_string(k) + ".jpg",
                     ReadAll(images + "/0002/rpt1.jpg"));
        Open(1);
        ASSERT_EQ(PageCount(), 1);
        EXPECT_TRUE(reporter->Boxes.empty()) << reporter->Boxes.back().Text;
        auto* page = dynamic_cast<TpgwReportPage*>(form->pgwpt->PreviewPages()->GetPage(0));
        ASSERT_NE(page, nullptr);
        const double w = page->PaperWidth() * pg01cm * 10, h = page->PaperHeight() * pg01cm * 10;
        for (TpgwComponent* c : page->AllObjects()) {
            auto* view = dynamic_cast<TpgwView*>(c);
            if (!view) continue;
            EXPECT_GE(view->AbsLeft(), 0) << view->Name();
            EXPECT_GE(view->AbsTop(), 0) << view->Name();
            EXPECT_LE(view->AbsLeft() + view->Width(), w + 0.5) << view->Name();
            EXPECT_LE(view->AbsTop() + view->Height(), h + 0.5) << view->Name();
        }
        const int pictures = name[3] - '0';
        for (int k = 1; k <= pictures; ++k)
            EXPECT_TRUE(Filled("Picture" + std::to_string(k))) << k;
        EXPECT_EQ(MemosHolding("张伟"), 1);
    }
}

TEST_F(ExamReport, ZoomButtonsAndTheirFloor) {
    Start();
    Open(1);
    TpgwPreview& preview = *form->pgwPrv;
    form->WdItem8->Click();
    EXPECT_DOUBLE_EQ(preview.Zoom(), 1.0);
    form->WdItem9->Click();
    EXPECT_NEAR(preview.Zoom(), 1.1, 1e-9);
    for (int i = 0; i < 12; ++i)
        form->WdItem10->Click();
    EXPECT_DOUBLE_EQ(preview.Zoom(), 0.25);
    EXPECT_EQ(preview.ZoomMode(), zmDefault);
    const std::pair<TToolButton*, TpgwZoomMode> modes[] = {
        {form->WdItem7, zmWholePage}, {form->WdItem6, zmPageWidth}, {form->WdItem5, zmManyPages}};
    for (auto [button, mode] : modes) {
        button->Click();
        EXPECT_EQ(preview.ZoomMode(), mode);
    }
}

TEST_F(ExamReport, PrintGoesToTheDefaultPrinterWithoutADialog) {
    TpgwScopedPrinters printers({"Ward", "Office"});
    GetPrinters()->SelectPrinter(GetPrinters()->IndexOf("Office"));
    Start();
    Open(1);
    form->WdItem3->Click();
    const auto& docs = printers.Recorder()->Documents();
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].Printer, "Ward");
    EXPECT_EQ(docs[0].Pages.size(), 1u);
    EXPECT_TRUE(reporter->Dialogs.empty());
}

// Answers the export's options dialog with OK once its modal loop runs.
void PressOkInOptions() {
    Application()->QueueCall([] {
        if (auto* dialog = dynamic_cast<TpgwExportDialog*>(ModalForm())) dialog->OkB->Click();
    });
}

TEST_F(ExamReport, ExportsOfferTheExamsCleanedName) {
    FormatSettings().DateSeparator = '/';
    FormatSettings().ShortDateFormat = "yyyy/m/d";
    Start();
    // Before any exam: an empty name; a cancelled save dialog writes nothing.
    PressOkInOptions();
    form->WdItem1->Click();
    ASSERT_EQ(reporter->Dialogs.size(), 1u);
    EXPECT_EQ(reporter->Dialogs[0].FileName, "");

    Open(1);
    const std::string base = MainUnit().ExportBaseName;
    EXPECT_NE(base.find('/'), std::string::npos) << base;
    EXPECT_EQ(base.substr(base.size() - 6), "张伟");
    EXPECT_NE(base.find(" 09:12:00张伟"), std::string::npos)
        << base << ": the time of day follows the date";
    std::string offered = base;
    for (char& ch : offered)
        if (ch == '/') ch = '_';

    const std::string out = dir + "/out.pdf";
    TRecordingReporter::DialogAnswer save;
    save.Confirmed = true;
    save.FileName = out;
    reporter->QueueDialogAnswer(save);
    PressOkInOptions();
    form->WdItem1->Click();
    ASSERT_EQ(reporter->Dialogs.size(), 2u);
    EXPECT_EQ(reporter->Dialogs[1].FileName, offered);
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(ReadAll(out).substr(0, 5), "%PDF-");

    // Each item reaches its own filter.
    const std::pair<TMenuItem*, const char*> items[] = {
        {form->WdItem1, "TpgwPDFExport"},   {form->WdItem2, "TpgwTIFFExport"},
        {form->WdItem11, "TpgwRTFExport"},  {form->WdItem12, "TpgwBMPExport"},
        {form->WdItem13, "TpgwJPEGExport"}, {form->WdItem14, "TpgwHTMLExport"}};
    for (auto [item, cls] : items) {
        TpgwCustomExportFilter* filter = form->ExportFilterOf(item);
        ASSERT_NE(filter, nullptr) << cls;
        EXPECT_EQ(filter->ClassName(), cls);
        EXPECT_TRUE(filter->ShowDialog());
        EXPECT_FALSE(filter->OverwritePrompt());
    }
    EXPECT_EQ(form->pgwPDFExport1->Author(), u"Pagewright");
    EXPECT_EQ(PageCount(), 1) << "the prepared pages stay";
}

TEST_F(ExamReport, TheWindowHoldsTheSpreadsheetAndDocumentFilters) {
    Start();
    EXPECT_TRUE(form->pgwXLSExport1->FastExport());
    EXPECT_TRUE(form->pgwXLSExport1->Background());
    EXPECT_FALSE(form->pgwXLSExport1->AsText());
    EXPECT_EQ(form->pgwXMLExport1->Creator(), "Pagewright");
    for (TpgwODFExport* odf : {static_cast<TpgwODFExport*>(form->pgwODSExport1),
                               static_cast<TpgwODFExport*>(form->pgwODTExport1)}) {
        EXPECT_TRUE(odf->ExportEMF());
        EXPECT_TRUE(odf->EmptyLines());
        EXPECT_EQ(odf->Creator(), "Pagewright");
    }
    for (TpgwCustomExportFilter* f : {static_cast<TpgwCustomExportFilter*>(form->pgwXLSExport1),
                                      static_cast<TpgwCustomExportFilter*>(form->pgwXMLExport1),
                                      static_cast<TpgwCustomExportFilter*>(form->pgwODSExport1),
                                      static_cast<TpgwCustomExportFilter*>(form->pgwODTExport1)}) {
        EXPECT_TRUE(f->UseFileCache());
        EXPECT_TRUE(f->ShowProgress());
        EXPECT_FALSE(f->OverwritePrompt());
    }
}

TEST_F(ExamReport, TheWindowHoldsTheDotMatrixFilter) {
    Start();
    TpgwTXTExport* txt = form->pgwTXTExport1;
    ASSERT_NE(txt, nullptr);
    EXPECT_EQ(txt->ScaleWidth(), 1.0);
    EXPECT_EQ(txt->ScaleHeight(), 1.0);
    EXPECT_FALSE(txt->Borders() || txt->Pseudogrpahic() || txt->OEMCodepage() ||
                 txt->EmptyLines() || txt->LeadSpaces() || txt->PrintAfter());
    EXPECT_TRUE(txt->PageBreaks() && txt->PrinterDialog() && txt->UseSavedProps());
    EXPECT_TRUE(txt->UseFileCache() && txt->ShowProgress());
    EXPECT_FALSE(txt->OverwritePrompt());
}

TEST_F(ExamReport, TheWindowHoldsTheMailFilter) {
    Start();
    TpgwMailExport* mail = form->pgwMailExport1;
    ASSERT_NE(mail, nullptr);
    EXPECT_TRUE(mail->ShowExportDialog());
    EXPECT_EQ(mail->SmtpPort(), 25);
    EXPECT_TRUE(mail->UseIniFile());
    EXPECT_EQ(mail->TimeOut(), 60);
    EXPECT_FALSE(mail->ConfurmReading());
    EXPECT_TRUE(mail->UseFileCache() && mail->ShowProgress());
    EXPECT_FALSE(mail->OverwritePrompt());
}

} // namespace
