#include "objects/rich_edit.h"

#include <algorithm>
#include <cmath>

#include "engine/printers.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/clipboard.h"

namespace {

// Paragraph marks are CR in the control, CR LF in its text.
std::string ToControlText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        out += c;
        if (c == u'\r') out += u'\n';
    }
    return Utf16ToUtf8(out);
}

int Twips(int points) {
    return points * 20;
}

int Points(int twips) {
    return twips / 20;
}

std::string ReadAllBytes(TStream& stream) {
    std::string bytes;
    char buffer[65536];
    for (std::int64_t n; (n = stream.Read(buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(n));
    return bytes;
}

void WriteBytes(TStream& stream, const std::string& bytes) {
    stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

} // namespace

// ---- character formats -------------------------------------------------------------------------

TQvTextAttributes::TQvTextAttributes(TQvCustomRichEdit* control, TRichDocument::Scope scope)
    : control_(control), scope_(scope) {}

TRichCharFormat TQvTextAttributes::read() const {
    return control_->Document().CharFormat(scope_);
}

void TQvTextAttributes::write(const TRichCharFormat& format) {
    control_->Document().SetCharFormat(scope_, format);
}

TFontCharset TQvTextAttributes::Charset() const {
    return read().Charset;
}

void TQvTextAttributes::SetCharset(TFontCharset value) {
    TRichCharFormat f;
    f.Mask = TRichCharFormat::cfmCharset;
    f.Charset = value;
    write(f);
}

TColor TQvTextAttributes::Color() const {
    const TRichCharFormat f = read();
    return f.AutoColor ? clWindowText : f.Color;
}

void TQvTextAttributes::SetColor(TColor value) {
    TRichCharFormat f;
    f.Mask = TRichCharFormat::cfmColor;
    f.AutoColor = value == clWindowText || value == clDefault;
    f.Color = f.AutoColor ? 0 : ColorToRGB(value);
    write(f);
}

std::string TQvTextAttributes::Name() const {
    return read().Face;
}

void TQvTextAttributes::SetName(const std::string& value) {
    TRichCharFormat f;
    f.Mask = TRichCharFormat::cfmFace;
    // The format record's face field holds 31 characters and the terminator.
    const std::u16string wide = Utf8ToUtf16(value);
    f.Face = Utf16ToUtf8(wide.substr(0, 31));
    write(f);
}

TFontStyles TQvTextAttributes::Style() const {
    const TRichCharFormat f = read();
    TFontStyles s;
    if (f.Bold) s.Include(fsBold);
    if (f.Italic) s.Include(fsItalic);
    if (f.Underline) s.Include(fsUnderline);
    if (f.StrikeOut) s.Include(fsStrikeOut);
    return s;
}

void TQvTextAttributes::SetStyle(TFontStyles value) {
    TRichCharFormat f;
    f.Mask = TRichCharFormat::cfmBold | TRichCharFormat::cfmItalic | TRichCharFormat::cfmUnderline |
             TRichCharFormat::cfmStrikeOut;
    f.Bold = value.Contains(fsBold);
    f.Italic = value.Contains(fsItalic);
    f.Underline = value.Contains(fsUnderline);
    f.StrikeOut = value.Contains(fsStrikeOut);
    write(f);
}

int TQvTextAttributes::Size() const {
    return Points(read().HeightTwips);
}

void TQvTextAttributes::SetSize(int points) {
    TRichCharFormat f;
    f.Mask = TRichCharFormat::cfmSize;
    f.HeightTwips = Twips(points);
    write(f);
}

TFontPitch TQvTextAttributes::Pitch() const {
    switch (read().PitchAndFamily & 3) {
    case 1:
        return fpFixed;
    case 2:
        return fpVariable;
    default:
        return fpDefault;
    }
}

void TQvTextAttributes::SetPitch(TFontPitch value) {
    // The format has no mask bit of its own for the pitch: it travels with the face.
    TRichCharFormat f = read();
    f.Mask = TRichCharFormat::cfmFace;
    f.PitchAndFamily =
        static_cast<std::uint8_t>((f.PitchAndFamily & ~3) | (value == fpFixed      ? 1
                                                             : value == fpVariable ? 2
                                                                                   : 0));
    write(f);
}

void TQvTextAttributes::Assign(const TPersistent* source) {
    if (const auto* font = dynamic_cast<const TFont*>(source)) {
        TRichCharFormat f;
        f.Mask = TRichCharFormat::cfmFace | TRichCharFormat::cfmSize | TRichCharFormat::cfmBold |
                 TRichCharFormat::cfmItalic | TRichCharFormat::cfmUnderline |
                 TRichCharFormat::cfmStrikeOut | TRichCharFormat::cfmColor |
                 TRichCharFormat::cfmCharset | TRichCharFormat::cfmWeight;
        f.Face = font->Name();
        f.HeightTwips = Twips(font->Size());
        f.Bold = font->Style().Contains(fsBold);
        f.Italic = font->Style().Contains(fsItalic);
        f.Underline = font->Style().Contains(fsUnderline);
        f.StrikeOut = font->Style().Contains(fsStrikeOut);
        f.AutoColor = font->Color() == clWindowText || font->Color() == clDefault;
        f.Color = f.AutoColor ? 0 : ColorToRGB(font->Color());
        f.Charset = font->Charset();
        f.Weight = f.Bold ? 700 : 400;
        write(f);
        return;
    }
    if (const auto* other = dynamic_cast<const TQvTextAttributes*>(source)) {
        TRichCharFormat f = other->read();
        f.Mask = TRichCharFormat::cfmAll;
        write(f);
        return;
    }
    TPersistent::Assign(source);
}

void TQvTextAttributes::AssignTo(TFont& font) const {
    const TRichCharFormat f = read();
    font.SetColor(f.AutoColor ? clWindowText : f.Color);
    font.SetName(f.Face);
    font.SetCharset(f.Charset);
    font.SetStyle(Style());
    font.SetSize(Points(f.HeightTwips));
}

// ---- paragraph formats -------------------------------------------------------------------------

TQvParaAttributes::TQvParaAttributes(TQvCustomRichEdit* control) : control_(control) {}

TRichParaFormat TQvParaAttributes::read() const {
    return control_->Document().ParaFormat();
}

void TQvParaAttributes::write(const TRichParaFormat& format) {
    control_->Document().SetParaFormat(format);
}

TAlignment TQvParaAttributes::Alignment() const {
    const int a = read().Alignment;
    return a == 2 ? taRightJustify : a == 3 ? taCenter : taLeftJustify;
}

void TQvParaAttributes::SetAlignment(TAlignment value) {
    TRichParaFormat f;
    f.Mask = TRichParaFormat::pfmAlignment;
    f.Alignment = static_cast<int>(value) + 1;
    write(f);
}

TNumberingStyle TQvParaAttributes::Numbering() const {
    return read().Numbering != 0 ? nsBullet : nsNone;
}

void TQvParaAttributes::SetNumbering(TNumberingStyle value) {
    // A bullet needs room to stand in front of the text.
    if (value == nsNone)
        SetLeftIndent(0);
    else if (LeftIndent() < 10)
        SetLeftIndent(10);
    TRichParaFormat f;
    f.Mask = TRichParaFormat::pfmNumbering;
    f.Numbering = value == nsBullet ? 1 : 0;
    write(f);
}

int TQvParaAttributes::FirstIndent() const {
    return Points(read().StartIndent);
}

void TQvParaAttributes::SetFirstIndent(int points) {
    TRichParaFormat f;
    f.Mask = TRichParaFormat::pfmStartIndent;
    f.StartIndent = Twips(points);
    write(f);
}

int TQvParaAttributes::LeftIndent() const {
    return Points(read().Offset);
}

void TQvParaAttributes::SetLeftIndent(int points) {
    TRichParaFormat f;
    f.Mask = TRichParaFormat::pfmOffset;
    f.Offset = Twips(points);
    write(f);
}

int TQvParaAttributes::RightIndent() const {
    return Points(read().RightIndent);
}

void TQvParaAttributes::SetRightIndent(int points) {
    TRichParaFormat f;
    f.Mask = TRichParaFormat::pfmRightIndent;
    f.RightIndent = Twips(points);
    write(f);
}

int TQvParaAttributes::Tab(int index) const {
    const TRichParaFormat f = read();
    if (index < 0 || index >= static_cast<int>(f.TabStops.size())) return 0;
    return Points(f.TabStops[static_cast<std::size_t>(index)]);
}

void TQvParaAttributes::SetTab(int index, int points) {
    if (index < 0 || index > 31) return;
    TRichParaFormat f = read();
    if (static_cast<int>(f.TabStops.size()) < index + 1)
        f.TabStops.resize(static_cast<std::size_t>(index) + 1, 0);
    f.TabStops[static_cast<std::size_t>(index)] = Twips(points);
    f.Mask = TRichParaFormat::pfmTabStops;
    write(f);
}

int TQvParaAttributes::TabCount() const {
    return static_cast<int>(read().TabStops.size());
}

void TQvParaAttributes::Assign(const TPersistent* source) {
    if (const auto* other = dynamic_cast<const TQvParaAttributes*>(source)) {
        TRichParaFormat f = other->read();
        f.Mask = TRichParaFormat::pfmAll;
        write(f);
        return;
    }
    TPersistent::Assign(source);
}

// ---- lines -------------------------------------------------------------------------------------

int TRichEditStrings::Count() const {
    const TRichDocument& d = control_->Document();
    const int count = d.ParagraphCount();
    // An empty last line is the document's final mark, not a line of its own.
    return count > 0 && d.ParagraphLength(count - 1) == 0 ? count - 1 : count;
}

std::string TRichEditStrings::Get(int index) const {
    const TRichDocument& d = control_->Document();
    const int start = d.ParagraphStart(index);
    if (start < 0) IndexError(index);
    const int length = std::min(d.ParagraphLength(index), 4096);
    return Utf16ToUtf8(d.TextRange(start, start + length));
}

void TRichEditStrings::Put(int index, std::string_view s) {
    TRichDocument& d = control_->Document();
    const int start = index < 0 ? -1 : d.ParagraphStart(index);
    if (start < 0) return;
    d.SetSelection(start, start + d.ParagraphLength(index));
    control_->internalReplace(Utf8ToUtf16(s));
}

void TRichEditStrings::InsertObject(int index, std::string_view s, TObject*) {
    TRichDocument& d = control_->Document();
    const std::u16string text = Utf8ToUtf16(s);
    if (index >= 0 && index < Count()) {
        const int start = d.ParagraphStart(index);
        d.SetSelection(start, start);
        control_->internalReplace(text + u"\r");
        return;
    }
    const int before = index - 1;
    if (before < 0 || d.ParagraphStart(before) < 0) return;
    // After an empty last line there is nothing to append to.
    if (d.ParagraphLength(before) == 0) return;
    const int end = d.ParagraphStart(before) + d.ParagraphLength(before);
    d.SetSelection(end, end);
    control_->internalReplace(u"\r" + text);
}

void TRichEditStrings::Delete(int index) {
    TRichDocument& d = control_->Document();
    const int start = index < 0 ? -1 : d.ParagraphStart(index);
    if (start < 0) return;
    const int next = d.ParagraphStart(index + 1);
    d.SetSelection(start, next >= 0 ? next : start + d.ParagraphLength(index));
    control_->internalReplace(u"");
}

void TRichEditStrings::Clear() {
    control_->Clear();
}

void TRichEditStrings::SetText(std::string_view text) {
    TRichDocument& d = control_->Document();
    auto onChange = std::move(d.OnChange);
    d.OnChange = nullptr;
    try {
        d.SetSelection(0, -1);
        control_->internalReplace(Utf8ToUtf16(text));
    } catch (...) {
        d.OnChange = std::move(onChange);
        throw;
    }
    d.OnChange = std::move(onChange);
}

void TRichEditStrings::SetUpdateState(bool updating) {
    if (!updating && control_->OnChange) control_->OnChange(control_);
}

bool TRichEditStrings::rich() const {
    if (format_ == sfRichText) return true;
    if (format_ == sfPlainText) return false;
    return !control_->PlainText();
}

void TRichEditStrings::load(std::string_view bytes, bool asRich) {
    TRichDocument& d = control_->Document();
    const bool selection = (mode_ & (1u << smSelection)) != 0;
    const unsigned flags = selection ? unsigned{TRichDocument::sfSelection} : 0u;
    const unsigned textFlags =
        flags | ((mode_ & (1u << smUnicode)) ? TRichDocument::sfUnicode : 0u);
    bool loaded = asRich ? d.LoadRtf(bytes, flags) : (d.LoadText(bytes, textFlags), true);
    // A failed load is tried once more in the other format.
    if (!loaded) loaded = asRich ? (d.LoadText(bytes, 0), true) : d.LoadRtf(bytes, 0);
    if (!loaded) throw EOutOfResources("Failed to Load Stream");
    d.SetSelection(0, 0);
}

void TRichEditStrings::LoadFromStream(TStream& stream) {
    load(ReadAllBytes(stream), rich());
}

void TRichEditStrings::SaveToStream(TStream& stream) const {
    const TRichDocument& d = control_->Document();
    unsigned flags = (mode_ & (1u << smSelection)) ? TRichDocument::sfSelection : 0u;
    if (rich()) {
        if (mode_ & (1u << smNoObjects)) flags |= TRichDocument::sfNoObjects;
        WriteBytes(stream, d.SaveRtf(flags));
    } else {
        if (mode_ & (1u << smUnicode)) flags |= TRichDocument::sfUnicode;
        WriteBytes(stream, d.SaveText(flags));
    }
}

void TRichEditStrings::LoadFromFile(const std::string& fileName) {
    const std::string ext = LowerCase(ExtractFileExt(fileName));
    TFileStream file(fileName, fmOpenRead);
    const std::string bytes = ReadAllBytes(file);
    if (ext == ".txt")
        load(bytes, false);
    else if (ext == ".rtf")
        load(bytes, true);
    else
        load(bytes, rich());
}

void TRichEditStrings::SaveToFile(const std::string& fileName) const {
    const std::string ext = LowerCase(ExtractFileExt(fileName));
    auto* self = const_cast<TRichEditStrings*>(this);
    const TRichStreamFormat kept = format_;
    if (ext == ".txt") self->format_ = sfPlainText;
    if (ext == ".rtf") self->format_ = sfRichText;
    try {
        TSafeFileWriter file(fileName);
        SaveToStream(file);
        file.Commit();
    } catch (...) {
        self->format_ = kept;
        throw;
    }
    self->format_ = kept;
}

// ---- control -----------------------------------------------------------------------------------

TQvCustomRichEdit::TQvCustomRichEdit(TComponent* owner)
    : TRichEditControl(owner), document_(&Document()),
      selAttributes_(this, TRichDocument::scSelection),
      defAttributes_(this, TRichDocument::scDefault), wordAttributes_(this, TRichDocument::scWord),
      paragraph_(this), lines_(this) {
    SetBounds(Left(), Top(), 185, 89);
    document_->SetUndoLimit(undoLimit_);
    document_->SetAutoUrlDetect(true);
    document_->OnProtected = [this](int start, int end) {
        // EN_PROTECTED, as the control reports it.
        return DoProtectChange(0x0700, start, end);
    };
}

TQvCustomRichEdit::~TQvCustomRichEdit() {
    dropAddedItems();
    document_->OnProtected = nullptr;
}

void TQvCustomRichEdit::DocumentChanged() {
    if (OnChange) OnChange(this);
}

void TQvCustomRichEdit::DocumentSelectionChanged() {
    DoSelectionChange();
}

void TQvCustomRichEdit::EditorInput(std::u16string_view text) {
    if (readOnly_) return;
    // What does not fit under the limit is not typed; a character is never cut in half.
    const int room =
        TextLimit() - (document_->Length() - (document_->SelEnd() - document_->SelStart()));
    if (!text.empty() && static_cast<int>(text.size()) > room) {
        std::size_t keep = static_cast<std::size_t>(std::max(0, room));
        if (keep > 0 && keep < text.size() && (text[keep] & 0xFC00) == 0xDC00) --keep;
        text = text.substr(0, keep);
        if (text.empty()) return;
    }
    replaceTyped(text);
}

void TQvCustomRichEdit::EditorAction(TRichEditorAction action) {
    switch (action) {
    case eaUndo:
    case eaRedo:
        if (!readOnly_) TRichEditControl::EditorAction(action);
        break;
    case eaCut:
        CutToClipboard();
        break;
    case eaCopy:
        CopyToClipboard();
        break;
    case eaPaste:
        PasteFromClipboard();
        break;
    }
}

void TQvCustomRichEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (HasEditor()) LinkMouse(button, true, CharFromPoint(x, y));
    TRichEditControl::MouseDown(button, shift, x, y);
}

void TQvCustomRichEdit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (HasEditor()) LinkMouse(button, false, CharFromPoint(x, y));
    TRichEditControl::MouseUp(button, shift, x, y);
}

