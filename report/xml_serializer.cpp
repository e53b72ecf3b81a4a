#include "report/xml_serializer.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

#include "platform/core/collection.h"
#include "platform/core/format.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "platform/core/variant.h"
#include "report/component.h"
#include "report/resources.h"
#include "report/utils.h"
#include "report/wide_strings.h"
#include "report/xml_document.h"

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Templates hold 8-bit strings in the legacy code page; characters it lacks become '?'.
std::string utf8ToLegacy(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    return Utf8ToCodePageLossy(utf8);
}

std::string decode(std::string_view value) {
    if (value.find('&') == std::string_view::npos) return std::string(value);
    return DecodeXMLText(value);
}

void appendAttribute(std::string& text, const std::string& prefix, std::string_view name,
                     std::string_view value) {
    text += ' ';
    text += prefix;
    text += name;
    text += "=\"";
    text += value;
    text += '"';
}

std::string variantText(const Variant& v) {
    if (v.IsNull() || v.IsEmpty() || v.IsArray()) return {};
    return v.AsString();
}

bool isDecimalNumber(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    if (i == s.size()) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

std::string withoutFinalLineBreak(std::string text) {
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
    return text;
}

// Text of a string list without its final line break.
std::string stringsText(const TStrings& list) {
    return withoutFinalLineBreak(list.Text());
}

// The shared path lookup, then plain names among the components of the report's owner for any
// report root (the shared lookup knows only the full report class).
TComponent* findComponentByPath(TComponent* root, std::string_view path) {
    if (!root || path.empty()) return nullptr;
    if (TComponent* c = FindComponentByPath(root, path)) return c;
    if (path.find('.') == std::string_view::npos && dynamic_cast<TpgwCustomReport*>(root) &&
        root->Owner())
        return root->Owner()->FindComponent(path);
    return nullptr;
}

// Sets a flag on a component for a scope, also when the scope is left by an exception.
class WritingFlag {
public:
    explicit WritingFlag(TPersistent* obj) : c_(dynamic_cast<TpgwComponent*>(obj)) {
        if (c_) c_->SetWritingTemplate(true);
    }
    ~WritingFlag() {
        if (c_) c_->SetWritingTemplate(false);
    }
    WritingFlag(const WritingFlag&) = delete;
    WritingFlag& operator=(const WritingFlag&) = delete;

private:
    TpgwComponent* c_;
};

struct WriteOrders {
    std::mutex lock;
    std::unordered_map<const TClassInfo*, std::vector<std::string>> declared;
    std::unordered_map<const TClassInfo*, std::unique_ptr<std::vector<const TPropInfo*>>> cache;
};

WriteOrders& writeOrders() {
    static auto* orders = new WriteOrders;
    return *orders;
}

} // namespace

void SetPropertyWriteOrder(const TClassInfo& cls, std::vector<std::string> names) {
    WriteOrders& w = writeOrders();
    std::lock_guard lock(w.lock);
    w.declared[&cls] = std::move(names);
    w.cache.clear();
}

const std::vector<const TPropInfo*>& PropertyWriteOrder(const TClassInfo& cls) {
    WriteOrders& w = writeOrders();
    std::lock_guard lock(w.lock);
    auto& slot = w.cache[&cls];
    if (slot) return *slot;
    auto order = std::make_unique<std::vector<const TPropInfo*>>();
    const TPropTable& table = cls.Properties();
    const std::vector<std::string>* names = nullptr;
    for (const TClassInfo* c = &cls; c && !names; c = c->ClassParent())
        if (auto it = w.declared.find(c); it != w.declared.end()) names = &it->second;
    std::vector<const TPropInfo*> group;
    if (names)
        for (const std::string& name : *names)
            if (const TPropInfo* info = table.Find(name)) group.push_back(info);
    bool groupPlaced = false;
    for (const TPropInfo* info : table) {
        if (std::find(group.begin(), group.end(), info) != group.end()) {
            if (!groupPlaced) order->insert(order->end(), group.begin(), group.end());
            groupPlaced = true;
            continue;
        }
        order->push_back(info);
    }
    slot = std::move(order);
    return *slot;
}

