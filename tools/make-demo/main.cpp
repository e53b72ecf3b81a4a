// make-demo: makes a demo exam archive for the exam browser and points a "lumetra.ini" at it.
//
//   make-demo DEMO_FOLDER INI_FOLDER
//
// DEMO_FOLDER receives exams.db (a SQLite archive with the table patient), the image folders
// under 病人图像 (c*.jpg thumbnails, rpt1-6.jpg report pictures, a short .avi) and the report
// templates in reportformat; INI_FOLDER (the folder of the lumetra executable) receives
// lumetra.ini and the report logo cross.bmp.
// The exams' report dates count back from today, so the default query lists most of them.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/exam_schema.h"
#include "platform/core/date_time.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/ini_file.h"
#include "platform/core/safe_file.h"
#include "platform/data/ado.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "tools/make-demo/avi_writer.h"
#include "tools/make-demo/report_templates.h"

namespace {

struct DemoExam {
    const char* Name;
    const char* Sex;
    int Age;
    const char* Part;
    const char* Doctor;
    int DaysAgo;
    int Hour, Minute;
    const char* Findings;
    const char* Conclusion;
    const char* Template;
    int Pictures; // rpt*.jpg pictures, also the digit of the template
    int Thumbnails;
    bool Video;
};

const char* const kDoctors[] = {"刘海燕", "李建华"};

const DemoExam kExams[] = {
    {"张伟", "男", 45, "肝胆脾", kDoctors[0], 0, 9, 12,
     "肝脏形态大小正常，包膜光整，实质回声均匀。\r\n胆囊大小正常，壁光滑，腔内未见异常回声。\r\n"
     "脾脏大小正常。",
     "肝胆脾未见明显异常", "a4p2.pg3", 2, 4, true},
    {"王芳", "女", 32, "妇科", kDoctors[1], 0, 10, 40,
     "子宫前位，大小正常，肌层回声均匀。\r\n双侧附件区未见明显异常回声。",
     "子宫及双附件未见明显异常", "a4p1.pg3", 1, 3, false},
    {"李娜", "女", 28, "产科", kDoctors[0], 1, 14, 5,
     "宫内见一胎儿，胎心搏动规则。\r\n双顶径 8.9cm，股骨长 "
     "6.8cm。\r\n胎盘位于子宫前壁，成熟度Ⅱ级。",
     "宫内妊娠，单活胎，约34周", "a4p3.pg3", 3, 5, true},
    {"赵强", "男", 61, "泌尿系", kDoctors[1], 2, 8, 30,
     "双肾大小形态正常，集合系统未见分离。\r\n前列腺增大，约 4.8×3.9×3.6cm，内回声不均。",
     "前列腺增生", "b5p2.pg3", 2, 3, false},
    {"刘敏", "女", 54, "甲状腺", kDoctors[0], 3, 11, 18,
     "甲状腺右叶见一低回声结节，大小约 0.8×0.6cm，边界清。\r\nCDFI：结节周边见少许血流信号。",
     "甲状腺右叶低回声结节，建议随访", "a4p2.pg3", 2, 4, false},
    {"陈静", "女", 39, "乳腺", kDoctors[1], 5, 15, 45,
     "双侧乳腺腺体层结构清晰。\r\n左乳外上象限见一低回声区，大小约 1.2×0.7cm。",
     "左乳低回声区，BI-RADS 3类", "a4p4.pg3", 4, 6, true},
    {"杨磊", "男", 47, "心脏", kDoctors[0], 7, 9, 0,
     "各房室腔大小正常，室壁厚度及运动正常。\r\n各瓣膜形态及启闭未见异常。",
     "心脏结构及功能未见明显异常", "b5p1.pg3", 1, 2, false},
    {"黄丽", "女", 66, "颈部血管", kDoctors[1], 9, 16, 20,
     "双侧颈总动脉内中膜增厚，右侧约 1.1mm。\r\n右侧颈动脉分叉处见一强回声斑块，大小约 1.0×0.3cm。",
     "右侧颈动脉粥样硬化斑块形成", "a4p2.pg3", 2, 3, false},
    {"周杰", "男", 8, "腹部", kDoctors[0], 12, 10, 5,
     "右下腹见一管状结构，直径约 0.8cm，加压不可压缩。\r\n周围脂肪组织回声增强。", "考虑急性阑尾炎",
     "A4P2.PG3", 2, 2, false},
    {"吴艳", "女", 25, "妇科", kDoctors[1], 20, 13, 50,
     "子宫大小正常。\r\n左侧卵巢内见一无回声区，大小约 3.1×2.6cm，壁薄光滑。", "左侧卵巢囊肿",
     "a4p1.pg3", 1, 2, false},
    {"徐勇", "男", 52, "肝胆脾", kDoctors[0], 26, 9, 35,
     "肝脏大小正常，实质回声增粗增强，后方回声衰减。\r\n胆囊内见一强回声团，后伴声影。",
     "脂肪肝；胆囊结石", "custom.pg3", 0, 3, false},
    {"孙娟", "女", 71, "泌尿系", kDoctors[1], 45, 11, 10,
     "左肾体积缩小，实质变薄。\r\n右肾未见异常。", "左肾萎缩", "a4p2.pg3", 2, 0, false},
};

void Check(bool ok, const std::string& what) {
    if (!ok) throw EInOutError(what);
}

void WriteJpeg(const std::string& path, TBitmap& bitmap, int quality = 85) {
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(quality);
    jpeg.Assign(bitmap);
    const std::vector<std::uint8_t> bytes = jpeg.SaveToBytes();
    WriteFileAtomically(path, std::string(bytes.begin(), bytes.end()));
}

// An ultrasound-like picture: a dark field, the fan of the probe with speckle and a few
// structures, and a caption.
TBitmap DrawScan(int width, int height, int look, const std::string& caption) {
    TBitmap bmp(width, height);
    TCanvas& c = bmp.Canvas();
    c.Brush().SetColor(clBlack);
    c.FillRect(TRect{0, 0, width, height});
    const int cx = width / 2;
    const int r = height * 9 / 10;
    c.Pen().SetColor(RGB(60, 60, 60));
    c.Brush().SetColor(RGB(70 + look % 40, 70 + look % 40, 70 + look % 40));
    c.Pie(cx - r, -r + height / 12, cx + r, r + height / 12, cx + r, r, cx - r, r);
    unsigned state = 2166136261u ^ static_cast<unsigned>(look);
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int i = 0; i < width * height / 40; ++i) {
        const int x = static_cast<int>(next() % static_cast<unsigned>(width));
        const int y = static_cast<int>(next() % static_cast<unsigned>(height));
        const int dx = x - cx, dy = y - height / 12;
        if (dy <= 0 || dx * dx + dy * dy > r * r || std::abs(dx) > dy) continue;
        const int g = 90 + static_cast<int>(next() % 120);
        c.SetPixel(x, y, RGB(g, g, g));
    }
    c.Pen().SetColor(RGB(20, 20, 20));
    c.Brush().SetColor(RGB(25, 25, 25));
    const int ox = cx - width / 8 + (look * 7) % (width / 6);
    const int oy = height / 2 + (look * 5) % (height / 8);
    c.Ellipse(ox - width / 10, oy - height / 12, ox + width / 10, oy + height / 12);
    c.Brush().SetColor(RGB(220, 220, 220));
    c.Ellipse(ox + width / 12, oy + height / 10, ox + width / 12 + 8, oy + height / 10 + 6);
    c.Font().SetName("WenQuanYi Zen Hei");
    c.Font().SetHeight(-std::max(10, height / 14));
    c.Font().SetColor(RGB(230, 230, 120));
    c.SetBackgroundMode(bmTransparent);
    c.TextOut(6, 4, caption);
    return bmp;
}