void TQvCustomRichEdit::RegisterProperties(TClassBuilder<TQvCustomRichEdit>& b) {
    using C = TQvCustomRichEdit;
    b.Add("AllowInPlace", &C::AllowInPlace, &C::SetAllowInPlace).Default(1);
    b.Add("AllowObjects", &C::AllowObjects, &C::SetAllowObjects).Default(1);
    b.Add("AutoURLDetect", &C::AutoURLDetect, &C::SetAutoURLDetect).Default(1);
    b.Add("AutoVerbMenu", &C::AutoVerbMenu, &C::SetAutoVerbMenu).Default(1);
    b.Add("HideScrollBars", &C::HideScrollBars, &C::SetHideScrollBars).Default(1);
    b.Add("HideSelection", &C::HideSelection, &C::SetHideSelection).Default(1);
    b.Add("Lines", &C::LinesProp, &C::SetLines);
    b.Add("PlainText", &C::PlainText, &C::SetPlainText).Default(0);
    b.Add("SelectionBar", &C::SelectionBar, &C::SetSelectionBar).Default(1);
    b.Add("Title", TypeInfoString(), &C::Title, &C::SetTitle);
    b.Add("UndoLimit", &C::UndoLimit, &C::SetUndoLimit).Default(100);
    b.Add("WordSelection", &C::WordSelection, &C::SetWordSelection).Default(1);
    b.Add("MaxLength", &C::MaxLength, &C::SetMaxLength).Default(0);
    b.Add("ReadOnly", &C::ReadOnly, &C::SetReadOnly).Default(0);
    b.Add("WordWrap", &C::WordWrap, &C::SetWordWrap).Default(1);
}