TpgwXMLSerializer::TpgwXMLSerializer(TStream& stream) : stream_(stream), reader_(readerStream_) {
    errors_.SetSorted(true);
    errors_.SetDuplicates(dupIgnore);
}

TpgwXMLSerializer::~TpgwXMLSerializer() = default;

std::string TpgwXMLSerializer::legacyToUtf8(std::string_view bytes) const {
    if (!legacyText_ || isAscii(bytes)) return std::string(bytes);
    return CodePageToUtf8Lossy(bytes);
}

// ---- writing -----------------------------------------------------------------------------------

std::string TpgwXMLSerializer::referenceName(TComponent* component) const {
    return ComponentReferenceName(owner_, component);
}

std::string TpgwXMLSerializer::definedData(TPersistent* obj) {
    TMemoryStream data;
    TWriter writer(data);
    writer.SetRoot(owner_);
    obj->DefineProperties(writer);
    if (data.Size() == 0) return {};
    return std::string(reinterpret_cast<const char*>(data.Memory()),
                       static_cast<std::size_t>(data.Size()));
}

std::string TpgwXMLSerializer::PropertiesToXML(TPersistent* obj, const std::string& prefix,
                                               TPersistent* ancestor) {
    std::string text;
    if (!obj) return text;
    auto* component = dynamic_cast<TpgwComponent*>(obj);
    if (component && !ancestor && OnQueryAncestor) OnQueryAncestor(component->Name(), ancestor);
    WritingFlag objFlag(component);
    WritingFlag ancestorFlag(dynamic_cast<TpgwComponent*>(ancestor));

    const bool all = writeDefaultValues_;
    for (const TPropInfo* info : PropertyWriteOrder(obj->ClassType())) {
        if (!info->IsReadable() || !info->IsStored(*obj)) continue;
        const TPropInfo* anc = ancestor ? GetPropInfo(*ancestor, info->Name()) : nullptr;
        if (anc && (anc->Kind() != info->Kind() || !anc->IsReadable())) anc = nullptr;
        const TTypeInfo& type = info->PropType();
        switch (info->Kind()) {
        case TTypeKind::tkInteger:
        case TTypeKind::tkChar:
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkSet:
        case TTypeKind::tkWChar: {
            const std::int64_t v = GetOrdProp(*obj, *info);
            bool write = all;
            if (!write) {
                if (anc)
                    write = v != GetOrdProp(*ancestor, *anc);
                else
                    write = !info->HasDefault() || v != info->DefaultValue();
            }
            if (!write) break;
            appendAttribute(text, prefix, info->Name(),
                            info->Kind() == TTypeKind::tkEnumeration ? GetEnumName(type, v)
                                                                     : std::to_string(v));
            break;
        }
        case TTypeKind::tkFloat: {
            const double v = GetFloatProp(*obj, *info);
            if (!all && anc && std::fabs(v - GetFloatProp(*ancestor, *anc)) < 1e-6) break;
            appendAttribute(text, prefix, info->Name(), FloatToStr(v));
            break;
        }
        case TTypeKind::tkLString:
        case TTypeKind::tkWString: {
            const std::string v = GetStrProp(*obj, *info);
            if (!all) {
                if (anc ? v == GetStrProp(*ancestor, *anc) : v.empty()) break;
            }
            appendAttribute(text, prefix, info->Name(), EncodeXMLText(utf8ToLegacy(v)));
            break;
        }
        case TTypeKind::tkVariant: {
            const Variant v = GetVariantProp(*obj, *info);
            const std::string s = variantText(v);
            if (!all && anc) {
                const Variant a = GetVariantProp(*ancestor, *anc);
                if (v.Kind() == a.Kind() && s == variantText(a)) break;
            }
            appendAttribute(text, prefix, info->Name(), EncodeXMLText(utf8ToLegacy(s)));
            break;
        }
        case TTypeKind::tkClass: {
            TObject* value = GetObjectProp(*obj, *info);
            TObject* ancValue = anc ? GetObjectProp(*ancestor, *anc) : nullptr;
            switch (ClassPropRole(*info)) {
            case TClassPropRole::Reference: {
                auto* ref = dynamic_cast<TComponent*>(value);
                auto* ancRef = dynamic_cast<TComponent*>(ancValue);
                if (anc) {
                    if (!ref && !ancRef) break;
                    if (ref && ancRef && SameText(ref->Name(), ancRef->Name()) && !all) break;
                    if (!ref) {
                        appendAttribute(text, prefix, info->Name(), "nil");
                        break;
                    }
                }
                const std::string name = referenceName(ref);
                if (!name.empty()) appendAttribute(text, prefix, info->Name(), name);
                break;
            }
            case TClassPropRole::Strings: {
                auto* list = dynamic_cast<TStrings*>(value);
                if (!list) break;
                const std::string s = stringsText(*list);
                if (!all && anc) {
                    auto* ancList = dynamic_cast<TStrings*>(ancValue);
                    if (ancList && s == stringsText(*ancList)) break;
                }
                appendAttribute(text, prefix, info->Name() + ".Text",
                                EncodeXMLText(utf8ToLegacy(s)));
                break;
            }
            case TClassPropRole::WideStrings:
            case TClassPropRole::Collection:
                break;
            case TClassPropRole::NestedObject: {
                auto* nested = dynamic_cast<TPersistent*>(value);
                if (!nested) break;
                text += PropertiesToXML(nested, prefix + info->Name() + ".",
                                        dynamic_cast<TPersistent*>(ancValue));
                break;
            }
            }
            break;
        }
        case TTypeKind::tkMethod:
        case TTypeKind::tkInt64:
        case TTypeKind::tkUnknown:
            break;
        }
    }

    if (auto* holder = dynamic_cast<TpgwTemplateTextHolder*>(obj)) {
        const std::string s = withoutFinalLineBreak(Utf16ToUtf8(holder->TemplateText()));
        bool write = true;
        if (auto* ancHolder = dynamic_cast<TpgwTemplateTextHolder*>(ancestor); ancHolder && !all)
            write = s != withoutFinalLineBreak(Utf16ToUtf8(ancHolder->TemplateText()));
        if (write) appendAttribute(text, prefix, "Text", EncodeXMLText(s));
    }

    const std::string data = definedData(obj);
    if (!data.empty()) {
        bool write = true;
        if (ancestor && !all) {
            const std::string ancData = definedData(ancestor);
            TStringStream a(data), b(ancData);
            write = StreamCRC32(a) != StreamCRC32(b);
        }
        if (write) {
            TStringStream bytes(data);
            appendAttribute(text, prefix, "PropData", StreamToHex(bytes));
        }
    }
    return text;
}