void FillArchive(const std::string& temp, const std::string& imageRoot) {
    {
        TADOConnection conn(nullptr);
        conn.SetLoginPrompt(false);
        conn.SetConnectionString("Provider=SQLite;Data Source=" + temp);
        conn.Open();
        conn.Execute(ExamTableDDL());
        TADOCommand insert(nullptr);
        insert.SetConnection(&conn);
        std::string names, markers;
        for (const TExamColumn& col : ExamColumns()) {
            names += (names.empty() ? "" : ", ") + std::string("[") + col.Name + "]";
            markers += (markers.empty() ? ":" : ", :") + std::string("p_") + col.Name;
        }
        insert.SetCommandText("insert into patient (" + names + ") values (" + markers + ")");
        TParameters& p = *insert.Parameters();
        auto set = [&](const char* column, const Variant& value) {
            p.ParamByName(std::string("p_") + column)->SetValue(value);
        };
        const TDateTime today = std::floor(Date());
        conn.Execute("begin");
        int id = 0;
        for (const DemoExam& e : kExams) {
            ++id;
            for (const TExamColumn& col : ExamColumns())
                set(col.Name, Variant::Null());
            const int csid = 260000 + id;
            char folder[16];
            std::snprintf(folder, sizeof folder, "%08d", csid);
            const TDateTime when = today - e.DaysAgo + EncodeTime(e.Hour, e.Minute, 0, 0);
            set("id", id);
            set("csid", csid);
            set("name", Variant(e.Name));
            set("sex", Variant(e.Sex));
            set("age", Variant(std::to_string(e.Age)));
            set("ageunit", Variant("岁"));
            set("songjianpart", Variant(id % 3 == 0 ? "内科" : id % 3 == 1 ? "外科" : "妇产科"));
            set("patientsource", Variant(id % 2 ? "门诊" : "住院"));
            set("bednum", Variant(id % 2 ? "" : std::to_string(10 + id)));
            set("zhuyuannum", Variant(id % 2 ? "" : "ZY" + std::to_string(30000 + id)));
            set("menzhennum", Variant("MZ" + std::to_string(80000 + id)));
            set("shenqingdoc", Variant(id % 2 ? "王秀兰" : "张志强"));
            set("linchuanzhenduan", Variant(std::string(e.Part) + "检查"));
            set("jianchadoc", Variant(e.Doctor));
            set("baogaodoc", Variant(e.Doctor));
            set("shenhedoc", Variant("陈国栋"));
            set("jinchasuojian", Variant(e.Findings));
            set("jianchajielun", Variant(e.Conclusion));
            set("jianyi", Variant("定期复查"));
            set("yinyangxing", Variant(id % 4 == 0 ? "阳性" : "阴性"));
            set("shebeixinghao", Variant("US-4000"));
            set("baogaoriqi", Variant::FromDate(when));
            char time[8];
            std::snprintf(time, sizeof time, "%02d:%02d", e.Hour, e.Minute);
            set("baogaoshijian", Variant(time));
            set("jianchapart", Variant(e.Part));
            set("partnum", 1);
            set("money", 60.0 + 10 * (id % 5));
            set("imageY", Variant("Y"));
            if (e.Thumbnails > 0 || e.Pictures > 0)
                set("imagepath", Variant(std::string("D:\\kelvdata\\病人图像\\") + folder));
            set("imagenum", e.Thumbnails);
            set("rep_format", Variant(std::string("D:\\kelvdata\\reportformat\\") + e.Template));
            set("lock", 1);
            set("dizhi", Variant("青禾镇" + std::to_string(id * 3) + "号"));
            set("telnum", Variant("1380000" + std::to_string(1000 + id)));
            set("hunfou", Variant(e.Age < 20 ? "未婚" : "已婚"));
            set("minzu", Variant("汉"));
            set("jianchazhuangtai", Variant("已审核"));
            set("liushuihao", Variant("LS" + std::to_string(id)));
            set("WorkRoomName", Variant("超声一室"));
            set("DOCuser", Variant(e.Doctor));
            insert.Execute();

            if (e.Thumbnails == 0 && e.Pictures == 0) continue;
            const std::string dir = imageRoot + "/" + folder;
            Check(ForceDirectories(dir), "cannot create " + dir);
            for (int k = 1; k <= e.Thumbnails; ++k) {
                TBitmap scan =
                    DrawScan(320, 240, id * 10 + k,
                             std::string(e.Name) + " " + e.Part + " " + std::to_string(k));
                WriteJpeg(dir + "/c" + std::to_string(k) + ".jpg", scan);
            }
            for (int k = 1; k <= e.Pictures; ++k) {
                TBitmap scan = DrawScan(640, 480, id * 10 + k,
                                        std::string(e.Part) + " 图" + std::to_string(k));
                WriteJpeg(dir + "/rpt" + std::to_string(k) + ".jpg", scan);
            }
            if (e.Video) {
                std::vector<std::vector<std::uint8_t>> frames;
                for (int f = 0; f < 8; ++f) {
                    TBitmap frame = DrawScan(160, 120, id * 10 + f, std::to_string(f + 1));
                    TJPEGImage jpeg;
                    jpeg.Assign(frame);
                    frames.push_back(jpeg.SaveToBytes());
                }
                WriteFileAtomically(dir + "/" + folder + ".avi", MakeMjpegAvi(frames, 160, 120, 4));
            }
        }
        conn.Execute("commit");
    }
}

