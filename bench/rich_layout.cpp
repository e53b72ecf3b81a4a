// Rich text layout: a 3 KB exam report (headings, bold findings, mixed Chinese and Latin
// paragraphs) measured at 600 dpi as a rich view measures its height, then laid out and drawn
// into a recording at the same reference, as a rich view renders itself.

#include <cstdio>
#include <string>

#include "platform/graphics/font_measurer.h"
#include "platform/graphics/metafile.h"
#include "platform/richedit/rich_document.h"
#include "timing.h"

namespace {

void makeReport(TRichDocument& doc) {
    const std::u16string paragraphs[] = {
        u"超声检查报告 Ultrasound Report",
        u"检查部位：肝、胆、胰、脾、双肾 Region: upper abdomen",
        u"肝脏大小正常，包膜光滑，实质回声均匀，肝内血管走行清晰。The liver is normal in size "
        u"with smooth margins and homogeneous echotexture; no focal lesion is seen.",
        u"胆囊壁不厚，腔内未见明显异常回声。CBD 4 mm, portal vein 11 mm, flow hepatopetal.",
        u"胰腺显示清晰，主胰管未见扩张。双肾形态大小正常，集合系统未见分离，未见结石声影。",
        u"脾脏厚径 35 mm，实质回声均匀。No free fluid in the abdomen or pelvis.",
        u"诊断意见 Impression:",
        u"1. 肝、胆、胰、脾、双肾未见明显异常。 2. Unremarkable upper abdomen.",
        u"建议：定期复查。Follow-up as clinically indicated. 报告医师：张医生 审核：李医生",
    };
    std::u16string text;
    for (int copy = 0; copy < 4; ++copy)
        for (const auto& p : paragraphs)
            text += p + u"\r";
    text.pop_back();
    doc.ReplaceSelection(text);
    TRichCharFormat face;
    face.Mask = TRichCharFormat::cfmFace | TRichCharFormat::cfmSize;
    face.Face = "SimSun";
    face.HeightTwips = 210;
    doc.SetSelection(0, -1);
    doc.SetCharFormat(TRichDocument::scSelection, face);
    TRichCharFormat heading;
    heading.Mask = TRichCharFormat::cfmBold | TRichCharFormat::cfmSize;
    heading.Bold = true;
    heading.HeightTwips = 320;
    for (int i = 0; i < doc.ParagraphCount(); i += 9) {
        doc.SetSelection(doc.ParagraphStart(i), doc.ParagraphStart(i) + doc.ParagraphLength(i));
        doc.SetCharFormat(TRichDocument::scSelection, heading);
    }
    TRichParaFormat indent;
    indent.Mask = TRichParaFormat::pfmStartIndent | TRichParaFormat::pfmSpaceAfter;
    indent.StartIndent = 420;
    indent.SpaceAfter = 60;
    doc.SetSelection(doc.ParagraphStart(2), doc.ParagraphStart(6));
    doc.SetParaFormat(indent);
}

} // namespace

int main() {
    TRichDocument doc;
    makeReport(doc);
    std::printf("document: %zu bytes UTF-8, %d paragraphs\n", Utf16ToUtf8Lenient(doc.Text()).size(),
                doc.ParagraphCount());

    // 180 x 250 mm of page at 600 dpi.
    TRichFormatRange measure;
    measure.DpiX = measure.DpiY = 600;
    measure.Rect = {0, 0, 10205, 15000000};
    doc.FormatRange(measure); // warm the glyph caches

    std::vector<double> measured, drawn;
    int bottom = 0;
    std::size_t records = 0;
    for (int run = 0; run < 30; ++run) {
        auto t = Clock::now();
        bottom = doc.FormatRange(measure).BottomTwips;
        measured.push_back(Ms(t));

        TRecordingCanvas canvas(4252, 5906, 600, 600);
        TRichFormatRange draw = measure;
        draw.Target = &canvas;
        draw.Rect = {0, 0, 10205, 14173};
        t = Clock::now();
        doc.FormatRange(draw);
        drawn.push_back(Ms(t));
        records = canvas.Recording().TextRecords().size();
    }
    std::printf("measure: median %.2f ms (bottom %d twips)\n", Median(measured), bottom);
    std::printf("draw:    median %.2f ms (%zu text records)\n", Median(drawn), records);
    return 0;
}