void TQvCustomRichEdit::SetLines(TStrings* value) {
    if (value) lines_.Assign(*value);
}

int TQvCustomRichEdit::SelStart() const {
    return document_->SelStart();
}

void TQvCustomRichEdit::SetSelStart(int value) {
    document_->SetSelection(value, value);
}

int TQvCustomRichEdit::SelLength() const {
    return document_->SelEnd() - document_->SelStart();
}

void TQvCustomRichEdit::SetSelLength(int value) {
    const int start = document_->SelStart();
    document_->SetSelection(start, start + value);
}

std::string TQvCustomRichEdit::SelText() const {
    return ToControlText(document_->TextRange(document_->SelStart(), document_->SelEnd()));
}

void TQvCustomRichEdit::SetSelText(const std::string& text) {
    replaceTyped(Utf8ToUtf16(text));
}

void TQvCustomRichEdit::replaceTyped(std::u16string_view text) {
    // Typed text is undoable when there is more than one level to undo.
    if (!document_->ReplaceSelection(text, undoLimit_ > 1)) return;
    const int caret = document_->SelEnd();
    document_->SetSelection(caret, caret);
}

bool TQvCustomRichEdit::internalReplace(std::u16string_view text) {
    return document_->ReplaceSelection(text, false);
}

void TQvCustomRichEdit::SelectAll() {
    document_->SetSelection(0, -1);
}

