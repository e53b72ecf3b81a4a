// A double-click on the list opens the exam: details text, thumbnails, videos, the zoom window
// and the view switch, on a small archive made in the test.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/exam_schema.h"
#include "app/image_form.h"
#include "app/tests/app_test_support.h"
#include "engine/page_output.h"
#include "platform/core/ini_file.h"
#include "platform/data/ado.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/picture.h"
#include "platform/ui/containers.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/std_controls.h"

namespace {

class ExamOpen : public BrowserTest {
protected:
    void SetUp() override {
        BrowserTest::SetUp();
        const std::string db = dir + "/exams.db";
        {
            TADOConnection c(nullptr);
            c.SetConnectionString("Provider=SQLite;Data Source=" + db);
            c.Execute(ExamTableDDL());
            c.Execute("insert into patient (id, csid, name, sex, baogaoriqi, imagepath, "
                      "jinchasuojian, jianchajielun) values (1, '260001', '张伟', '男', "
                      "datetime('now', 'localtime'), 'D:\\exam\\2010exam\\0001', "
                      "'肝脏大小正常。\r\n胆囊未见异常。', '未见异常')");
        }
        images = dir + "/images";
        const std::string folder = images + "/0001";
        std::filesystem::create_directories(folder);
        TBitmap picture(640, 480, pf24bit);
        TJPEGImage jpeg;
        jpeg.Assign(picture);
        const std::vector<std::uint8_t> bytes = jpeg.SaveToBytes();
        for (const char* name : {"C1.JPG", "c2.jpg", "a1.jpg"})
            WriteAll(folder + "/" + name, std::string(bytes.begin(), bytes.end()));
        WriteAll(folder + "/c3.jpg", "not a picture");
        WriteAll(folder + "/scan.avi", "RIFF");
        TIniFile ini(IniPath());
        ini.WriteString("db", "dbfile", db);
        ini.WriteString("Image", "ImagePath", images);
    }
    void OpenExam() {
        form->Butt_Select->Click();
        ASSERT_TRUE(DM->Mqry->Active());
        ASSERT_FALSE(DM->Mqry->IsEmpty());
        form->DBGridxDblClick(nullptr);
    }
    std::string images;
};

TEST_F(ExamOpen, DetailsThumbnailsAndVideos) {
    Start();
    OpenExam();
    // The memo gives its lines back with LF.
    const std::string text = form->RE->Text();
    EXPECT_NE(text.find("【 姓  名 】:张伟\n"), std::string::npos) << text;
    EXPECT_NE(text.find("【检查所见】:\n肝脏大小正常。\n胆囊未见异常。\n【检查结论】:\n未见异常"),
              std::string::npos)
        << text;
    EXPECT_EQ(form->ExamFolder(), images + "/0001");

    // C1.JPG and c2.jpg, and the unreadable c3.jpg as a placeholder; a1.jpg is no thumbnail.
    const std::vector<TImage*>& thumbs = form->Thumbnails();
    ASSERT_EQ(thumbs.size(), 3u);
    for (std::size_t i = 0; i < thumbs.size(); ++i) {
        EXPECT_EQ(thumbs[i]->Left(), 2 + 108 * static_cast<int>(i));
        EXPECT_EQ(thumbs[i]->Width(), 106);
        EXPECT_EQ(thumbs[i]->Height(), 80);
        EXPECT_TRUE(thumbs[i]->Stretch());
        ASSERT_NE(thumbs[i]->Picture().Graphic(), nullptr);
    }
    EXPECT_EQ(thumbs[2]->Picture().Graphic()->Width(), 106) << "the placeholder";

    // The zoom window gets the full picture.
    form->ThumbnailDblClick(thumbs[0]);
    ASSERT_NE(form->ImageForm().fd_image->Picture().Graphic(), nullptr);
    EXPECT_EQ(form->ImageForm().fd_image->Picture().Graphic()->Width(), 640);

    // Play opens only a selected video.
    std::vector<std::string> opened;
    TScopedLinkOpener opener([&](const std::string& link) {
        opened.push_back(link);
        return true;
    });
    ASSERT_EQ(form->FilmLIst->Items().Count(), 1);
    form->Play_buttonClick(nullptr);
    EXPECT_TRUE(opened.empty());
    form->FilmLIst->SetItemIndex(0);
    form->Play_buttonClick(nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{images + "/0001/scan.avi"});
}

TEST_F(ExamOpen, AMissingImageRootIsAskedForOncePerExam) {
    TIniFile(IniPath()).WriteString("Image", "ImagePath", dir + "/nowhere");
    Start();
    TRecordingReporter::DialogAnswer chosen;
    chosen.Confirmed = true;
    chosen.FileName = images;
    reporter->QueueDialogAnswer(chosen);
    OpenExam();
    EXPECT_EQ(reporter->Dialogs.size(), 1u);
    EXPECT_EQ(form->ExamFolder(), images + "/0001");
    EXPECT_EQ(form->Thumbnails().size(), 3u);

    // Nothing chosen: a warning, and the configured root stays.
    OpenExam();
    EXPECT_EQ(reporter->Dialogs.size(), 2u);
    ASSERT_EQ(reporter->Boxes.size(), 1u);
    EXPECT_EQ(reporter->Boxes[0].Text, "你没有选取任何目录！");
    EXPECT_EQ(reporter->Boxes[0].Caption, "WARNING");
    EXPECT_EQ(form->ExamFolder(), dir + "/nowhere/0001");
    EXPECT_TRUE(form->Thumbnails().empty());
}

TEST_F(ExamOpen, TheArchiveIsOnlyRead) {
    const std::string db = dir + "/exams.db";
    const std::string before = ReadAll(db);
    const auto time = std::filesystem::last_write_time(db);
    Start();
    OpenExam();
    EXPECT_ANY_THROW(DM->Mconnect->Execute("update patient set name = 'x'"));
    Stop();
    EXPECT_EQ(ReadAll(db), before);
    EXPECT_EQ(std::filesystem::last_write_time(db), time);
}

TEST_F(ExamOpen, TheViewButtonsPickThePage) {
    Start();
    form->Check_View_All->SetChecked(true);
    OpenExam();
    EXPECT_EQ(form->LxPageControl1->ActivePageIndex(), 1);
    form->Check_View_Report->SetChecked(true);
    form->Check_View_ReportClick(nullptr);
    EXPECT_EQ(form->LxPageControl1->ActivePageIndex(), 0);
}

} // namespace
