#include "objects/rich_view.h"

#include <cmath>
#include <unordered_map>

#include "engine/printers.h"
#include "objects/rich_edit.h"
#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "report/data_set.h"
#include "report/registries.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/utils.h"

namespace {

// Report units (96 per inch) to twips.
int Twips(double units) {
    return static_cast<int>(std::nearbyint(units * 1440 / 96));
}

void LoadBytes(TQvRichEdit& control, const std::string& bytes) {
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    control.Lines().LoadFromStream(stream);
}

std::string SaveBytes(TQvRichEdit& control) {
    TMemoryStream stream;
    control.Lines().SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()),
                       static_cast<std::size_t>(stream.Size()));
}

// Appends paragraphs [first, last) of `from` to `into`, with the pictures and objects they use.
void AppendParagraphs(TRichContent& into, const TRichContent& from, std::size_t first,
                      std::size_t last) {
    std::unordered_map<int, int> pictures, objects;
    auto entry = [](auto& map, int index, const auto& table, auto& intoTable) {
        if (index < 0 || index >= static_cast<int>(table.size())) return -1;
        auto [at, added] = map.emplace(index, static_cast<int>(intoTable.size()));
        if (added) intoTable.push_back(table[static_cast<std::size_t>(index)]);
        return at->second;
    };
    for (std::size_t i = first; i < last && i < from.Paragraphs.size(); ++i) {
        TRichParagraph para = from.Paragraphs[i];
        for (TRichRun& run : para.Runs) {
            run.Picture = entry(pictures, run.Picture, from.Pictures, into.Pictures);
            run.Object = entry(objects, run.Object, from.Objects, into.Objects);
        }
        into.Paragraphs.push_back(std::move(para));
    }
}

// The paragraphs that surely hold a page's text start at this many characters; a head that
// fits whole grows. A page takes a few thousand.
constexpr std::size_t kHeadUnits = 8192;

} // namespace

TpgwRichView::TpgwRichView(TComponent* owner)
    : TpgwStretcheable(owner), control_(std::make_unique<TQvRichEdit>(nullptr)) {
    control_->SetAutoURLDetect(false);
}

TpgwRichView::~TpgwRichView() {
    SetFlowTo(nullptr);
}

void TpgwRichView::RegisterProperties(TClassBuilder<TpgwRichView>& b) {
    using R = TpgwRichView;
    b.Add("AllowExpressions", TypeInfoBoolean(), &R::AllowExpressions, &R::SetAllowExpressions)
        .Default(1);
    b.Add("ExpressionDelimiters", TypeInfoString(), &R::ExpressionDelimiters,
          &R::SetExpressionDelimiters)
        .Stored(&R::IsExpressionDelimitersStored);
    b.Add("FlowTo", TypeInfoOfClass(TpgwRichView::StaticClass()), &R::FlowTo, &R::SetFlowTo);
    b.Add("GapX", TypeInfoExtended(), &R::GapX, &R::SetGapX);
    b.Add("GapY", TypeInfoExtended(), &R::GapY, &R::SetGapY);
    b.Add("Wysiwyg", TypeInfoBoolean(), &R::Wysiwyg, &R::SetWysiwyg).Default(1);
    PublishViewProperties(b, {"BrushStyle", "Color", "Cursor", "DataField", "DataSet",
                              "DataSetName", "Frame", "TagStr", "URL"});
}

std::string TpgwRichView::ClassDescription() const {
    return GetResources().GetText("obRich");
}

void TpgwRichView::DefineProperties(TFiler& filer) {
    TpgwStretcheable::DefineProperties(filer);
    // Written for every view, also an empty one.
    filer.DefineBinaryProperty(
        "RichEdit", [this](TStream& s) { control_->Lines().LoadFromStream(s); },
        [this](TStream& s) { control_->Lines().SaveToStream(s); }, true);
}

void TpgwRichView::SetFlowTo(TpgwRichView* value) {
    if (value == this) value = nullptr;
    if (flowTo_ == value) return;
    if (flowTo_) flowTo_->RemoveFreeNotification(this);
    flowTo_ = value;
    if (flowTo_) flowTo_->FreeNotification(this);
}

void TpgwRichView::Notification(TComponent* component, TOperation operation) {
    TpgwStretcheable::Notification(component, operation);
    if (operation == TOperation::opRemove && component && component == flowTo_) flowTo_ = nullptr;
}

