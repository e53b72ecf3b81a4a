#pragma once
// The ultrasound report templates of the demo archive and the logo they print.
//
// Each template reads the exam through the data set "db" that the exam browser offers (one
// record, the fields of the table patient under their own names); the browser fills the memo
// "hostname", the picture "logo" and the pictures "Picture1" ... "PictureN" before they print.

#include <string>
#include <vector>

// a4p1.pg3 ... a4p6.pg3, b5p1.pg3 ... b5p6.pg3 and custom.pg3 (no pictures, A4).
std::vector<std::string> DemoTemplateNames();

// Writes every template of DemoTemplateNames into folder. Errors are raised.
void WriteDemoTemplates(const std::string& folder);

// The logo: a red cross on white, 64 x 64, as a 24-bit BMP file.
void WriteDemoLogo(const std::string& path);
