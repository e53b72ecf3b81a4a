// An opened exam's details text, image folder, thumbnails and zoom-window place.

#include "app/exam_details.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/exam_schema.h"
#include "app/image_form.h"
#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"
#include "platform/data/field.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/extra_controls.h"

namespace {

TEST(ExamFolder, TheLastComponentOfTheImagePath) {
    struct Case {
        const char* path;
        const char* folder;
    };
    for (const Case c : {Case{R"(D:\exam\2010exam\0001)", "0001"}, Case{R"(D:\x\y\x\z)", "z"},
                         Case{R"(\\server\share\0001)", "0001"}, Case{R"(D:\exam\)", ""},
                         Case{"0001", "0001"}, Case{"", ""}})
        EXPECT_EQ(ExamFolderName(c.path), c.folder) << c.path;
}

TEST(ExamFolder, TheProgramsParentFolder) {
    EXPECT_EQ(ExeParentFolder("/opt/lumetra/bin/"), "/opt/lumetra/");
    EXPECT_EQ(ExeParentFolder("/opt/lumetra/bin"), "/opt/lumetra/");
    EXPECT_EQ(ExeParentFolder("/bin"), "/");
}

TEST(ExamFolder, ThumbnailsAreTheCPicturesWhateverTheirCase) {
    const TempDir dir;
    for (const char* name : {"C1.JPG", "c2.jpg", "a1.jpg", "c3.png", "rpt1.jpg"})
        TempDir::WriteAll(dir / name, "x");
    std::filesystem::create_directories(dir / "c4.jpg");
    std::vector<std::string> files = ThumbnailFiles(dir.Path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"C1.JPG", "c2.jpg"}));
    EXPECT_TRUE(ThumbnailFiles(dir / "missing").empty());
}

TEST(ZoomWindow, ThePictureIsFourByThreeAndCentred) {
    struct Case {
        int w, h;
        TRect image;
    };
    for (const Case c : {Case{502, 407, {5, 13, 487, 374}}, Case{800, 400, {142, 0, 648, 380}}}) {
        const TRect r = ZoomImageRect(c.w, c.h);
        EXPECT_EQ(r.Left, c.image.Left) << c.w << "x" << c.h;
        EXPECT_EQ(r.Top, c.image.Top) << c.w << "x" << c.h;
        EXPECT_EQ(r.Width(), c.image.Width()) << c.w << "x" << c.h;
        EXPECT_EQ(r.Height(), c.image.Height()) << c.w << "x" << c.h;
    }
}

TEST(ZoomWindow, TheWindowPlacesItsPictureAsItIsResizedAndKeepsACopy) {
    Tfd_imageform zoom(nullptr);
    EXPECT_TRUE(zoom.StayOnTop());
    auto bounds = [&] {
        const TImage& i = *zoom.fd_image;
        return std::vector<int>{i.Left(), i.Top(), i.Width(), i.Height()};
    };
    EXPECT_EQ(bounds(), (std::vector<int>{5, 13, 482, 361}));
    zoom.SetBounds(zoom.Left(), zoom.Top(), 800, 400);
    EXPECT_EQ(bounds(), (std::vector<int>{142, 0, 506, 380}));

    TPicture source;
    source.Bitmap().SetSize(640, 480);
    zoom.ShowPicture(source);
    source.Bitmap().SetSize(10, 10);
    ASSERT_NE(zoom.fd_image->Picture().Graphic(), nullptr);
    EXPECT_EQ(zoom.fd_image->Picture().Graphic()->Width(), 640);
}

TEST(ExamDetails, LabelledLinesOfTheRecord) {
    const TempDir dir;
    TADOConnection db(nullptr);
    db.SetConnectionString("Provider=SQLite;Data Source=" + (dir / "exams.db"));
    db.Execute(ExamTableDDL());
    db.Execute("insert into patient (id, csid, name, sex, age, ageunit, baogaoriqi, "
               "jinchasuojian, jianchajielun) values (1, '260001', '张伟', '男', 45, '岁', "
               "'2026-12-01 00:00:00', '肝脏大小正常。\r\n胆囊未见异常。', '未见异常')");
    TADOQuery q(nullptr);
    q.SetConnection(&db);
    q.SQL().SetText("select * from patient");
    q.Open();
    const std::vector<std::string> lines = ExamDetailsLines(q);
    ASSERT_EQ(lines.size(), 34u);
    EXPECT_EQ(lines[0], std::string(24, ' ') + "病人详细资料" + std::string(10, ' '));
    EXPECT_EQ(lines[1], "【超 声 号】:260001");
    EXPECT_EQ(lines[2], "【 姓  名 】:张伟");
    EXPECT_EQ(lines[4], "【 年  龄 】:45岁");
    EXPECT_EQ(lines[7], "【 床  号 】:") << "a null field is empty";
    EXPECT_EQ(lines[17], "【报告日期】:" + q.FieldByName("baogaoriqi")->AsString());
    EXPECT_EQ(lines[18], "【报告日期】:") << "the time under the date's label";
    EXPECT_EQ(lines[24], "【月经末期】(*仅女性患者):");
    EXPECT_EQ(lines[30], "【检查所见】:");
    EXPECT_EQ(lines[31], "肝脏大小正常。\r\n胆囊未见异常。");
    EXPECT_EQ(lines[32], "【检查结论】:");
    EXPECT_EQ(lines[33], "未见异常");
}

} // namespace