int TQvCustomRichEdit::CaretLine() const {
    return document_->ParagraphFromChar(document_->SelEnd());
}

int TQvCustomRichEdit::CaretColumn() const {
    const int line = CaretLine();
    return document_->SelEnd() - document_->ParagraphStart(line);
}

void TQvCustomRichEdit::Clear() {
    document_->Clear();
    document_->SetModified(false);
}

std::string TQvCustomRichEdit::Text() const {
    return ToControlText(document_->Text());
}

void TQvCustomRichEdit::SetText(const std::string& text) {
    lines_.SetText(text);
}

void TQvCustomRichEdit::CopyToClipboard() {
    const int start = document_->SelStart(), end = document_->SelEnd();
    if (end <= start) return;
    int objects = 0;
    for (char16_t c : document_->TextRange(start, end))
        if (c == u'\xFFFC') ++objects;
    if (!DoSaveClipboard(objects, end - start)) return;
    const std::string rtf = document_->SaveRtf(TRichDocument::sfSelection);
    const std::string text = SelText();
    Clipboard().SetData({{"text/plain", text}, {"text/rtf", rtf}});
}

void TQvCustomRichEdit::CutToClipboard() {
    if (readOnly_) return;
    CopyToClipboard();
    SetSelText("");
}

void TQvCustomRichEdit::PasteFromClipboard() {
    if (readOnly_) return;
    TClipboard& board = Clipboard();
    if (!plainText_ && board.HasFormat("text/rtf")) {
        const std::string rtf = board.Data("text/rtf");
        if (document_->LoadRtf(rtf, TRichDocument::sfSelection)) return;
    }
    SetSelText(board.AsText());
}

