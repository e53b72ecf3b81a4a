#include "report/styles.h"

#include <set>

#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "platform/graphics/color.h"
#include "platform/graphics/font.h"
#include "report/component.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

TpgwStyleItem::FrameFactory& frameFactory() {
    static TpgwStyleItem::FrameFactory factory = []() -> std::unique_ptr<TPersistent> {
        const TClassInfo* cls = GetClass("TpgwFrame");
        if (!cls || !cls->CanCreate()) return nullptr;
        return std::unique_ptr<TPersistent>(cls->Create(nullptr));
    };
    return factory;
}

// One "style" element: the set's name and an "item" child per style item.
void writeStyleSet(TpgwStyles& styles, TpgwXMLItem& element) {
    element.SetName("style");
    element.SetProp("Name", styles.Name());
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SetOwner(styles.Report());
    for (int i = 0; i < styles.Count(); ++i) {
        TpgwXMLItem* item = element.Add();
        item->SetName("item");
        std::string text = serializer.PropertiesToXML(styles.Items(i), "", nullptr);
        if (!text.empty() && text.front() == ' ') text.erase(0, 1);
        item->SetText(std::move(text));
    }
}

void readStyleSet(TpgwStyles& styles, TpgwXMLItem& element, bool legacyText) {
    styles.SetName(element.Prop("Name"));
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SetOwner(styles.Report());
    serializer.SetLegacyText(legacyText);
    for (int i = 0; i < element.Count(); ++i) {
        TpgwXMLItem* child = element.Items(i);
        if (!SameText(child->Name(), "item")) continue;
        TpgwStyleItem* item = styles.Add();
        serializer.XMLToProperties(child->Text(), item);
    }
}

void saveDocument(TpgwXMLDocument& doc, const std::string& fileName) {
    TSafeFileWriter file(fileName);
    doc.SaveToStream(file);
    file.Commit();
}

} // namespace

// ---- style item --------------------------------------------------------------------------------

TpgwStyleItem::TpgwStyleItem(TCollection* collection)
    : TCollectionItem(collection), color_(clNone), font_(std::make_unique<TFont>()) {
    font_->SetName("Arial");
    font_->SetSize(10);
    font_->SetCharset(DEFAULT_CHARSET);
    if (frameFactory()) frame_ = frameFactory()();
}

TpgwStyleItem::~TpgwStyleItem() = default;

void TpgwStyleItem::RegisterProperties(TClassBuilder<TpgwStyleItem>& b) {
    using S = TpgwStyleItem;
    b.Add("Name", TypeInfoString(), &S::Name, &S::SetName);
    b.Add("Color", TypeInfoColor(), &S::Color, &S::SetColor).NoDefault();
    b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &S::Font, &S::SetFont);
    b.Add("Frame", TypeInfoOfClass(TPersistent::StaticClass()), &S::Frame, &S::SetFrame);
}

TpgwStyleItem::FrameFactory TpgwStyleItem::SetFrameFactory(FrameFactory factory) {
    FrameFactory previous = std::move(frameFactory());
    frameFactory() = std::move(factory);
    return previous;
}

void TpgwStyleItem::SetName(const std::string& value) {
    if (TCollection* owner = Collection()) {
        for (int i = 0; i < owner->Count(); ++i) {
            auto* other = static_cast<TpgwStyleItem*>(owner->Items(i));
            if (other != this && SameText(other->name_, value)) throw Exception("Duplicate name");
        }
    }
    name_ = value;
}

void TpgwStyleItem::SetFont(TFont* value) {
    if (value && value != font_.get()) font_->Assign(*value);
}

void TpgwStyleItem::SetFrame(TPersistent* value) {
    if (value && frame_ && value != frame_.get()) frame_->Assign(value);
}

void TpgwStyleItem::MakeUniqueName() {
    std::set<std::string> names;
    if (TCollection* owner = Collection())
        for (int i = 0; i < owner->Count(); ++i)
            if (owner->Items(i) != this)
                names.insert(AnsiLowerCase(static_cast<TpgwStyleItem*>(owner->Items(i))->name_));
    for (int n = 1;; ++n) {
        std::string candidate = "Style" + std::to_string(n);
        if (!names.count(AnsiLowerCase(candidate))) {
            name_ = candidate;
            return;
        }
    }
}

void TpgwStyleItem::Assign(const TPersistent* source) {
    auto* s = dynamic_cast<const TpgwStyleItem*>(source);
    if (!s) return TCollectionItem::Assign(source);
    name_ = s->name_;
    color_ = s->color_;
    font_->Assign(*s->font_);
    if (frame_ && s->frame_) frame_->Assign(s->frame_.get());
}

