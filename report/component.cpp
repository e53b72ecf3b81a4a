#include "report/component.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/canvas.h"
#include "report/data_set.h"
#include "report/resources.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

bool hasBit(std::uint8_t set, TpgwRestriction r) {
    return (set >> r) & 1u;
}

TComponent* platformOwnerFor(TComponent* owner) {
    if (auto* parent = dynamic_cast<TpgwComponent*>(owner)) return parent->Report();
    return owner;
}

bool differs(double a, double b) {
    return std::fabs(a - b) > 0.0001;
}

std::string attr(std::string_view name, std::string_view value) {
    std::string s;
    s.reserve(name.size() + value.size() + 4);
    s += ' ';
    s += name;
    s += "=\"";
    s += value;
    s += '"';
    return s;
}

// ASCII case-insensitive equality; names are identifiers. Inline because every rename while a
// template loads searches the whole report.
inline bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x == y) continue;
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

TpgwComponent* findIn(const std::vector<TpgwComponent*>& objects, std::string_view name) {
    for (TpgwComponent* c : objects) {
        if (sameName(c->Name(), name)) return c;
        if (TpgwComponent* found = findIn(c->Objects(), name)) return found;
    }
    return nullptr;
}

} // namespace

const TTypeInfo& TpgwRestrictionsType() {
    static const TTypeInfo& element = DefineEnumType(
        "TpgwRestriction",
        {"rfDontModify", "rfDontSize", "rfDontMove", "rfDontDelete", "rfDontEdit"});
    static const TTypeInfo& set = DefineSetType("TpgwRestrictions", element);
    return set;
}

const TTypeInfo& TypeInfoStrings() {
    static const TClassInfo stringsClass("TStrings", &TObjectClassInfo(), nullptr, nullptr,
                                         nullptr);
    return TypeInfoOfClass(stringsClass);
}

std::recursive_mutex& ObjectModelLock() {
    static std::recursive_mutex lock;
    return lock;
}

// ---- TpgwComponent -----------------------------------------------------------------------------

TpgwComponent::TpgwComponent(TComponent* owner)
    : TComponent(platformOwnerFor(owner)), font_(std::make_unique<TFont>()) {
    font_->SetName("Arial");
    font_->SetSize(10);
    font_->SetColor(clBlack);
    font_->SetCharset(DEFAULT_CHARSET);
    font_->OnChange = [this](TFont&) { FontChanged(); };
    visible_ = true;
    SetParentFont(true);
    if (auto* parent = dynamic_cast<TpgwComponent*>(owner)) SetParent(parent);
}

TpgwComponent::~TpgwComponent() {
    font_->OnChange = nullptr;
    DetachFromParent();
    Clear();
    // Children kept by Clear (ancestor state) must not point back at a dead parent.
    while (!objects_.empty()) {
        TpgwComponent* child = objects_.back();
        objects_.pop_back();
        child->parent_ = nullptr;
        if (!child->Owner()) delete child;
    }
}

TpgwComponent* TpgwComponent::CreateInDesigner(const TClassInfo& cls, TComponent* owner) {
    TPersistent* object = cls.Create(owner);
    auto* component = dynamic_cast<TpgwComponent*>(object);
    if (!component) {
        delete object;
        throw EComponentError("Class " + cls.ClassName() + " is not a report object");
    }
    component->designTimeObject_ = true;
    return component;
}

void TpgwComponent::DetachFromParent() {
    if (!parent_) return;
    auto& siblings = parent_->objects_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    parent_ = nullptr;
}

void TpgwComponent::SetParent(TpgwComponent* value) {
    if (value == parent_) return;
    // A parent inside the object's own subtree would make the tree a cycle.
    for (TpgwComponent* p = value; p; p = p->parent_)
        if (p == this) throw EComponentError("Cannot make " + Name() + " a child of itself");
    DetachFromParent();
    if (value) value->objects_.push_back(this);
    parent_ = value;
    if (value) SetParentFont(parentFont_);
}

void TpgwComponent::SetObjectList(const std::vector<TpgwComponent*>& list) {
    objects_ = list;
    for (TpgwComponent* child : objects_)
        child->parent_ = this;
}