void TpgwXMLSerializer::writeElement(TpgwComponent* component, TpgwXMLItem& item, bool top,
                                     bool saveChildren, bool ignoreInheritance) {
    item.SetName(component->IsInherited() && !ignoreInheritance ? std::string("inherited")
                                                                : component->ClassName());
    if (top) {
        item.SetText(PropertiesToXML(component, "", nullptr));
    } else {
        std::string text = "Name=\"" + component->Name() + "\"";
        text += PropertiesToXML(component, "", nullptr);
        item.SetText(std::move(text));
    }
    if (!saveChildren) return;
    for (TpgwComponent* child : component->Objects())
        writeElement(child, *item.Add(), false, true, ignoreInheritance);
}

void TpgwXMLSerializer::SaveComponent(TpgwComponent* component, bool saveChildren,
                                      TpgwXMLItem* item, bool ignoreInheritance) {
    if (!owner_) owner_ = component;
    if (item) {
        writeElement(component, *item, true, saveChildren, ignoreInheritance);
        return;
    }
    TpgwXMLDocument doc;
    doc.SetIndentOutput(true);
    writeElement(component, *doc.Root(), true, saveChildren, ignoreInheritance);
    doc.SaveToStream(stream_);
}

std::string TpgwXMLSerializer::ObjectToText(TpgwComponent* component) {
    return component->ClassName() + PropertiesToXML(component, "", nullptr);
}

void TpgwXMLSerializer::WriteObjectLine(TpgwComponent* component) {
    const std::string line = "<" + ObjectToText(component) + "/>";
    stream_.WriteBuffer(line.data(), static_cast<std::int64_t>(line.size()));
}

// ---- reading -----------------------------------------------------------------------------------

