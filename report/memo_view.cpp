#include "report/memo_view.h"

#include <algorithm>
#include <cmath>

#include "platform/core/date_time.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/font_measurer.h"
#include "report/module_startup.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/styles.h"
#include "report/variables.h"
#include "report/xml_document.h"

namespace {

constexpr int kDefaultCharset = 1;
constexpr std::size_t kMaxDelimiter = 255;
constexpr std::size_t kMaxFormatStr = 255;

const char* boolText(bool value) {
    return value ? "1" : "0";
}

bool hasSide(const TpgwFrame& frame, TpgwFrameType side) {
    return (frame.Typ() & FrameSide(side)) != 0;
}

// A non-string value that equals 0 (numbers, dates, False).
bool isZeroValue(const Variant& value) {
    if (value.IsString() || value.IsNull() || value.IsEmpty() || value.IsArray()) return false;
    try {
        return value == Variant(0);
    } catch (const std::exception&) {
        return false;
    }
}

// Position of needle in text, ASCII letters compared without case.
std::size_t findNoCase(std::u16string_view text, std::u16string_view needle) {
    auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    if (needle.empty() || text.size() < needle.size()) return std::u16string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && upper(text[i + k]) == upper(needle[k]))
            ++k;
        if (k == needle.size()) return i;
    }
    return std::u16string_view::npos;
}

std::size_t findNoCase(std::string_view text, std::string_view needle) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
    if (needle.empty() || text.size() < needle.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && upper(text[i + k]) == upper(needle[k]))
            ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

// The temporary format of a " #" spec: N numeric (every ",", "-" or "." becomes the decimal
// separator, the last one winning, and reads as "."), D or T date-time, B Boolean.
void parseFormatSpec(std::string spec, TpgwFormat& format) {
    const char kind = spec.empty() ? '\0' : spec[0];
    switch (kind) {
    case 'N':
    case 'n':
        format.SetKind(fkNumeric);
        for (char& c : spec) {
            if (c == ',' || c == '-' || c == '.') {
                format.SetDecimalSeparator(std::string(1, c));
                c = '.';
            }
        }
        break;
    case 'D':
    case 'd':
    case 'T':
    case 't':
        format.SetKind(fkDateTime);
        break;
    case 'B':
    case 'b':
        format.SetKind(fkBoolean);
        break;
    default:
        break;
    }
    format.SetFormatStr(spec.empty() ? std::string() : spec.substr(1, kMaxFormatStr));
}

// Swaps the platform's separators for the format's own in one pass, so that a decimal
// separator that equals the platform's thousand separator is not swapped a second time.
void applySeparators(std::string& text, const TpgwFormat& format) {
    const TFormatSettings& fs = FormatSettings();
    const bool decimal = format.DecimalSeparator().size() == 1 &&
                         format.DecimalSeparator()[0] != fs.DecimalSeparator;
    const bool thousand = format.ThousandSeparator().size() == 1 &&
                          format.ThousandSeparator()[0] != fs.ThousandSeparator;
    if (!decimal && !thousand) return;
    for (char& c : text) {
        if (decimal && c == fs.DecimalSeparator)
            c = format.DecimalSeparator()[0];
        else if (thousand && c == fs.ThousandSeparator)
            c = format.ThousandSeparator()[0];
    }
}

std::string plainText(const Variant& value) {
    try {
        return VarToStr(value);
    } catch (const std::exception&) {
        return {};
    }
}

// Text of the font's character set read as the legacy code page, reinterpreted in the code
// page of charset (data whose bytes were stored for the font).
std::u16string reinterpretForCharset(std::u16string_view text, int charset) {
    try {
        const std::string bytes = Utf8ToCodePageLossy(Utf16ToUtf8Lenient(text), kAnsiCodePage);
        return Utf8ToUtf16Lenient(CodePageToUtf8Lossy(bytes, CharsetToCodePage(charset)));
    } catch (const std::exception&) {
        return std::u16string(text);
    }
}

} // namespace

const TTypeInfo& TpgwHAlignType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwHAlign", {"haLeft", "haRight", "haCenter", "haBlock"});
    return t;
}

const TTypeInfo& TpgwVAlignType() {
    static const TTypeInfo& t = DefineEnumType("TpgwVAlign", {"vaTop", "vaBottom", "vaCenter"});
    return t;
}