void TpgwComponent::ReleaseObjectList(TpgwComponent* parent) {
    if (parent)
        for (TpgwComponent* child : objects_)
            child->parent_ = parent;
    objects_.clear();
}

void TpgwComponent::AllObjects(std::vector<TpgwComponent*>& list) const {
    list.clear();
    // Pre-order walk without recursion: a stack of (children, next index).
    std::vector<std::pair<const std::vector<TpgwComponent*>*, std::size_t>> stack;
    stack.emplace_back(&objects_, 0);
    while (!stack.empty()) {
        auto& [children, index] = stack.back();
        if (index >= children->size()) {
            stack.pop_back();
            continue;
        }
        TpgwComponent* c = (*children)[index++];
        list.push_back(c);
        if (!c->objects_.empty()) stack.emplace_back(&c->objects_, 0);
    }
}

std::vector<TpgwComponent*> TpgwComponent::AllObjects() const {
    std::vector<TpgwComponent*> list;
    AllObjects(list);
    return list;
}

TpgwComponent* TpgwComponent::FindObject(std::string_view name) const {
    return findIn(objects_, name);
}

void TpgwComponent::Clear() {
    std::size_t i = 0;
    while (i < objects_.size()) {
        TpgwComponent* child = objects_[i];
        if (child->HasState(csAncestor)) {
            child->Clear();
            ++i;
        } else {
            delete child; // leaves objects_ itself
        }
    }
}

TpgwCustomReport* TpgwComponent::Report() const {
    for (const TpgwComponent* c = this; c; c = c->parent_)
        if (auto* report = dynamic_cast<const TpgwCustomReport*>(c))
            return const_cast<TpgwCustomReport*>(report);
    return nullptr;
}

TpgwComponent* TpgwComponent::Page() const {
    for (const TpgwComponent* c = this; c; c = c->parent_)
        if (c->ClassType().InheritsFrom("TpgwPage")) return const_cast<TpgwComponent*>(c);
    return nullptr;
}

void TpgwComponent::SetLeft(double value) {
    if (designTimeObject_ && hasBit(restrictions_, rfDontMove)) return;
    left_ = value;
}

void TpgwComponent::SetTop(double value) {
    if (designTimeObject_ && hasBit(restrictions_, rfDontMove)) return;
    top_ = value;
}

void TpgwComponent::SetWidth(double value) {
    if (designTimeObject_ && hasBit(restrictions_, rfDontSize)) return;
    width_ = value;
}

void TpgwComponent::SetHeight(double value) {
    if (designTimeObject_ && hasBit(restrictions_, rfDontSize)) return;
    height_ = value;
}

void TpgwComponent::SetBounds(double left, double top, double width, double height) {
    SetLeft(left);
    SetTop(top);
    SetWidth(width);
    SetHeight(height);
}

double TpgwComponent::AbsLeft() const {
    if (!parent_ || parent_->ClassType().InheritsFrom("TpgwDialogPage")) return left_;
    return left_ + parent_->AbsLeft();
}

double TpgwComponent::AbsTop() const {
    if (!parent_ || parent_->ClassType().InheritsFrom("TpgwDialogPage")) return top_;
    return top_ + parent_->AbsTop();
}

void TpgwComponent::SetFont(TFont* value) {
    if (value && value != font_.get()) font_->Assign(*value);
    parentFont_ = false;
}

void TpgwComponent::SetParentFont(bool value) {
    if (value && parent_) SetFont(parent_->Font());
    parentFont_ = value;
}

void TpgwComponent::SetVisible(bool value) {
    visible_ = value;
}

void TpgwComponent::FontChanged() {
    parentFont_ = false;
    for (TpgwComponent* child : objects_)
        if (child->parentFont_) child->SetParentFont(true);
}

const std::string& TpgwComponent::NameStem() const {
    if (nameStem_.empty()) {
        std::string stem = ClassName();
        if (auto p = stem.find("Tpgw"); p != std::string::npos) stem.erase(p, 4);
        if (auto p = stem.find("View"); p != std::string::npos) stem.erase(p, 4);
        nameStem_ = stem;
    }
    return nameStem_;
}