void TpgwXMLSerializer::XMLToProperties(std::string_view text, TObject* obj) {
    if (!obj) return;
    std::size_t pos = 0;
    const std::size_t n = text.size();
    for (;;) {
        while (pos < n && text[pos] == ' ')
            ++pos;
        const std::size_t eq = text.find('=', pos);
        if (eq == std::string_view::npos) return;
        std::string_view name = text.substr(pos, eq - pos);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name.empty()) return;
        const std::size_t open = text.find('"', eq + 1);
        if (open == std::string_view::npos) return;
        const std::size_t close = text.find('"', open + 1);
        if (close == std::string_view::npos) return;
        const std::string_view value = text.substr(open + 1, close - open - 1);
        pos = close + 1;
        try {
            applyAttribute(name, value, obj);
        } catch (const Exception& e) {
            errors_.Add(e.Message());
        }
    }
}

void TpgwXMLSerializer::applyAttribute(std::string_view name, std::string_view value,
                                       TObject* obj) {
    // Dotted names walk nested objects; a segment that names no object property ends here.
    while (true) {
        const std::size_t dot = name.find('.');
        if (dot == std::string_view::npos) break;
        const TPropInfo* info = GetPropInfo(*obj, name.substr(0, dot));
        if (!info || info->Kind() != TTypeKind::tkClass || !info->IsReadable()) return;
        TObject* nested = GetObjectProp(*obj, *info);
        if (!nested) return;
        obj = nested;
        name.remove_prefix(dot + 1);
    }

    auto* component = dynamic_cast<TpgwComponent*>(obj);
    if (name.size() == 1) {
        switch (name[0]) {
        case 'l':
        case 't':
        case 'w':
        case 'h':
            if (component) {
                const double v = ParseFloatValue(value);
                switch (name[0]) {
                case 'l':
                    component->SetLeft(v);
                    break;
                case 't':
                    component->SetTop(v);
                    break;
                case 'w':
                    component->SetWidth(v);
                    break;
                default:
                    component->SetHeight(v);
                    break;
                }
                return;
            }
            break;
        case 'u':
            if (auto* holder = dynamic_cast<TpgwTemplateTextHolder*>(obj)) {
                holder->SetTemplateText(Utf8ToUtf16(decode(value)));
                return;
            }
            break;
        case 'x':
            if (auto* holder = dynamic_cast<TpgwTemplateTextHolder*>(obj)) {
                holder->SetTemplateText(Utf8ToUtf16(CodePageToUtf8Lossy(decode(value))));
                return;
            }
            break;
        default:
            break;
        }
    }

    if (SameText(name, "Text")) {
        if (auto* list = dynamic_cast<TStrings*>(obj)) {
            list->SetText(legacyToUtf8(decode(value)));
            return;
        }
        if (auto* wide = dynamic_cast<TWideStrings*>(obj)) {
            wide->SetText(Utf8ToUtf16(CodePageToUtf8Lossy(decode(value))));
            return;
        }
        if (auto* holder = dynamic_cast<TpgwTemplateTextHolder*>(obj)) {
            holder->SetTemplateText(Utf8ToUtf16(decode(value)));
            return;
        }
    }

    if (SameText(name, "PropData")) {
        auto* persistent = dynamic_cast<TPersistent*>(obj);
        if (!persistent) return;
        // A collection item's own PropData is met while the reader is inside the outer one:
        // the outer bytes and place go back afterwards, or the rest of the outer data is lost.
        const std::int64_t outerPos = readerStream_.Position();
        std::string outer;
        if (outerPos < readerStream_.Size())
            outer.assign(reinterpret_cast<const char*>(readerStream_.Memory()),
                         static_cast<std::size_t>(readerStream_.Size()));
        readerStream_.SetSize(0);
        HexToStream(value, readerStream_);
        readerStream_.SetPosition(0);
        try {
            reader_.ReadPropertiesToEnd(*persistent);
        } catch (const Exception& e) {
            // Damaged defined data (a corrupt picture) ends the attribute; the template goes on
            // and the error is listed.
            errors_.Add(e.Message());
        } catch (const std::exception& e) {
            errors_.Add(e.what());
        }
        if (!outer.empty()) {
            readerStream_.SetSize(0);
            readerStream_.WriteBuffer(outer.data(), static_cast<std::int64_t>(outer.size()));
            readerStream_.SetPosition(outerPos);
        }
        return;
    }

    if (SameText(name, "Name") && dynamic_cast<TpgwCustomReport*>(obj)) return;

    const TPropInfo* info = GetPropInfo(*obj, name);
    if (!info || !info->IsWritable()) return;
    applyProperty(*info, value, *obj);
}

