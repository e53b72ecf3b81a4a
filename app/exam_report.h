#pragma once
// The rules behind an exam's report: which template the record names, how many exam pictures
// that template holds, and the file name its exports offer.

#include <string>
#include <string_view>

// The fixed folder the archives' template paths begin with.
inline constexpr std::string_view kReportFormatPrefix = "D:\\kelvdata\\reportformat\\";

// The record's template path without the fixed folder (every occurrence, letter case as
// written): the name to look up in the template folder.
std::string ReportTemplateName(std::string_view repFormat);

// The number of exam pictures the template holds: N for "a4pN.pg3" and "b5pN.pg3" (N = 1 to
// 6, letter case ignored), 0 for any other name.
int TemplatePictureCount(std::string_view templateName);

// The name exports offer for a report: "/", "\" and control characters become "_", so that a
// short date such as "2010/9/19" does not point into folders; everything else stays.
std::string CleanExportName(std::string_view baseName);