void TpgwComponent::SetName(const std::string& value) {
    if (SameText(value, Name())) return;
    if (!value.empty()) {
        if (TpgwCustomReport* report = Report()) {
            // What the report owns its own rename check covers (ValidateRename below) without
            // walking the whole tree; only objects it does not own are searched for.
            TpgwComponent* other =
                report == this || Owner() == report ? nullptr : report->FindObject(value);
            if (other && other != this) throw EComponentError(GetResources().GetText("prDupl"));
            if (IsInherited())
                throw EComponentError("Could not rename " + Name() +
                                      ", it was introduced in the ancestor report");
        }
    }
    TComponent::SetName(value);
}

void TpgwComponent::ValidateRename(TComponent* component, std::string_view currentName,
                                   std::string_view newName) {
    if (component && component->Owner() == this && !newName.empty() &&
        !SameText(currentName, newName))
        if (TComponent* other = FindComponent(newName); other && other != component)
            throw EComponentError(GetResources().GetText("prDupl"));
    // The base repeats the same search; it adds only the designer's check up the owners.
    if (HasState(csDesigning)) TComponent::ValidateRename(component, currentName, newName);
}

void TpgwComponent::MakeUniqueName() {
    std::vector<TpgwComponent*> all;
    if (TpgwCustomReport* report = Report())
        report->AllObjects(all);
    else if (parent_)
        parent_->AllObjects(all);
    std::set<std::string> names;
    for (TpgwComponent* c : all)
        if (c != this) names.insert(AnsiLowerCase(c->Name()));
    const std::string& stem = NameStem();
    for (int n = 1;; ++n) {
        std::string candidate = stem + std::to_string(n);
        if (!names.count(AnsiLowerCase(candidate))) {
            SetName(candidate);
            return;
        }
    }
}

TpgwDataSet* TpgwComponent::DataSetByName(std::string_view name, TpgwDataSet* fallback) const {
    TpgwCustomReport* report = Report(); // the object itself when it is the report
    if (!report || report->UseGlobalDataSetList()) return FindGlobalDataSet(fallback, name, report);
    return report->GetDataset(name);
}