void TpgwXMLSerializer::applyProperty(const TPropInfo& info, std::string_view value, TObject& obj) {
    switch (info.Kind()) {
    case TTypeKind::tkEnumeration:
        if (isDecimalNumber(value))
            SetOrdProp(obj, info, StrToInt(value));
        else
            SetEnumProp(obj, info, value);
        return;
    case TTypeKind::tkFloat:
        SetFloatProp(obj, info, ParseFloatValue(value));
        return;
    case TTypeKind::tkLString:
    case TTypeKind::tkWString:
        SetStrProp(obj, info, legacyToUtf8(decode(value)));
        return;
    case TTypeKind::tkClass:
        if (ClassPropRole(info) == TClassPropRole::Reference) AddFixup(&obj, &info, decode(value));
        return;
    case TTypeKind::tkVariant:
        SetVariantProp(obj, info, Variant(legacyToUtf8(decode(value))));
        return;
    case TTypeKind::tkInteger:
    case TTypeKind::tkChar:
    case TTypeKind::tkSet:
    case TTypeKind::tkWChar:
        SetOrdProp(obj, info, StrToInt64(value));
        return;
    case TTypeKind::tkMethod:
    case TTypeKind::tkInt64:
    case TTypeKind::tkUnknown:
        return;
    }
}

void TpgwXMLSerializer::AddFixup(TObject* obj, const TPropInfo* property, std::string text) {
    fixups_.push_back({obj, property, std::move(text)});
}

namespace {

// obj and what its dotted attribute names can reach. The depth bound guards against property
// objects that lead back to their holder.
void collectAttributeTargets(const TObject* obj, std::vector<const TObject*>& out, int depth) {
    out.push_back(obj);
    const auto* persistent = dynamic_cast<const TPersistent*>(obj);
    if (depth == 0 || !persistent) return;
    for (const TPropInfo* info : persistent->ClassType().Properties()) {
        if (info->Kind() != TTypeKind::tkClass || !info->IsReadable() ||
            ClassPropRole(*info) != TClassPropRole::NestedObject)
            continue;
        if (const TObject* nested = GetObjectProp(const_cast<TObject&>(*obj), *info))
            collectAttributeTargets(nested, out, depth - 1);
    }
}

} // namespace

void TpgwXMLSerializer::DropFixups(const TObject* obj) {
    if (!obj || fixups_.empty()) return;
    std::vector<const TObject*> targets;
    collectAttributeTargets(obj, targets, 4);
    std::erase_if(fixups_, [&targets](const TpgwFixupItem& f) {
        return std::find(targets.begin(), targets.end(), f.Object) != targets.end();
    });
}

void TpgwXMLSerializer::CopyFixups(std::vector<TpgwFixupItem>& list) const {
    list.insert(list.end(), fixups_.begin(), fixups_.end());
}

void TpgwXMLSerializer::FixupReferences() {
    std::vector<TpgwFixupItem> pending;
    pending.swap(fixups_);
    // One index of the tree instead of a walk per reference; the first object of a name wins,
    // as FindObject finds it.
    std::unordered_map<std::string, TpgwComponent*> byName;
    if (auto* ownerObject = dynamic_cast<TpgwComponent*>(owner_); ownerObject && !pending.empty())
        for (TpgwComponent* c : ownerObject->AllObjects())
            if (!c->Name().empty()) byName.emplace(LowerCase(c->Name()), c);
    for (const TpgwFixupItem& f : pending) {
        auto it = byName.find(LowerCase(f.Text));
        TComponent* target = it == byName.end() ? nullptr : it->second;
        if (!target) {
            try {
                target = findComponentByPath(owner_, f.Text);
            } catch (const Exception& e) {
                errors_.Add(e.Message());
                continue;
            }
        }
        if (!target) continue;
        try {
            SetObjectProp(*f.Object, *f.Property, target);
        } catch (const Exception& e) {
            errors_.Add(e.Message());
        }
    }
    try {
        reader_.FixupReferences();
    } catch (const Exception& e) {
        errors_.Add(e.Message());
    }
    reader_.EndReferences();
}