// Built under a temporary name and moved over the old archive in one step, so a failed run
// leaves the old archive (or none) and no half-built one.
void MakeArchive(const std::string& dbFile, const std::string& imageRoot) {
    const std::string temp = dbFile + ".tmp";
    DeleteFile(temp);
    try {
        FillArchive(temp, imageRoot);
    } catch (...) {
        DeleteFile(temp);
        throw;
    }
    std::error_code error;
    std::filesystem::rename(temp, dbFile, error);
    if (error) {
        DeleteFile(temp);
        throw EInOutError("cannot rename " + temp + " to " + dbFile + ": " + error.message());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-demo DEMO_FOLDER INI_FOLDER\n");
        return 2;
    }
    try {
        const std::string demo = ExpandFileName(argv[1]);
        const std::string iniFolder = ExpandFileName(argv[2]);
        Check(ForceDirectories(demo), "cannot create " + demo);
        Check(ForceDirectories(iniFolder), "cannot create " + iniFolder);
        const std::string imageRoot = demo + "/病人图像";
        const std::string reportFormat = demo + "/reportformat";
        Check(ForceDirectories(imageRoot), "cannot create " + imageRoot);
        Check(ForceDirectories(reportFormat), "cannot create " + reportFormat);
        const std::string dbFile = demo + "/exams.db";
        MakeArchive(dbFile, imageRoot);
        WriteDemoTemplates(reportFormat);
        const std::string logo = "cross.bmp";
        WriteDemoLogo(iniFolder + "/" + logo);

        // One write: the program never finds the settings half pointed at the demo.
        TMemIniFile ini(iniFolder + "/lumetra.ini");
        ini.WriteString("说明", "作用", "本文件仅用作备份文件离线查看用");
        ini.WriteString("Image", "ImagePath", imageRoot);
        ini.WriteString("db", "dbfile", dbFile);
        ini.WriteString("Report", "Rptfmt", reportFormat);
        ini.WriteString("Report", "医院名称", "示范医院超声科");
        ini.WriteString("autorun", "cross", logo);
        ini.UpdateFile();
        std::printf("demo archive: %s\nsettings: %s/lumetra.ini\n", dbFile.c_str(),
                    iniFolder.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