void TpgwComponent::AlignChildren() {
    struct Entry {
        std::string key;
        TpgwComponent* view;
        int align;
    };
    std::vector<Entry> views;
    // The children that publish Align are the views.
    for (TpgwComponent* child : objects_) {
        const TPropInfo* info = GetPropInfo(*child, "Align");
        if (!info || !info->IsReadable()) continue;
        const int align = static_cast<int>(GetOrdProp(*child, *info));
        const double l = child->Left();
        std::string key = (l >= 0 ? "1" : "0") + Format("%9.2f", {std::fabs(l)});
        views.push_back({std::move(key), child, align});
    }
    std::stable_sort(views.begin(), views.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    auto overlaps = [](TpgwComponent* a, TpgwComponent* b) {
        return b->AbsTop() < a->AbsTop() + a->Height() - 0.0001 &&
               a->AbsTop() < b->AbsTop() + b->Height() - 0.0001;
    };
    const int n = static_cast<int>(views.size());
    for (int i = 0; i < n; ++i) {
        TpgwComponent* v = views[i].view;
        const int align = views[i].align;
        if (align != baLeft && align != baWidth) continue;
        TpgwComponent* neighbour = nullptr;
        for (int j = i - 1; j >= 0; --j) {
            TpgwComponent* c = views[j].view;
            if (!overlaps(v, c)) continue;
            if (align == baWidth && c->Left() > v->Left()) continue;
            neighbour = c;
            break;
        }
        v->SetLeft(neighbour ? neighbour->Left() + neighbour->Width() : 0);
    }
    for (int i = n - 1; i >= 0; --i) {
        TpgwComponent* v = views[i].view;
        const int align = views[i].align;
        if (align != baRight && align != baWidth) continue;
        TpgwComponent* neighbour = nullptr;
        for (int j = i + 1; j < n; ++j) {
            TpgwComponent* c = views[j].view;
            if (!overlaps(v, c)) continue;
            if (align == baWidth && c->Left() + c->Width() < v->Left() + v->Width()) continue;
            neighbour = c;
            break;
        }
        const double edge = neighbour ? neighbour->Left() : Width();
        if (align == baRight)
            v->SetLeft(edge - v->Width());
        else
            v->SetWidth(edge - v->Left());
    }
    for (const Entry& e : views) {
        TpgwComponent* v = e.view;
        switch (e.align) {
        case baCenter:
            v->SetLeft((Width() - v->Width()) / 2);
            break;
        case baBottom:
            v->SetTop(Height() - v->Height());
            break;
        case baClient:
            v->SetLeft(0);
            v->SetTop(0);
            v->SetWidth(Width());
            v->SetHeight(Height());
            break;
        default:
            break;
        }
    }
}

void TpgwComponent::LoadFromStream(TStream& stream) {
    Clear();
    TpgwCustomReport* report = Report();
    TpgwXMLSerializer serializer(stream);
    serializer.SetOwner(report);
    TpgwXMLSerializer* previous = report ? report->CurrentSerializer() : nullptr;
    if (report) report->SetCurrentSerializer(&serializer);
    auto finish = [&] {
        if (report) {
            report->SetCurrentSerializer(previous);
            report->Errors().AddStrings(serializer.Errors());
        }
    };
    try {
        if (report && report->ThreadSafeMode()) {
            std::lock_guard lock(ObjectModelLock());
            serializer.LoadComponent(this, nullptr);
        } else {
            serializer.LoadComponent(this, nullptr);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TpgwComponent::SaveToStream(TStream& stream, bool saveChildren, bool saveDefaultValues,
                                 bool ignoreInheritance) {
    TpgwCustomReport* report = Report();
    TpgwXMLSerializer serializer(stream);
    serializer.SetOwner(report);
    serializer.SetWriteDefaultValues(saveDefaultValues);
    if (report && report == this)
        serializer.OnQueryAncestor = [report](const std::string& name, TPersistent*& ancestor) {
            ancestor = report->GetAncestor(name);
        };
    serializer.SaveComponent(this, saveChildren, nullptr, ignoreInheritance);
}

std::string TpgwComponent::ChangedAttributes(TpgwComponent* reference) {
    return BaseChangedAttributes(reference);
}

std::string TpgwComponent::BaseChangedAttributes(TpgwComponent* reference) {
    std::string text;
    if (!reference) return text;
    if (differs(left_, reference->left_)) text += attr("l", FloatToStr(left_));
    if (ClassType().InheritsFrom("TpgwBand") || differs(top_, reference->top_))
        text += attr("t", FloatToStr(top_));
    bool autoWidth = false;
    if (ClassType().InheritsFrom("TpgwCustomMemoView"))
        if (const TPropInfo* info = GetPropInfo(*this, "AutoWidth"); info && info->IsReadable())
            autoWidth = GetOrdProp(*this, *info) != 0;
    if (!autoWidth && differs(width_, reference->width_)) text += attr("w", FloatToStr(width_));
    if (differs(height_, reference->height_)) text += attr("h", FloatToStr(height_));
    if (visible_ != reference->visible_) text += attr("Visible", visible_ ? "1" : "0");
    if (!parentFont_) {
        const TFont& f = *font_;
        const TFont& r = *reference->font_;
        if (f.Name() != r.Name()) text += attr("Font.Name", EncodeXMLText(f.Name()));
        if (f.Size() != r.Size()) text += attr("Font.Size", std::to_string(f.Size()));
        if (f.Color() != r.Color()) text += attr("Font.Color", std::to_string(f.Color()));
        if (f.Style() != r.Style()) text += attr("Font.Style", std::to_string(f.Style().Bits()));
        if (f.Charset() != r.Charset()) text += attr("Font.Charset", std::to_string(f.Charset()));
    }
    if (parentFont_ != reference->parentFont_) text += attr("ParentFont", parentFont_ ? "1" : "0");
    if (Tag() != reference->Tag()) text += attr("Tag", std::to_string(Tag()));
    return text;
}

std::string TpgwComponent::FullAttributeText(TpgwComponent* reference) {
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SetOwner(Report());
    std::string text = serializer.PropertiesToXML(this, "", nullptr);
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    if (reference) text += " " + BaseChangedAttributes(reference);
    return text;
}

void TpgwComponent::Assign(const TPersistent* source) {
    auto* component = dynamic_cast<const TpgwComponent*>(source);
    if (!component) return;
    TMemoryStream stream;
    const_cast<TpgwComponent*>(component)->SaveToStream(stream, false, true, false);
    stream.SetPosition(0);
    LoadFromStream(stream);
}

void TpgwComponent::CopyFrom(TpgwComponent* source, bool ignoreInheritance) {
    if (!source) return;
    TMemoryStream stream;
    source->SaveToStream(stream, true, true, ignoreInheritance);
    stream.SetPosition(0);
    LoadFromStream(stream);
}

void TpgwComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) {
    if (auto* report = dynamic_cast<TpgwCustomReport*>(this); report && !report->StoreInDFM())
        return;
    for (TpgwComponent* child : objects_)
        proc(child);
}

// ---- TpgwReportComponent -----------------------------------------------------------------------

TpgwReportComponent::TpgwReportComponent(TComponent* owner) : TpgwComponent(owner) {}
TpgwReportComponent::~TpgwReportComponent() = default;

void TpgwReportComponent::RegisterProperties(TClassBuilder<TpgwReportComponent>& b) {
    b.Add("Description", TypeInfoString(), &TpgwReportComponent::Description,
          &TpgwReportComponent::SetDescription);
}

void TpgwReportComponent::SaveForPrint() {
    savedRect_ = {Left(), Top(), Width(), Height()};
}

void TpgwReportComponent::RestoreAfterPrint() {
    SetBounds(savedRect_.Left, savedRect_.Top, savedRect_.Width, savedRect_.Height);
}

TpgwRect TpgwReportComponent::AbsoluteRect() const {
    return MakeRect(AbsLeft(), AbsTop(), AbsLeft() + Width(), AbsTop() + Height());
}

// ---- TpgwDialogComponent -----------------------------------------------------------------------

TpgwDialogComponent::TpgwDialogComponent(TComponent* owner) : TpgwReportComponent(owner) {
    SetWidth(28);
    SetHeight(28);
    SetObjectTraits(ObjectTraits() & ~TpgwObjectTraits::ShownInPreview);
}

TpgwDialogComponent::~TpgwDialogComponent() = default;

void TpgwDialogComponent::DefineProperties(TFiler& filer) {
    TpgwReportComponent::DefineProperties(filer);
    const bool inReport = Report() != nullptr;
    filer.DefineProperty(
        "pLeft", [this](TReader& r) { SetLeft(r.ReadInteger()); },
        [this](TWriter& w) { w.WriteInteger(Round(Left())); }, inReport);
    filer.DefineProperty(
        "pTop", [this](TReader& r) { SetTop(r.ReadInteger()); },
        [this](TWriter& w) { w.WriteInteger(Round(Top())); }, inReport);
}

void TpgwDialogComponent::Draw(TCanvas& canvas, double, double, double, double) {
    // The icon of a non-visual component: always 28 x 28, wherever the view is zoomed.
    SetWidth(28);
    SetHeight(28);
    const int x = static_cast<int>(Round(Left()));
    const int y = static_cast<int>(Round(Top()));
    canvas.Brush().SetColor(clBtnFace);
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(TRect{x, y, x + 28, y + 28});
    // Raised edge: light on the top and left, shadow on the bottom and right.
    canvas.Pen().SetColor(clBtnHighlight);
    canvas.MoveTo(x, y + 27);
    canvas.LineTo(x, y);
    canvas.LineTo(x + 27, y);
    canvas.Pen().SetColor(clBtnShadow);
    canvas.LineTo(x + 27, y + 27);
    canvas.LineTo(x - 1, y + 27);
    canvas.Font().SetName("Tahoma");
    canvas.Font().SetSize(8);
    canvas.Font().SetColor(clBlack);
    canvas.Brush().SetColor(clWindow);
    const int textWidth = canvas.TextWidth(Name());
    canvas.TextOut(x + (28 - textWidth) / 2, y + 28 + 4, Name());
}

// ---- TpgwCustomReport --------------------------------------------------------------------------

TpgwCustomReport::TpgwCustomReport(TComponent* owner) : TpgwComponent(owner) {
    errors_.SetSorted(true);
    errors_.SetDuplicates(dupIgnore);
}

TpgwCustomReport::~TpgwCustomReport() {
    // The tree goes first, while the report's own state is still whole.
    Clear();
}
