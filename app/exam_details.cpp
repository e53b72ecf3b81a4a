#include "app/exam_details.h"

#include "platform/core/files.h"
#include "platform/data/data_set.h"
#include "platform/data/field.h"

namespace {

struct Line {
    const char* Label;
    const char* Field;          // none for a heading
    const char* Unit = nullptr; // a second field written right after the first
};

// The labels keep their full-width brackets and inner blanks; the colon is ASCII.
constexpr Line kLines[] = {
    {"【超 声 号】:", "csid"},
    {"【 姓  名 】:", "name"},
    {"【 性  别 】:", "sex"},
    {"【 年  龄 】:", "age", "ageunit"},
    {"【送检科室】:", "songjianpart"},
    {"【病人来源】:", "patientsource"},
    {"【 床  号 】:", "bednum"},
    {"【住 院 号】:", "zhuyuannum"},
    {"【门 诊 号】:", "menzhennum"},
    {"【申请医生】:", "shenqingdoc"},
    {"【检查医生】:", "jianchadoc"},
    {"【报告医生】:", "baogaodoc"},
    {"【审核医生】:", "shenhedoc"},
    {"【 建  议 】:", "jianyi"},
    {"【阴 阳 性】:", "yinyangxing"},
    {"【设备型号】:", "shebeixinghao"},
    {"【报告日期】:", "baogaoriqi"},
    // The report time stands under the date's label.
    {"【报告日期】:", "baogaoshijian"},
    {"【检查部位】:", "jianchapart"},
    {"【随访记录】:", "suifang"},
    {"【 地  址 】:", "dizhi"},
    {"【 电  话 】:", "telnum"},
    {"【 婚  否 】:", "hunfou"},
    {"【月经末期】(*仅女性患者):", "yuejingmoqi"},
    {"【 孕  次 】(*仅女性患者):", "yunci"},
    {"【 产  次 】(*仅女性患者):", "canci"},
    {"【社 保 号】:", "shebalhao"},
    {"【 民  族 】:", "minzu"},
    {"【临床诊断】:", "linchuanzhenduan"},
};

std::string text(const TDataSet& record, const char* name) {
    const TField* field = record.FindField(name);
    return field ? field->AsString() : std::string();
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace

std::vector<std::string> ExamDetailsLines(const TDataSet& record) {
    std::vector<std::string> lines;
    lines.push_back(std::string(24, ' ') + "病人详细资料" + std::string(10, ' '));
    for (const Line& l : kLines)
        lines.push_back(l.Label + text(record, l.Field) + (l.Unit ? text(record, l.Unit) : ""));
    lines.push_back("【检查所见】:");
    lines.push_back(text(record, "jinchasuojian"));
    lines.push_back("【检查结论】:");
    lines.push_back(text(record, "jianchajielun"));
    return lines;
}

std::string ExamFolderName(std::string_view imagePath) {
    // The last component: a path whose pieces repeat ("D:\x\y\x\z") or that names a share
    // ("\\server\share\0001") still gives its own folder.
    std::size_t start = imagePath.size();
    while (start > 0 && !isSeparator(imagePath[start - 1]))
        --start;
    return std::string(imagePath.substr(start));
}

std::string ExeParentFolder(std::string_view exeFolder) {
    std::string folder(exeFolder);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::size_t cut = folder.find_last_of('/');
    if (cut == std::string::npos) return "../";
    return folder.substr(0, cut + 1);
}

std::vector<std::string> ThumbnailFiles(const std::string& folder) {
    std::vector<std::string> files;
    TSearchRec rec;
    // Entries come in the order the folder lists them; folders never match a picture.
    for (int found = FindFirst(folder + "/c*.jpg", faAnyFile, rec); found == 0;
         found = FindNext(rec))
        if (!(rec.Attr & faDirectory)) files.push_back(rec.Name);
    FindClose(rec);
    return files;
}

TRect ZoomImageRect(int w, int h) {
    int width = 0, height = 0;
    if (h > 0 && static_cast<double>(w) / h <= 4.0 / 3.0) {
        width = w - 20;
        height = width * 3 / 4;
    } else {
        height = h - 20;
        width = height * 4 / 3;
    }
    const int left = (w - width) / 2 - 5;
    const int top = (h - height) / 2 - 10;
    return {left, top, left + width, top + height};
}