// ---- reference device and layout ---------------------------------------------------------------

bool TpgwRichView::UsesPrinterDevice() const {
    if (!wysiwyg_) return false;
    TpgwPrinters* printers = GetPrinters();
    return printers && printers->PrintersInstalled() && printers->Printer();
}

int TpgwRichView::referenceDpiX() const {
    return UsesPrinterDevice() ? std::max(1, GetPrinters()->Printer()->DPI().X) : 96;
}

int TpgwRichView::referenceDpiY() const {
    return UsesPrinterDevice() ? std::max(1, GetPrinters()->Printer()->DPI().Y) : 96;
}

TRecording TpgwRichView::RenderToMetafile() const {
    const int dpiX = referenceDpiX(), dpiY = referenceDpiY();
    const int width = static_cast<int>(std::nearbyint(dpiX * Width() / 96));
    const int height = static_cast<int>(std::nearbyint(dpiY * Height() / 96));
    TRecordingCanvas canvas(std::max(width, 1), std::max(height, 1), dpiX, dpiY);
    TRichFormatRange range;
    range.Target = &canvas;
    range.DpiX = dpiX;
    range.DpiY = dpiY;
    range.Rect = {Twips(gapX_), Twips(gapY_), Twips(Width() - gapX_), Twips(Height() - gapY_)};
    control_->Document().FormatRange(range);
    return canvas.TakeRecording();
}

void TpgwRichView::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                        double offsetY) {
    BeginDraw(canvas, scaleX, scaleY, offsetX, offsetY);
    DrawBackground();
    if (Width() > 0 && Height() > 0) {
        const TRecording picture = RenderToMetafile();
        picture.Play(canvas, {X(), Y(), X1(), Y1()});
    }
    DrawFrame();
}

double TpgwRichView::CalcHeight() {
    const TRichDocument& document = control_->Document();
    if (document.Length() == 0) return 0;
    TRichFormatRange range;
    range.DpiX = referenceDpiX();
    range.DpiY = referenceDpiY();
    range.Rect = {0, 0, Twips(Width() - 2 * gapX_), 15000000};
    const TRichFormatResult r = document.FormatRange(range);
    return std::nearbyint(r.BottomTwips / 15.0) + 2 * gapY_ + 2;
}

void TpgwRichView::ResetParts() {
    pending_ = control_->Document().Content();
    midParagraph_ = false;
}

double TpgwRichView::TakeFittingPart(bool atLeastOneLine) {
    TRichDocument& document = control_->Document();
    TRichFormatRange range;
    range.DpiX = referenceDpiX();
    range.DpiY = referenceDpiY();
    range.Rect = {0, 0, Twips(Width() - 2 * gapX_), Twips(Height() - 2 * gapY_)};
    // Only a head of the pending paragraphs goes into the document, so that a long text is not
    // loaded again for every page: lines depend on their own paragraph only, so what fits is
    // the same as with the whole text. A head that fits whole while more waits grows.
    const std::size_t paragraphs = pending_.Paragraphs.size();
    std::size_t take = 0, units = 0, want = kHeadUnits;
    TRichFormatResult r;
    for (;;) {
        for (; take < paragraphs && (units < want || take == 0); ++take)
            for (const TRichRun& run : pending_.Paragraphs[take].Runs)
                units += run.Text.size() + 1;
        if (take >= paragraphs) {
            document.SetContent(pending_);
        } else {
            TRichContent head;
            head.DefaultFormat = pending_.DefaultFormat;
            head.CodePage = pending_.CodePage;
            AppendParagraphs(head, pending_, 0, take);
            document.SetContent(head);
        }
        document.SetSelection(0, 0);
        if (midParagraph_) {
            // The continued paragraph starts at the left edge, as a cut line would.
            control_->Paragraph().SetFirstIndent(0);
            control_->Paragraph().SetLeftIndent(0);
        }
        r = document.FormatRange(range);
        if (take >= paragraphs || r.NextChar < document.Length()) break;
        want *= 2;
    }
    double result = std::nearbyint((range.Rect.Bottom - r.BottomTwips) / 15.0) + 2 * gapY_ + 0.1;
    // A first line (or picture) taller than an empty page is kept, cut off at the bottom, so
    // that the pages stay bounded; elsewhere an object that does not fit moves on whole.
    if (result < 0 && !(atLeastOneLine && r.NextChar > 0)) return Height();

    const int length = document.Length();
    const int n = r.NextChar;
    if (n > 1 && n <= length) midParagraph_ = document.TextRange(n - 1, n) != u"\r";
    if (n >= length) {
        // Only the closing paragraph mark is left over: everything fitted.
        pending_ = TRichContent();
        return result < 0 ? result : 0;
    }
    document.SetSelection(n, length);
    TRichContent rest = document.Content(true);
    AppendParagraphs(rest, pending_, take, paragraphs);
    pending_ = std::move(rest);
    document.ReplaceSelection(u"", false);
    return result;
}