// ---- TpgwCustomMemoView
// --------------------------------------------------------------------------

TpgwCustomMemoView::TpgwCustomMemoView(TComponent* owner)
    : TpgwStretcheable(owner), memo_(std::make_unique<TWideStrings>()),
      displayFormat_(std::make_unique<TpgwFormat>()),
      highlight_(std::make_unique<TpgwHighlight>()) {
    SetObjectTraits(ObjectTraits() & ~TpgwObjectTraits::DiffAgainstDefault);
    SetParentFont(true);
}

TpgwCustomMemoView::~TpgwCustomMemoView() {
    SetFlowTo(nullptr);
}

void TpgwCustomMemoView::SetMemo(TWideStrings* value) {
    if (value && value != memo_.get()) memo_->Assign(*value);
}

void TpgwCustomMemoView::SetDisplayFormat(TpgwFormat* value) {
    if (value && value != displayFormat_.get()) displayFormat_->Assign(value);
}

void TpgwCustomMemoView::SetHighlight(TpgwHighlight* value) {
    if (value && value != highlight_.get()) highlight_->Assign(value);
}

void TpgwCustomMemoView::SetFlowTo(TpgwCustomMemoView* value) {
    // A memo flowing into itself would take back what did not fit.
    if (value == this) value = nullptr;
    if (flowTo_ == value) return;
    if (flowTo_) flowTo_->RemoveFreeNotification(this);
    flowTo_ = value;
    if (flowTo_) flowTo_->FreeNotification(this);
}

void TpgwCustomMemoView::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component && component == flowTo_) flowTo_ = nullptr;
    TpgwStretcheable::Notification(component, operation);
}

void TpgwCustomMemoView::SetStyle(const std::string& value) {
    style_ = value;
    if (auto* report = dynamic_cast<TpgwReport*>(Report()); report && report->Styles())
        ApplyStyleItem(report->Styles()->Find(value));
}

void TpgwCustomMemoView::ApplyStyleItem(const TpgwStyleItem* item) {
    if (!item) return;
    SetColor(item->Color());
    SetFont(item->Font());
    if (auto* frame = dynamic_cast<TpgwFrame*>(item->Frame())) SetFrame(frame);
}

std::string TpgwCustomMemoView::Text() const {
    return Utf16ToUtf8Lenient(memo_->Text());
}

void TpgwCustomMemoView::SetText(const std::string& value) {
    memo_->SetText(Utf8ToUtf16Lenient(value));
}

std::string TpgwCustomMemoView::AnsiText() const {
    return WideToAnsi(memo_->Text(), Font()->Charset(), 0);
}

void TpgwCustomMemoView::SetAnsiText(const std::string& value) {
    memo_->SetText(AnsiToWide(value, Font()->Charset(), 0));
}

bool TpgwCustomMemoView::convertCharset() const {
    return Font()->Charset() != kDefaultCharset && !useDefaultCharset_;
}

bool TpgwCustomMemoView::designing() const {
    if (HasState(csDesigning)) return true;
    auto* report = dynamic_cast<TpgwReport*>(Report());
    return report && report->Designer() != nullptr;
}

TpgwTextDrawing* TpgwCustomMemoView::textDrawing() const {
    return TextDrawingFor(Report());
}

// ---- formatting

std::string TpgwCustomMemoView::FormatValue(const Variant& value, const TpgwFormat* format) const {
    if (value.IsNull()) return {};
    const TpgwFormat& f = format ? *format : *displayFormat_;
    try {
        switch (f.Kind()) {
        case fkText:
            break;
        case fkNumeric: {
            const std::string& picture = f.FormatStr();
            std::string text;
            if (picture.find('#') != std::string::npos)
                text = FormatFloat(picture, value.AsDouble());
            else if (picture.find_first_of("du") != std::string::npos)
                text = Format(picture, {value.AsInteger()});
            else
                text = Format(picture, {value.AsDouble()});
            applySeparators(text, f);
            return text;
        }
        case fkDateTime:
            return FormatDateTime(f.FormatStr(), value.AsDate());
        case fkBoolean: {
            const std::string& choices = f.FormatStr();
            const std::size_t comma = choices.find(',');
            if (value == Variant(true))
                return comma == std::string::npos ? std::string()
                                                  : choices.substr(comma + 1, kMaxFormatStr);
            return choices.substr(0, comma);
        }
        }
    } catch (const std::exception&) {
        // A picture or value that does not format prints as plain text.
    }
    return plainText(value);
}

