#pragma once
// One input through the RTF codec and the properties every input must keep, shared by the
// mutation test and the libFuzzer target: read, and when it reads, sound indices and text,
// and a write that reads back to the very same bytes when written again.

#include <string>
#include <string_view>

#include "platform/core/exception.h"
#include "platform/core/text.h"
#include "platform/richedit/rich_content.h"

namespace rtf_check {

// The first broken property, or "" when the input passed.
inline std::string Fault(std::string_view input) {
    TRichContent content;
    std::string error;
    if (!ReadRtf(input, content, &error)) return error.empty() ? "refused without a reason" : "";
    if (content.Paragraphs.empty()) return "no paragraph";
    for (const TRichParagraph& p : content.Paragraphs) {
        for (const TRichRun& r : p.Runs) {
            if (r.Picture >= static_cast<int>(content.Pictures.size()))
                return "picture index out of range";
            if (r.Object >= static_cast<int>(content.Objects.size()))
                return "object index out of range";
            if (r.Text.empty()) return "empty run";
            try {
                Utf16ToUtf8(r.Text);
            } catch (const Exception& e) {
                return "run text is not valid UTF-16: " + e.Message();
            }
        }
    }
    const std::string written = WriteRtf(content);
    if (content.Objects.empty())
        for (const char c : written)
            if (static_cast<unsigned char>(c) >= 0x80) return "written RTF is not 7-bit";
    TRichContent again;
    if (!ReadRtf(written, again, &error)) return "written RTF does not read: " + error;
    if (WriteRtf(again) != written) return "written RTF does not write back the same";
    return "";
}

} // namespace rtf_check