void TpgwXMLSerializer::readChildren(TpgwXMLItem& item, TpgwComponent* parent,
                                     std::vector<TpgwComponent*>& loadOrder) {
    for (int i = 0; i < item.Count(); ++i) {
        TpgwXMLItem& child = *item.Items(i);
        const bool inherited = SameText(child.Name(), "inherited");
        const TClassInfo* cls = inherited ? nullptr : GetClass(child.Name());
        // Only report objects can stand in the tree; any other class is as good as unknown.
        if (!inherited && (!cls || !cls->InheritsFrom(TpgwComponent::StaticClass()))) {
            errors_.Add(GetResources().GetText("xrCantFindClass") + " " + child.Name());
            continue;
        }
        TpgwComponent* obj = nullptr;
        const std::string name = child.Prop("Name");
        // An unnamed element never stands for an object that exists already.
        if (!name.empty() && owner_)
            obj = dynamic_cast<TpgwComponent*>(owner_->FindComponent(name));
        if (!obj) {
            if (inherited) continue;
            try {
                obj = dynamic_cast<TpgwComponent*>(cls->Create(parent));
            } catch (const Exception& e) {
                errors_.Add(e.Message());
                continue;
            }
            if (!obj) continue;
        }
        obj->SetReadingTemplate(true);
        loadOrder.push_back(obj);
        XMLToProperties(child.Text(), obj);
        readChildren(child, obj, loadOrder);
    }
}

void TpgwXMLSerializer::LoadComponent(TpgwComponent* root, TpgwXMLItem* item) {
    if (!owner_) owner_ = root;
    std::unique_ptr<TpgwXMLDocument> doc;
    if (!item) {
        doc = std::make_unique<TpgwXMLDocument>();
        doc->LoadFromStream(stream_);
        legacyText_ = doc->LegacyText();
        item = doc->Root();
    }
    reader_.SetRoot(owner_);
    reader_.BeginReferences();

    std::vector<TpgwComponent*> loadOrder;
    // Every object read gets its flag cleared and its "loaded" notification, whatever happens
    // on the way.
    auto finish = [&] {
        for (TpgwComponent* obj : loadOrder) {
            obj->SetReadingTemplate(false);
            if (dynamic_cast<TpgwCustomReport*>(obj)) continue;
            try {
                obj->Loaded();
            } catch (const Exception& e) {
                errors_.Add(e.Message());
            }
        }
    };
    try {
        const bool inherited = SameText(item->Name(), "inherited");
        const TClassInfo* cls = inherited ? nullptr : GetClass(item->Name());
        if (!inherited && !cls) {
            errors_.Add(GetResources().GetText("xrCantFindClass") + " " + item->Name());
        } else {
            root->SetReadingTemplate(true);
            loadOrder.push_back(root);
            XMLToProperties(item->Text(), root);
            readChildren(*item, root, loadOrder);
        }
        FixupReferences();
    } catch (...) {
        reader_.EndReferences();
        fixups_.clear();
        finish();
        throw;
    }
    finish();
}

TpgwComponent* TpgwXMLSerializer::ObjectFromText(TComponent* owner, std::string_view text,
                                                 bool skipFixups) {
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return nullptr;
    const std::size_t blank = trimmed.find(' ');
    const std::string className = trimmed.substr(0, blank);
    const std::string_view attributes =
        blank == std::string::npos ? std::string_view() : std::string_view(trimmed).substr(blank);
    const TClassInfo& cls = FindClass(className);
    if (!cls.InheritsFrom(TpgwComponent::StaticClass()))
        throw EClassNotFound("Class " + className + " not found");
    auto* obj = dynamic_cast<TpgwComponent*>(cls.Create(owner));
    if (!obj) throw EClassNotFound("Class " + className + " not found");
    reader_.SetRoot(owner_ ? owner_ : owner);
    reader_.BeginReferences();
    obj->SetReadingTemplate(true);
    try {
        XMLToProperties(attributes, obj);
        if (skipFixups) {
            reader_.EndReferences();
            fixups_.clear();
        } else {
            TComponent* saved = owner_;
            if (!owner_) owner_ = owner;
            FixupReferences();
            owner_ = saved;
        }
    } catch (...) {
        obj->SetReadingTemplate(false);
        delete obj;
        throw;
    }
    obj->SetReadingTemplate(false);
    if (!dynamic_cast<TpgwCustomReport*>(obj)) obj->Loaded();
    return obj;
}