std::u16string TpgwCustomMemoView::evaluateBracket(const std::string& text) {
    TpgwFormat specFormat;
    bool hasSpec = false;
    std::string_view expression = text;
    if (const std::size_t mark = text.find(" #"); mark != std::string::npos) {
        // A ")" after the mark belongs to a call, not to a format.
        if (text.find(')', mark + 2) == std::string::npos) {
            parseFormatSpec(text.substr(mark + 2), specFormat);
            expression = std::string_view(text).substr(0, mark);
            hasSpec = true;
        }
    }
    Variant value;
    if (expression.size() == 11 && findNoCase(expression, "TOTALPAGES#") == 0) {
        value = Variant("[TotalPages#]");
    } else if (expression.size() == 9 && findNoCase(expression, "COPYNAME#") == 0) {
        value = Variant("[CopyName#]");
    } else if (TpgwCustomReport* report = Report()) {
        value = report->Calc(std::string(expression));
    } else {
        value = Variant::Null();
    }
    value_ = value;
    if (hideZeros_ && isZeroValue(value)) return {};
    return Utf8ToUtf16Lenient(FormatValue(value, hasSpec ? &specFormat : nullptr));
}

void TpgwCustomMemoView::expandExpressions() {
    const std::size_t comma = expressionDelimiters_.find(',');
    if (comma == std::string::npos || comma == 0) return;
    const std::u16string open =
        Utf8ToUtf16Lenient(expressionDelimiters_.substr(0, std::min(comma, kMaxDelimiter)));
    const std::u16string close =
        Utf8ToUtf16Lenient(expressionDelimiters_.substr(comma + 1, kMaxDelimiter));
    if (close.empty()) return;
    const std::u16string text = memo_->Text();
    std::size_t start = text.find(open);
    if (start == std::u16string::npos) return;

    std::u16string result;
    result.reserve(text.size());
    std::size_t done = 0;
    std::u16string expression;
    while (start != std::u16string::npos) {
        std::size_t end = start;
        try {
            ExtractExpressionW(text, open, close, expression, end, start);
        } catch (const EConvertError&) {
            // Never closed: the rest is text as it stands, not an expression.
            break;
        }
        if (end == start) break;
        result.append(text, done, start - done);
        result += evaluateBracket(Utf16ToUtf8Lenient(expression));
        done = end + 1;
        start = text.find(open, done);
    }
    result.append(text, done, std::u16string::npos);
    memo_->SetText(result);
}

// ---- output

void TpgwCustomMemoView::SaveForPrint() {
    TpgwStretcheable::SaveForPrint();
    if (!HasDataField()) savedLines_.Assign(*memo_);
}

void TpgwCustomMemoView::RestoreAfterPrint() {
    TpgwStretcheable::RestoreAfterPrint();
    if (!HasDataField()) memo_->Assign(savedLines_);
}

void TpgwCustomMemoView::fetchField() {
    TpgwDataSet* dataSet = DataSet();
    const std::string& field = DataField();
    const bool convert = convertCharset();
    if (dataSet->IsBlobField(field)) {
        TMemoryStream stream;
        dataSet->CopyBlobTo(field, stream);
        const std::uint8_t* data = stream.Memory();
        const std::int64_t size = stream.Size();
        const bool unicode = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
        if (convert && !unicode) {
            std::u16string text;
            try {
                text = AnsiToWide(
                    std::string_view(reinterpret_cast<const char*>(data), std::size_t(size)),
                    Font()->Charset(), 0);
            } catch (const std::exception&) {
                text = Utf8ToUtf16Lenient(CodePageToUtf8Lossy(
                    std::string_view(reinterpret_cast<const char*>(data), std::size_t(size))));
            }
            memo_->SetText(text);
        } else {
            stream.SetPosition(0);
            memo_->LoadFromStream(stream);
        }
        return;
    }
    value_ = dataSet->GetValue(field);
    std::u16string text;
    if (displayFormat_->Kind() != fkText) {
        text = Utf8ToUtf16Lenient(FormatValue(value_));
    } else {
        text = dataSet->GetDisplayText(field);
        if (convert) text = reinterpretForCharset(text, Font()->Charset());
    }
    if (hideZeros_ && isZeroValue(value_)) text.clear();
    memo_->SetText(text);
}