// ---- output ------------------------------------------------------------------------------------

void TpgwRichView::SaveForPrint() {
    TpgwStretcheable::SaveForPrint();
    kept_ = SaveBytes(*control_);
}

void TpgwRichView::RestoreAfterPrint() {
    LoadBytes(*control_, kept_);
    if (receivedFlow_) {
        // The flow switched substitution off for one output; the template's value comes back.
        allowExpressions_ = templateAllowExpressions_;
        receivedFlow_ = false;
    }
    TpgwStretcheable::RestoreAfterPrint();
}

void TpgwRichView::receiveFlow(const TRichContent& content) {
    if (!receivedFlow_) templateAllowExpressions_ = allowExpressions_;
    receivedFlow_ = true;
    control_->Document().SetContent(content);
    allowExpressions_ = false;
}

void TpgwRichView::FetchData() {
    TpgwStretcheable::FetchData();
    if (HasDataField()) {
        TMemoryStream stream;
        if (DataSet()->IsBlobField(DataField())) {
            DataSet()->CopyBlobTo(DataField(), stream);
        } else {
            const Variant value = DataSet()->GetValue(DataField());
            const std::string text =
                value.IsNull() || value.IsEmpty() ? std::string() : value.AsString();
            stream.Write(text.data(), static_cast<std::int64_t>(text.size()));
        }
        stream.SetPosition(0);
        control_->Lines().LoadFromStream(stream);
    }
    if (allowExpressions_) substitute();
    if (flowTo_) {
        ResetParts();
        TakeFittingPart();
        flowTo_->receiveFlow(pending_);
    }
}

void TpgwRichView::substitute() {
    const std::size_t comma = expressionDelimiters_.find(',');
    if (comma == std::string::npos) return;
    const std::u16string open = Utf8ToUtf16(expressionDelimiters_.substr(0, comma));
    const std::u16string close = Utf8ToUtf16(expressionDelimiters_.substr(comma + 1, 255));
    if (open.empty()) return;
    TpgwCustomReport* report = Report();
    if (!report) return;
    TRichDocument& document = control_->Document();
    control_->Lines().BeginUpdate();
    struct EndUpdate {
        TQvRichEdit& control;
        ~EndUpdate() { control.Lines().EndUpdate(); }
    } endUpdate{*control_};

    // Positions are those of the document (a paragraph break is one character), so an
    // expression that encloses a break is replaced exactly, without reaching past it.
    std::u16string text = document.Text();
    std::size_t at = text.find(open);
    while (at != std::u16string::npos) {
        std::u16string expression;
        std::size_t start = at, end = at;
        ExtractExpressionW(text, open, close, expression, end, start);
        const Variant value = report->Calc(Utf16ToUtf8(expression));
        const std::u16string valueText =
            Utf8ToUtf16(value.IsNull() || value.IsEmpty() ? std::string() : value.AsString());
        document.SetSelection(static_cast<int>(start), static_cast<int>(end + 1));
        document.ReplaceSelection(valueText, false);
        text = document.Text();
        // The inserted value is not searched again.
        at = text.find(open, start + valueText.size());
    }
}

void TpgwRichView::ExportText(std::string& text) {
    if (!ExportAsPlainText()) {
        text = SaveBytes(*control_);
        return;
    }
    const std::string rich = SaveBytes(*control_);
    control_->SetPlainText(true);
    try {
        text = SaveBytes(*control_);
    } catch (...) {
        control_->SetPlainText(false);
        LoadBytes(*control_, rich);
        throw;
    }
    control_->SetPlainText(false);
    LoadBytes(*control_, rich);
}

void RegisterRichViewClasses() {
    RegisterRichEditClasses();
    RegisterClasses<TpgwRichView>();
    GetRegisteredObjects().RegisterObject(TpgwRichView::StaticClass(), nullptr, 0, 26);
}