void TQvCustomRichEdit::SetPlainText(bool value) {
    if (value == plainText_) return;
    plainText_ = value;
    // Switching to plain text keeps the text and drops the formatting; back keeps the text.
    if (value) document_->ClearFormatting();
}

bool TQvCustomRichEdit::AutoURLDetect() const {
    return document_->AutoUrlDetect();
}

void TQvCustomRichEdit::SetAutoURLDetect(bool value) {
    document_->SetAutoUrlDetect(value);
}

void TQvCustomRichEdit::SetUndoLimit(int value) {
    undoLimit_ = std::max(0, value);
    document_->SetUndoLimit(undoLimit_);
}

void TQvCustomRichEdit::LinkMouse(TMouseButton button, bool down, int position) {
    if (button != mbLeft && button != mbRight) return;
    const auto [start, end] = document_->LinkAt(position);
    if (down) {
        linkStart_ = start;
        linkEnd_ = end;
        linkButton_ = button;
        return;
    }
    const bool same = start >= 0 && start == linkStart_ && end == linkEnd_ && button == linkButton_;
    linkStart_ = linkEnd_ = -1;
    if (same) DoURLClick(Utf16ToUtf8(document_->TextRange(start, end)), button);
}

void TQvCustomRichEdit::DoSelectionChange() {
    if (OnSelectionChange) OnSelectionChange(this);
}