void TpgwCustomMemoView::FetchData() {
    TpgwStretcheable::FetchData();
    if (HasDataField())
        fetchField();
    else if (allowExpressions_)
        expandExpressions();
    // The highlight condition may name the shown value as "Value".
    if (TpgwCustomReport* report = Report()) report->SetScriptValue(value_);

    highlight_->SetActive(false);
    if (!highlight_->Condition().empty()) {
        if (TpgwCustomReport* report = Report()) {
            const Variant active = report->Calc(highlight_->Condition());
            bool on = false;
            try {
                on = !active.IsNull() && !active.IsEmpty() && active.AsBool();
            } catch (const std::exception&) {
                on = false; // a condition that gives no Boolean leaves the highlight off
            }
            highlight_->SetActive(on);
        }
    }

    if (suppressRepeated_) {
        const Variant text(Utf16ToUtf8Lenient(memo_->Text()));
        if (lastPrintedText_.IsString() && lastPrintedText_.StringValue() == text.StringValue())
            memo_->Clear();
        else
            lastPrintedText_ = text;
    }

    if (flowTo_) {
        ResetParts();
        TakeFittingPart();
        flowTo_->memo_->SetText(pendingPart_);
        flowTo_->SetAllowExpressions(false);
    }
}

void TpgwCustomMemoView::ExpandPageMacros() {
    if (!allowExpressions_) return;
    std::u16string text = memo_->Text();
    bool changed = false;
    if (const std::size_t at = findNoCase(text, u"[TOTALPAGES#]"); at != std::u16string::npos) {
        text.replace(at, 13, Utf8ToUtf16Lenient(IntToStr(TotalPages)));
        changed = true;
    }
    if (const std::size_t at = findNoCase(text, u"[COPYNAME#]"); at != std::u16string::npos) {
        std::string name;
        TpgwVariables& globals = GlobalVariables();
        if (globals.IndexOf("CopyName") >= 0)
            name = plainText(globals.Variables("CopyName")) + IntToStr(CopyNo);
        text.replace(at, 11, Utf8ToUtf16Lenient(name));
        changed = true;
    }
    if (changed) memo_->SetText(text);
}

void TpgwCustomMemoView::ExportText(std::string& text) {
    text = Text();
    if (!allowExpressions_) return;
    if (const std::size_t at = findNoCase(std::string_view(text), "[TOTALPAGES]");
        at != std::string::npos)
        text.replace(at, 12, IntToStr(TotalPages));
}

std::u16string TpgwCustomMemoView::OutputText(bool wrapped) {
    TpgwTextDrawing* td = textDrawing();
    if (!td) return memo_->Text();
    TpgwTextDrawingLock lock(*td);
    setUpDrawing(*td);
    const TRect layout = layoutRect();
    td->SetDimensions(layout, layout, 1, 1, 1);
    td->SetText(*memo_);
    td->ClearParagraphFlags(firstParaBreak_, lastParaBreak_);
    return wrapped ? td->GetWrappedText() : td->StripTags(memo_->Text());
}