void TpgwXMLSerializer::ReadCollectionItem(TComponent* root, TPersistent* item,
                                           std::string_view text) {
    TComponent* saved = owner_;
    if (!owner_) owner_ = root;
    reader_.SetRoot(root);
    reader_.BeginReferences();
    XMLToProperties(text, item);
    FixupReferences();
    owner_ = saved;
}

// ---- collections in the property stream --------------------------------------------------------

namespace {

// The byte form the class library wrote into collections: a byte 1 then b stands for b + 128.
std::string unescapeSevenBit(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\x01' && i + 1 < s.size()) {
            out += static_cast<char>(static_cast<unsigned char>(s[i + 1]) + 128);
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

void WriteCollectionData(TCollection& collection, TWriter& writer, TpgwComponent* component) {
    if (!component || !component->WritingTemplate()) {
        writer.WriteCollection(collection);
        return;
    }
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SetOwner(component->Report());
    writer.WriteListBegin();
    for (int i = 0; i < collection.Count(); ++i) {
        writer.WriteListBegin();
        // The attribute text is legacy bytes; the writer stores UTF-8 in the legacy code page.
        const std::string text = serializer.PropertiesToXML(collection.Items(i), "", nullptr);
        writer.WriteLongString(isAscii(text) ? text : CodePageToUtf8Lossy(text));
        writer.WriteListEnd();
    }
    writer.WriteListEnd();
}

void ReadCollectionData(TCollection& collection, TReader& reader, TpgwComponent* component) {
    if (reader.NextValue() == TValueType::vaCollection) {
        reader.ReadCollection(collection);
        // Strings came through the stream's 7-bit escaping.
        for (int i = 0; i < collection.Count(); ++i) {
            TCollectionItem* item = collection.Items(i);
            for (const TPropInfo* info : item->ClassType().Properties()) {
                if (!info->IsReadable() || !info->IsWritable()) continue;
                if (info->Kind() == TTypeKind::tkLString) {
                    const std::string v = GetStrProp(*item, *info);
                    if (v.find('\x01') != std::string::npos)
                        SetStrProp(*item, *info, CodePageToUtf8Lossy(unescapeSevenBit(v)));
                } else if (info->Kind() == TTypeKind::tkVariant) {
                    const Variant v = GetVariantProp(*item, *info);
                    if (v.IsString() && v.StringValue().find('\x01') != std::string::npos)
                        SetVariantProp(
                            *item, *info,
                            Variant(CodePageToUtf8Lossy(unescapeSevenBit(v.StringValue()))));
                }
            }
        }
        return;
    }
    TpgwCustomReport* report = component ? component->Report() : nullptr;
    TpgwXMLSerializer* current = report ? report->CurrentSerializer() : nullptr;
    // The same list may come twice in one template: the items read first go, and with them
    // the references still waiting to be set into them.
    if (current)
        for (int i = 0; i < collection.Count(); ++i)
            current->DropFixups(collection.Items(i));
    collection.Clear();
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        reader.ReadListBegin();
        while (!reader.EndOfList()) {
            const std::string utf8 = reader.ReadString();
            TCollectionItem* item = collection.Add();
            // Give the serializer the bytes in the form its LegacyText setting expects.
            auto textFor = [&utf8](const TpgwXMLSerializer& s) {
                return s.LegacyText() && !isAscii(utf8) ? Utf8ToCodePageLossy(utf8) : utf8;
            };
            if (current) {
                current->XMLToProperties(textFor(*current), item);
            } else {
                TMemoryStream unused;
                TpgwXMLSerializer own(unused);
                own.ReadCollectionItem(report, item, textFor(own));
            }
        }
        reader.ReadListEnd();
    }
    reader.ReadListEnd();
}