// ---- style set ---------------------------------------------------------------------------------

TpgwStyles::TpgwStyles(TpgwCustomReport* report)
    : TCollection(TpgwStyleItem::StaticClass(), report), report_(report) {}

TpgwStyles::~TpgwStyles() = default;

TpgwStyleItem* TpgwStyles::Add() {
    return static_cast<TpgwStyleItem*>(TCollection::Add());
}

TpgwStyleItem* TpgwStyles::Items(int index) const {
    return static_cast<TpgwStyleItem*>(TCollection::Items(index));
}

TpgwStyleItem* TpgwStyles::Find(std::string_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(Items(i)->Name(), name)) return Items(i);
    return nullptr;
}

void TpgwStyles::GetList(TStrings& list) const {
    list.Clear();
    for (int i = 0; i < Count(); ++i)
        list.Add(Items(i)->Name());
}

void TpgwStyles::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TpgwStyles::LoadFromStream(TStream& stream) {
    // The document is read before the set is touched, so a broken file loses nothing.
    TpgwXMLDocument doc;
    doc.LoadFromStream(stream);
    Clear();
    TpgwXMLItem* root = doc.Root();
    if (SameText(root->Name(), "style")) readStyleSet(*this, *root, doc.LegacyText());
    Apply();
}

void TpgwStyles::SaveToFile(const std::string& fileName) {
    TpgwXMLDocument doc;
    doc.SetIndentOutput(true);
    writeStyleSet(*this, *doc.Root());
    saveDocument(doc, fileName);
}

void TpgwStyles::SaveToStream(TStream& stream) {
    TpgwXMLDocument doc;
    doc.SetIndentOutput(true);
    writeStyleSet(*this, *doc.Root());
    doc.SaveToStream(stream);
}

void TpgwStyles::Apply() {
    if (!report_) return;
    for (TpgwComponent* c : report_->AllObjects()) {
        // Memo views are the objects that publish a Style name.
        const TPropInfo* info = GetPropInfo(*c, "Style");
        if (!info || info->Kind() != TTypeKind::tkLString || !info->IsWritable()) continue;
        const std::string style = GetStrProp(*c, *info);
        SetStrProp(*c, *info, Find(style) ? style : std::string());
    }
}

void TpgwStyles::Assign(const TPersistent* source) {
    auto* s = dynamic_cast<const TpgwStyles*>(source);
    if (!s) return TCollection::Assign(source);
    TCollection::Assign(source);
    name_ = s->name_;
}

// ---- style sheet -------------------------------------------------------------------------------

TpgwStyleSheet::TpgwStyleSheet() = default;
TpgwStyleSheet::~TpgwStyleSheet() = default;

TpgwStyles* TpgwStyleSheet::Add() {
    items_.push_back(std::make_unique<TpgwStyles>(nullptr));
    return items_.back().get();
}

void TpgwStyleSheet::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    items_.erase(items_.begin() + index);
}

void TpgwStyleSheet::Clear() {
    items_.clear();
}

TpgwStyles* TpgwStyleSheet::Find(std::string_view name) const {
    for (const auto& s : items_)
        if (SameText(s->Name(), name)) return s.get();
    return nullptr;
}

void TpgwStyleSheet::GetList(TStrings& list) const {
    list.Clear();
    for (const auto& s : items_)
        list.Add(s->Name());
}

void TpgwStyleSheet::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TpgwStyleSheet::LoadFromStream(TStream& stream) {
    // As for a single set: a broken file leaves the sheet as it was.
    TpgwXMLDocument doc;
    doc.LoadFromStream(stream);
    Clear();
    TpgwXMLItem* root = doc.Root();
    if (!SameText(root->Name(), "stylesheet")) return;
    for (int i = 0; i < root->Count(); ++i) {
        TpgwXMLItem* child = root->Items(i);
        if (!SameText(child->Name(), "style")) continue;
        readStyleSet(*Add(), *child, doc.LegacyText());
    }
}

void TpgwStyleSheet::SaveToStream(TStream& stream) {
    TpgwXMLDocument doc;
    doc.SetIndentOutput(true);
    doc.Root()->SetName("stylesheet");
    for (const auto& s : items_)
        writeStyleSet(*s, *doc.Root()->Add());
    doc.SaveToStream(stream);
}

void TpgwStyleSheet::SaveToFile(const std::string& fileName) {
    TSafeFileWriter file(fileName);
    SaveToStream(file);
    file.Commit();
}