std::string TpgwCustomMemoView::ChangedAttributes(TpgwComponent* reference) {
    std::string text = TpgwStretcheable::ChangedAttributes(reference);
    auto* ref = dynamic_cast<TpgwCustomMemoView*>(reference);
    if (ref) {
        if (autoWidth_ != ref->autoWidth_) AddAttribute(text, "AutoWidth", boolText(autoWidth_));
        if (AttributeDiffers(charSpacing_, ref->charSpacing_))
            AddAttribute(text, "CharSpacing", FloatToStr(charSpacing_));
        if (AttributeDiffers(gapX_, ref->gapX_)) AddAttribute(text, "GapX", FloatToStr(gapX_));
        if (AttributeDiffers(gapY_, ref->gapY_)) AddAttribute(text, "GapY", FloatToStr(gapY_));
        if (hAlign_ != ref->hAlign_) AddAttribute(text, "HAlign", std::to_string(hAlign_));
        if (highlight_->Active() != ref->highlight_->Active())
            AddAttribute(text, "Highlight.Active", boolText(highlight_->Active()));
        if (AttributeDiffers(lineSpacing_, ref->lineSpacing_))
            AddAttribute(text, "LineSpacing", FloatToStr(lineSpacing_));
        if (useDefaultCharset_ != ref->useDefaultCharset_)
            AddAttribute(text, "UseDefaultCharset", boolText(useDefaultCharset_));
    }
    std::u16string lines;
    for (int i = 0; i < memo_->Count(); ++i) {
        if (i > 0) lines += u"\r\n";
        lines += memo_->StringRef(i);
    }
    AddAttribute(text, "u", EncodeXMLText(Utf16ToUtf8Lenient(lines)));
    if (ref) {
        if (AttributeDiffers(paragraphGap_, ref->paragraphGap_))
            AddAttribute(text, "ParagraphGap", FloatToStr(paragraphGap_));
        if (rotation_ != ref->rotation_) AddAttribute(text, "Rotation", std::to_string(rotation_));
        if (rtlReading_ != ref->rtlReading_) AddAttribute(text, "RTLReading", boolText(rtlReading_));
        if (underlines_ != ref->underlines_) AddAttribute(text, "Underlines", boolText(underlines_));
        if (vAlign_ != ref->vAlign_) AddAttribute(text, "VAlign", std::to_string(vAlign_));
        if (wordWrap_ != ref->wordWrap_) AddAttribute(text, "WordWrap", boolText(wordWrap_));
    }
    if (firstParaBreak_) AddAttribute(text, "FirstParaBreak", "1");
    if (lastParaBreak_) AddAttribute(text, "LastParaBreak", "1");
    // The next part of the same text continues the paragraph this one was cut in.
    firstParaBreak_ = lastParaBreak_;
    lastParaBreak_ = false;
    return text;
}

// ---- measuring and drawing

double TpgwCustomMemoView::horizontalExtra() const {
    const TpgwFrame& frame = *Frame();
    const double w = frame.Width();
    double extra = 2 * gapX_;
    if (hasSide(frame, ftLeft)) extra += (w - 1) / 2;
    if (hasSide(frame, ftRight)) extra += w / 2;
    if (frame.DropShadow()) extra += frame.ShadowWidth();
    return extra;
}

double TpgwCustomMemoView::verticalExtra() const {
    const TpgwFrame& frame = *Frame();
    const double w = frame.Width();
    double extra = 2 * gapY_;
    if (hasSide(frame, ftTop)) extra += (w - 1) / 2;
    if (hasSide(frame, ftBottom)) extra += w / 2;
    if (frame.DropShadow()) extra += frame.ShadowWidth();
    return extra;
}

TRect TpgwCustomMemoView::textRectFor(double scaleX, double scaleY, int x, int y, int x1,
                                      int y1) const {
    const TpgwFrame& frame = *Frame();
    const double w = frame.Width();
    if (hasSide(frame, ftLeft)) x += RoundToPixel((scaleX * w - 1) / 2);
    if (hasSide(frame, ftRight)) x1 -= RoundToPixel(scaleX * w / 2);
    if (hasSide(frame, ftTop)) y += RoundToPixel((scaleY * w - 1) / 2);
    if (hasSide(frame, ftBottom)) y1 -= RoundToPixel(scaleY * w / 2);
    const int gx = RoundToPixel(scaleX * gapX_);
    const int gy = RoundToPixel(scaleY * gapY_);
    return TRect{x + gx, y + gy, x1 - gx + 1, y1 - gy + 1};
}

TRect TpgwCustomMemoView::layoutRect() const {
    // BeginDraw's arithmetic at scale 1 and offset 0, without touching the drawing state.
    const double left = AbsLeft(), top = AbsTop();
    int x1 = RoundToPixel(left + Width());
    int y1 = RoundToPixel(top + Height());
    if (Frame()->DropShadow()) {
        x1 -= RoundToPixel(Frame()->ShadowWidth());
        y1 -= RoundToPixel(Frame()->ShadowWidth());
    }
    return textRectFor(1, 1, RoundToPixel(left), RoundToPixel(top), x1, y1);
}

void TpgwCustomMemoView::BeginDraw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                                   double offsetY) {
    TpgwStretcheable::BeginDraw(canvas, scaleX, scaleY, offsetX, offsetY);
    textRect_ = textRectFor(scaleX, scaleY, x_, y_, x1_, y1_);
}