bool TQvCustomRichEdit::DoProtectChange(unsigned message, int startPos, int endPos) {
    // Without a handler protected text stays as it is.
    bool allow = false;
    if (OnProtectChangeEx)
        OnProtectChangeEx(this, message, startPos, endPos, allow);
    else if (OnProtectChange)
        OnProtectChange(this, startPos, endPos, allow);
    return allow;
}

bool TQvCustomRichEdit::DoSaveClipboard(int numObjects, int numChars) {
    bool save = true;
    if (OnSaveClipboard) OnSaveClipboard(this, numObjects, numChars, save);
    return save;
}

void TQvCustomRichEdit::DoURLClick(const std::string& url, TMouseButton button) {
    if (OnURLClick) OnURLClick(this, url, button);
}

void TQvCustomRichEdit::DoResizeRequest(const TRect& rect) {
    if (OnResizeRequest) OnResizeRequest(this, rect);
}

void TQvCustomRichEdit::DoTextNotFound(const std::string& text) {
    if (OnTextNotFound) OnTextNotFound(this, text);
}

void TQvCustomRichEdit::Print(const std::string& caption) {
    TpgwPrinters* printers = GetPrinters();
    TpgwCustomPrinter* printer = printers ? printers->Printer() : nullptr;
    if (!printer) return;
    printer->SetTitle(caption);
    // The printable part of the page, in twips.
    const auto twips = [](double mm) { return static_cast<int>(std::lround(mm * 1440 / 25.4)); };
    const TRect page{
        0, 0, twips(printer->PaperWidth() - printer->LeftMargin() - printer->RightMargin()),
        twips(printer->PaperHeight() - printer->TopMargin() - printer->BottomMargin())};
    printer->BeginDoc();
    try {
        const int length = document_->Length();
        int next = 0;
        do {
            printer->BeginPage();
            TRichFormatRange range;
            range.Target = printer->Canvas();
            range.DpiX = printer->DPI().X;
            range.DpiY = printer->DPI().Y;
            range.Rect = page;
            range.FirstChar = next;
            const TRichFormatResult r = document_->FormatRange(range);
            printer->EndPage();
            // Every page takes at least one line; a call that takes nothing ends the run.
            if (r.NextChar <= next) break;
            next = r.NextChar;
        } while (next < length);
        printer->EndDoc();
    } catch (...) {
        printer->Abort();
        throw;
    }
}

