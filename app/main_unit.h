#pragma once
// The values the exam browser keeps for the whole run, and the names of its settings file.

#include <string>

struct TMainUnitValues {
    std::string ExeFolder;       // folder of the executable, with a trailing separator
    std::string DbFile;          // the exam database file
    std::string ImageRoot;       // root folder of the archived exam images
    std::string ReportFormatDir; // folder of the report templates
    std::string HospitalName;    // printed on every report
    std::string LogoFile;        // the report's logo picture
    std::string ExportBaseName;  // file name the exports offer
    bool RichWysiwyg = false;    // rich-text objects of the report
};

// The process's values (the main window and the data module share them).
TMainUnitValues& MainUnit();

namespace lumetra_ini {
inline constexpr const char* kFileName = "lumetra.ini";
inline constexpr const char* kImage = "Image";
inline constexpr const char* kImagePath = "ImagePath";
inline constexpr const char* kDb = "db";
inline constexpr const char* kDbFile = "dbfile";
inline constexpr const char* kAutorun = "autorun";
inline constexpr const char* kCross = "cross";
inline constexpr const char* kReport = "Report";
inline constexpr const char* kRptfmt = "Rptfmt";
inline constexpr const char* kHospital = "医院名称";
inline constexpr const char* kNote = "说明";
inline constexpr const char* kNoteKey = "作用";
inline constexpr const char* kNoteText = "本文件仅用作备份文件离线查看用";

inline constexpr const char* kDefaultImagePath = "F:\\20100919\\kelvdata\\病人图像";
inline constexpr const char* kDefaultDbFile = "F:\\20100919\\kelvdata\\data\\csdata.mdb";
inline constexpr const char* kDefaultLogo = "cross.bmp";
inline constexpr const char* kDefaultRptfmt = "F:\\20100919\\kelvdata\\release\\reportformat";
inline constexpr const char* kDefaultHospital = "青禾镇康宁医院";
} // namespace lumetra_ini