void TpgwCustomMemoView::setUpDrawing(TpgwTextDrawing& td) const {
    td.SetUseDefaultCharset(useDefaultCharset_);
    td.SetFont(highlight_->Active() ? *highlight_->Font() : *Font());
    td.SetOptions(wordWrap_, allowHTMLTags_, rtlReading_, wordBreak_, clipped_, wysiwyg_,
                  rotation_);
    td.SetSpacing(paragraphGap_, charSpacing_, lineSpacing_);
}

void TpgwCustomMemoView::prepareDrawText(TpgwTextDrawing& td, TCanvas& canvas, double scaleX,
                                         double scaleY, double offsetX, double offsetY) {
    setUpDrawing(td);
    if (autoWidth_ && !designing()) {
        const TRect all{0, 0, 10000, 10000};
        td.SetDimensions(all, all, 1, 1, 1);
        td.SetText(*memo_);
        const double oldWidth = Width();
        const double newWidth = td.CalcWidth() + horizontalExtra();
        SetWidth(newWidth);
        if (hAlign_ == haRight)
            SetLeft(Left() + oldWidth - newWidth);
        else if (hAlign_ == haCenter)
            SetLeft(Left() + (oldWidth - newWidth) / 2);
        if (TpgwComponent* parent = Parent()) parent->AlignChildren();
    }
    BeginDraw(canvas, scaleX, scaleY, offsetX, offsetY);
    const TRect device = textRect_;
    const TRect layout = layoutRect();
    td.SetDimensions(layout, device, scaleX, scaleY, DrawingForPrint() ? PrintScale : 1);
    td.SetText(*memo_);
    td.ClearParagraphFlags(firstParaBreak_, lastParaBreak_);
}

void TpgwCustomMemoView::drawUnderlines(TpgwTextDrawing& td) {
    const double step = td.LineHeight() * scaleY_;
    if (!(step > 0)) return;
    TPenData pen;
    pen.Color = Frame()->Color();
    pen.Width = fw_;
    pen.Style = psSolid;
    pen.Mode = pmCopy;
    canvas_->Pen().SetData(pen);
    for (double y = y_ + (gapY_ - lineSpacing_ + 1) * scaleY_ + step; y < y1_; y += step) {
        const int at = RoundToPixel(y);
        canvas_->MoveTo(x_, at);
        canvas_->LineTo(x1_, at);
    }
}

void TpgwCustomMemoView::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                              double offsetY) {
    if (!designing()) {
        ExpandPageMacros();
    } else if (HasDataField()) {
        SetText("[" + DataSetName() + ".\"" + DataField() + "\"]");
    }
    const TColor savedColor = Color();
    struct ColorBack {
        TpgwCustomMemoView& memo;
        TColor color;
        ~ColorBack() { memo.SetColor(color); }
    } colorBack{*this, savedColor};
    if (highlight_->Active()) SetColor(highlight_->Color());

    TpgwTextDrawing* td = textDrawing();
    if (!td) {
        TpgwStretcheable::Draw(canvas, scaleX, scaleY, offsetX, offsetY);
        return;
    }
    TpgwTextDrawingLock lock(*td);
    prepareDrawText(*td, canvas, scaleX, scaleY, offsetX, offsetY);
    TpgwStretcheable::Draw(canvas, scaleX, scaleY, offsetX, offsetY);
    if (underlines_ && rotation_ == 0) drawUnderlines(*td);
    td->DrawText(canvas, hAlign_, vAlign_);
}

double TpgwCustomMemoView::CalcHeight() {
    TpgwTextDrawing* td = textDrawing();
    if (!td) return TpgwStretcheable::CalcHeight();
    TpgwTextDrawingLock lock(*td);
    setUpDrawing(*td);
    const TRect rect = autoWidth_ ? TRect{0, 0, 10000, 10000} : layoutRect();
    td->SetDimensions(rect, rect, 1, 1, 1);
    td->SetText(*memo_);
    td->ClearParagraphFlags(firstParaBreak_, lastParaBreak_);
    return static_cast<double>(Round(td->CalcHeight() + verticalExtra()));
}