std::string TQvCustomRichEdit::SelectedObjectClass() const {
    const int start = document_->SelStart(), end = document_->SelEnd();
    if (end - start != 1 || document_->TextRange(start, end) != u"\xFFFC") return {};
    const TRichContent content = document_->Content(true);
    if (content.Objects.empty()) return {};
    const std::string& group = content.Objects.front().Group;
    const std::string key = "\\objclass ";
    const std::size_t at = group.find(key);
    if (at == std::string::npos) return "Object";
    const std::size_t from = at + key.size();
    const std::size_t to = group.find_first_of("}\\", from);
    return group.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

void TQvCustomRichEdit::dropAddedItems() {
    // Items added to the own menu leave it; the verb menu goes with its items.
    for (TMenuItem* item : addedItems_) {
        if (item->Parent()) item->Parent()->Remove(item);
        delete item;
    }
    addedItems_.clear();
    verbMenu_.reset();
}

void TQvCustomRichEdit::Notification(TComponent* component, TOperation operation) {
    // A menu that is freed takes the items added to it along.
    if (operation == TOperation::opRemove && component == PopupMenu()) addedItems_.clear();
    TWinControl::Notification(component, operation);
}

TPopupMenu* TQvCustomRichEdit::ObjectPopupMenu() {
    dropAddedItems();
    TPopupMenu* own = PopupMenu();
    const std::string type = autoVerbMenu_ ? SelectedObjectClass() : std::string();
    if (type.empty()) return own;
    const std::string caption = type + " (cannot be opened on this system)";
    if (own && own->Items()->Count() > 0) {
        for (const std::string& text : {std::string("-"), caption}) {
            auto* item = new TMenuItem(nullptr);
            item->SetCaption(text);
            item->SetEnabled(text == "-");
            own->Items()->Add(item);
            addedItems_.push_back(item);
        }
        return own;
    }
    verbMenu_ = std::make_unique<TPopupMenu>(nullptr);
    auto* item = new TMenuItem(nullptr);
    item->SetCaption(caption);
    item->SetEnabled(false);
    verbMenu_->Items()->Add(item);
    return verbMenu_.get();
}

void CopyRichText(TQvCustomRichEdit& source, TQvCustomRichEdit& target) {
    TMemoryStream stream;
    source.Lines().SaveToStream(stream);
    stream.SetPosition(0);
    target.Lines().LoadFromStream(stream);
}

void RegisterRichEditClasses() {
    RegisterClasses<TQvCustomRichEdit, TQvRichEdit>();
}
