#include "app/exam_report.h"

std::string ReportTemplateName(std::string_view repFormat) {
    std::string name(repFormat);
    for (std::size_t at = name.find(kReportFormatPrefix); at != std::string::npos;
         at = name.find(kReportFormatPrefix, at))
        name.erase(at, kReportFormatPrefix.size());
    return name;
}

int TemplatePictureCount(std::string_view templateName) {
    std::string name(templateName);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (name.size() != 8 || name.compare(4, 4, ".pg3") != 0) return 0;
    if (name.compare(0, 3, "a4p") != 0 && name.compare(0, 3, "b5p") != 0) return 0;
    const char digit = name[3];
    return digit >= '1' && digit <= '6' ? digit - '0' : 0;
}

std::string CleanExportName(std::string_view baseName) {
    std::string out(baseName);
    for (char& c : out)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    return out;
}