double TpgwCustomMemoView::CalcWidth() {
    TpgwTextDrawing* td = textDrawing();
    if (!td) return Width();
    TpgwTextDrawingLock lock(*td);
    setUpDrawing(*td);
    const TRect all{0, 0, 10000, 10000};
    td->SetDimensions(all, all, 1, 1, 1);
    td->SetText(*memo_);
    td->ClearParagraphFlags(firstParaBreak_, lastParaBreak_);
    return static_cast<double>(Round(td->CalcWidth() + horizontalExtra()));
}

void TpgwCustomMemoView::ResetParts() {
    pendingPart_ = memo_->Text();
    firstParaBreak_ = false;
    lastParaBreak_ = false;
}

double TpgwCustomMemoView::TakeFittingPart(bool atLeastOneLine) {
    TpgwTextDrawing* td = textDrawing();
    if (!td) return 0;
    const TColor savedColor = Color();
    struct ColorBack {
        TpgwCustomMemoView& memo;
        TColor color;
        ~ColorBack() { memo.SetColor(color); }
    } colorBack{*this, savedColor};
    memo_->SetText(pendingPart_);
    TpgwTextDrawingLock lock(*td);
    setUpDrawing(*td);
    TRect layout = layoutRect();
    // The layout grows to one line so that the split keeps it; the growth is given back.
    double grown = 0;
    if (atLeastOneLine) {
        td->SetDimensions(layout, layout, 1, 1, 1);
        const int line = static_cast<int>(std::ceil(td->LineHeight()));
        if (layout.Bottom - layout.Top + 1 < line) {
            grown = line - (layout.Bottom - layout.Top + 1);
            layout.Bottom = layout.Top + line - 1;
        }
    }
    td->SetDimensions(layout, layout, 1, 1, 1);
    td->SetText(*memo_);
    td->ClearParagraphFlags(firstParaBreak_, lastParaBreak_);
    bool cutInsideParagraph = false;
    std::u16string rest;
    td->SplitAtBottom(cutInsideParagraph, rest);
    pendingPart_ = std::move(rest);
    memo_->SetText(td->GetSourceText());
    lastParaBreak_ = cutInsideParagraph;
    const double space = td->SpaceBelowLines();
    if (atLeastOneLine) return space - grown;
    return space == 0 ? Height() : space;
}

// ---- TpgwMemoView
// --------------------------------------------------------------------------------

namespace {

template <class C> void publishMemoProperties(TClassBuilder<C>& b, bool full) {
    using M = TpgwCustomMemoView;
    auto memo = [](TObject& o) -> M& { return static_cast<M&>(o); };
    if (full) {
        b.Add("AllowExpressions", TypeInfoBoolean(), &M::AllowExpressions, &M::SetAllowExpressions)
            .Default(1);
        b.Add("AllowHTMLTags", TypeInfoBoolean(), &M::AllowHTMLTags, &M::SetAllowHTMLTags)
            .Default(0);
    }
    b.Add("AutoWidth", TypeInfoBoolean(), &M::AutoWidth, &M::SetAutoWidth).Default(0);
    b.Add("CharSpacing", TypeInfoExtended(), &M::CharSpacing, &M::SetCharSpacing)
        .Stored([memo](TObject& o) { return memo(o).CharSpacing() != 0; });
    if (full) {
        b.Add("Clipped", TypeInfoBoolean(), &M::Clipped, &M::SetClipped).Default(1);
        b.Add("ExpressionDelimiters", TypeInfoString(), &M::ExpressionDelimiters,
              &M::SetExpressionDelimiters)
            .Stored([memo](TObject& o) { return memo(o).ExpressionDelimiters() != "[,]"; });
        b.Add("FlowTo", TypeInfoOfClass(TpgwCustomMemoView::StaticClass()), &M::FlowTo,
              &M::SetFlowTo);
    }
    b.Add("DisplayFormat", TypeInfoOfClass(TpgwFormat::StaticClass()), &M::DisplayFormat,
          &M::SetDisplayFormat);
    b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
          &TpgwComponent::SetFont)
        .Stored(&TpgwComponent::IsFontStored);
    b.Add("GapX", TypeInfoExtended(), &M::GapX, &M::SetGapX).Stored([memo](TObject& o) {
        return memo(o).GapX() != 2;
    });
    b.Add("GapY", TypeInfoExtended(), &M::GapY, &M::SetGapY).Stored([memo](TObject& o) {
        return memo(o).GapY() != 1;
    });
    b.Add("HAlign", TpgwHAlignType(), &M::HAlign, &M::SetHAlign).Default(haLeft);
    b.Add("HideZeros", TypeInfoBoolean(), &M::HideZeros, &M::SetHideZeros).Default(0);
    b.Add("Highlight", TypeInfoOfClass(TpgwHighlight::StaticClass()), &M::Highlight,
          &M::SetHighlight)
        .Stored([memo](TObject& o) { return !Trim(memo(o).Highlight()->Condition()).empty(); });
    if (full) {
        b.Add("LineSpacing", TypeInfoExtended(), &M::LineSpacing, &M::SetLineSpacing)
            .Stored([memo](TObject& o) { return memo(o).LineSpacing() != 2; });
    }
    b.Add("Memo", TypeInfoOfClass(TWideStrings::StaticClass()), &M::Memo, &M::SetMemo);
    if (full) {
        b.Add("ParagraphGap", TypeInfoExtended(), &M::ParagraphGap, &M::SetParagraphGap)
            .Stored([memo](TObject& o) { return memo(o).ParagraphGap() != 0; });
    }
    b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont,
          &TpgwComponent::SetParentFont)
        .Default(1);
    b.Add("Rotation", TypeInfoInteger(), &M::Rotation, &M::SetRotation).Default(0);
    b.Add("RTLReading", TypeInfoBoolean(), &M::RTLReading, &M::SetRTLReading).Default(0);
    b.Add("Style", TypeInfoString(), &M::Style, &M::SetStyle);
    b.Add("SuppressRepeated", TypeInfoBoolean(), &M::SuppressRepeated, &M::SetSuppressRepeated)
        .Default(0);
    if (full) {
        b.Add("Underlines", TypeInfoBoolean(), &M::Underlines, &M::SetUnderlines).Default(0);
        b.Add("UseDefaultCharset", TypeInfoBoolean(), &M::UseDefaultCharset,
              &M::SetUseDefaultCharset)
            .Default(0);
    }
    b.Add("VAlign", TpgwVAlignType(), &M::VAlign, &M::SetVAlign).Default(vaTop);
    if (full) {
        b.Add("WordBreak", TypeInfoBoolean(), &M::WordBreak, &M::SetWordBreak).Default(0);
    }
    b.Add("WordWrap", TypeInfoBoolean(), &M::WordWrap, &M::SetWordWrap).Default(1);
    if (full) {
        b.Add("Wysiwyg", TypeInfoBoolean(), &M::Wysiwyg, &M::SetWysiwyg).Default(1);
        b.Add("FirstParaBreak", TypeInfoBoolean(), &M::FirstParaBreak, &M::SetFirstParaBreak)
            .Default(0);
        b.Add("LastParaBreak", TypeInfoBoolean(), &M::LastParaBreak, &M::SetLastParaBreak)
            .Default(0);
        TpgwView::PublishViewProperties(b, {"BrushStyle", "Color", "Cursor", "DataField", "DataSet",
                                            "DataSetName", "Frame", "TagStr", "URL"});
    } else {
        TpgwView::PublishViewProperties(b, {"BrushStyle", "Color", "Frame"});
    }
}

} // namespace

TpgwMemoView::TpgwMemoView(TComponent* owner) : TpgwCustomMemoView(owner) {}
TpgwMemoView::~TpgwMemoView() = default;

void TpgwMemoView::RegisterProperties(TClassBuilder<TpgwMemoView>& b) {
    publishMemoProperties(b, true);
}

std::string TpgwMemoView::ClassDescription() const {
    return GetResources().GetText("obText");
}

TpgwSysMemoView::TpgwSysMemoView(TComponent* owner) : TpgwCustomMemoView(owner) {}
TpgwSysMemoView::~TpgwSysMemoView() = default;

void TpgwSysMemoView::RegisterProperties(TClassBuilder<TpgwSysMemoView>& b) {
    publishMemoProperties(b, false);
}

std::string TpgwSysMemoView::ClassDescription() const {
    return GetResources().GetText("obSysText");
}

void RegisterMemoClasses() {
    RegisterClasses<TpgwCustomMemoView, TpgwMemoView, TpgwSysMemoView>();
}
