// TksScript: name table, registration, compiling, running, evaluating.
#include "script/script.h"

#include <algorithm>

#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "script/il_to_program.h"
#include "script/tools.h"

int ksCompareNames(std::string_view a, std::string_view b) { return AnsiCompareText(a, b); }

std::string ksUpperCase(std::string_view s) { return AnsiUpperCase(s); }

TksScript::TksScript(TComponent* owner)
    : TComponent(owner), MainBlock(std::make_unique<TksStatement>(this, std::string(), std::string())),
      lines_(std::make_unique<TStringList>()) {}

TksScript::~TksScript() {
    Clear();
    RemoveHostModules();
    for (std::size_t i = table_.size(); i-- > 0;) FreeEntry(i);
    table_.clear();
}

void TksScript::SetLines(const TStrings& value) { lines_->Assign(value); }

void TksScript::RegisterProperties(TClassBuilder<TksScript>& b) {
    b.Add(
        "Lines", [](TksScript& s) -> TStrings* { return &s.Lines(); },
        [](TksScript& s, TStrings* value) {
            if (value) s.SetLines(*value);
        });
    b.Add("SyntaxType", &TksScript::SyntaxType, &TksScript::SetSyntaxType);
}

TksScript* TksScript::Root() {
    TksScript* s = this;
    while (s->Parent) s = s->Parent;
    return s;
}

TksScript* TksScript::MainProgram() {
    for (TksScript* s = this; s; s = s->Parent)
        if (s->IsMainProgram) return s;
    return Root();
}

// ---- name table -------------------------------------------------------------------------------

std::size_t TksScript::LowerBound(std::string_view name) const {
    auto it = std::lower_bound(table_.begin(), table_.end(), name,
                               [](const Entry& e, std::string_view n) {
                                   return ksCompareNames(e.Name, n) < 0;
                               });
    return static_cast<std::size_t>(it - table_.begin());
}

void TksScript::Insert(std::string_view name, TObject* object, bool owned) {
    Entry e;
    e.Name = std::string(name);
    e.Object = object;
    e.Var = dynamic_cast<TksCustomVariable*>(object);
    e.Owned = owned;
    if (e.Var) e.Var->OwnerTag = OwnerTag;
    // In front of the entries of the same name, so the newest shadows them.
    table_.insert(table_.begin() + static_cast<std::ptrdiff_t>(LowerBound(name)), std::move(e));
}

void TksScript::AddItem(std::string_view name, std::unique_ptr<TObject> item) {
    Insert(name, item.release(), true);
}

void TksScript::AddItemRef(std::string_view name, TObject* item) { Insert(name, item, false); }

void TksScript::FreeEntry(std::size_t index) {
    Entry& e = table_[index];
    if (e.Owned) delete e.Object;
    e.Object = nullptr;
    e.Var = nullptr;
}

std::unique_ptr<TObject> TksScript::Remove(TObject* item) {
    for (std::size_t i = 0; i < table_.size(); ++i) {
        if (table_[i].Object != item) continue;
        const bool owned = table_[i].Owned;
        table_.erase(table_.begin() + static_cast<std::ptrdiff_t>(i));
        if (owned) return std::unique_ptr<TObject>(item);
        return nullptr;
    }
    return nullptr;
}

TksCustomVariable* TksScript::FindOwn(std::string_view name) const {
    std::size_t i = LowerBound(name);
    if (i < table_.size() && ksCompareNames(table_[i].Name, name) == 0) return table_[i].Var;
    return nullptr;
}

TksCustomVariable* TksScript::Find(std::string_view name) const {
    for (const TksScript* s = this; s; s = s->Parent)
        if (TksCustomVariable* v = s->FindOwn(name)) return v;
    return nullptr;
}

TksClassVariable* TksScript::FindClass(std::string_view name) const {
    return dynamic_cast<TksClassVariable*>(Find(name));
}

void TksScript::Clear() {
    MainBlock->Clear();
    std::vector<Entry> keep;
    std::vector<Entry> drop;
    for (Entry& e : table_) {
        const bool module = dynamic_cast<TksRTTIModule*>(e.Object) != nullptr;
        if (module || (e.Var && e.Var->OwnerTag == ksHostTag))
            keep.push_back(std::move(e));
        else
            drop.push_back(std::move(e));
    }
    table_ = std::move(keep);
    // Procedures first: their programs refer to the variables of this one.
    for (Entry& e : drop)
        if (e.Owned && dynamic_cast<TksProcVariable*>(e.Object)) {
            delete e.Object;
            e.Object = nullptr;
        }
    for (Entry& e : drop)
        if (e.Owned) delete e.Object;
    StatementLines.clear();
    ErrorPosition.clear();
    ErrorText.clear();
    ErrorUnitName.clear();
}

void TksScript::RemoveOwnedItems(const void* tag) {
    for (std::size_t i = table_.size(); i-- > 0;) {
        Entry& e = table_[i];
        if (e.Var && e.Var->OwnerTag == tag) {
            FreeEntry(i);
            table_.erase(table_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void TksScript::ClearOwnedItems(const void* tag) {
    MainBlock->Clear();
    RemoveOwnedItems(tag);
    StatementLines.clear();
}

void TksScript::AddHostModules() {
    if (HostModulesAdded) return;
    const void* saved = OwnerTag;
    OwnerTag = ksHostTag;
    if (std::vector<TksHostModuleEntry>* list = HostModuleList()) {
        for (const TksHostModuleEntry& m : *list) AddItem("", m.Create(this));
    }
    OwnerTag = saved;
    HostModulesAdded = true;
}

void TksScript::RemoveHostModules() {
    if (!HostModulesAdded) return;
    for (std::size_t i = table_.size(); i-- > 0;) {
        Entry& e = table_[i];
        if (dynamic_cast<TksRTTIModule*>(e.Object) || (e.Var && e.Var->OwnerTag == ksHostTag)) {
            FreeEntry(i);
            table_.erase(table_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    HostModulesAdded = false;
}

// ---- registration -----------------------------------------------------------------------------

TksClassVariable* TksScript::AddClass(const TClassInfo& classRef, std::string_view ancestorName) {
    if (Find(classRef.ClassName())) return nullptr;
    auto item = std::make_unique<TksClassVariable>(classRef, std::string(ancestorName), this);
    TksClassVariable* raw = item.get();
    AddItem(classRef.ClassName(), std::move(item));
    if (TksClassVariable* ancestor = FindClass(ancestorName))
        if (ancestor != raw) raw->DefaultProperty = ancestor->DefaultProperty;
    return raw;
}

TksCustomVariable* TksScript::AddConst(std::string_view name, std::string_view typeName,
                                       const Variant& value) {
    if (TksCustomVariable* found = Find(name)) return found;
    auto v = std::make_unique<TksVariable>(std::string(name), std::string(typeName),
                                           ItemVarType(typeName, this));
    v->SetValue(value);
    v->ReadOnly = true;
    TksVariable* raw = v.get();
    AddItem(name, std::move(v));
    return raw;
}

namespace {

std::vector<std::string> SplitNames(std::string_view names) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos <= names.size()) {
        std::size_t comma = names.find(',', pos);
        if (comma == std::string_view::npos) comma = names.size();
        std::string part(names.substr(pos, comma - pos));
        part = Trim(part);
        if (!part.empty()) out.push_back(part);
        pos = comma + 1;
    }
    return out;
}

} // namespace

void TksScript::AddEnum(std::string_view typeName, std::string_view names) {
    AddItem(typeName, std::make_unique<TksVariable>(std::string(typeName), std::string(typeName), kvtEnum));
    int i = 0;
    for (const std::string& n : SplitNames(names)) {
        auto v = std::make_unique<TksVariable>(n, std::string(typeName), kvtEnum);
        v->Value = Variant(i++);
        v->ReadOnly = true;
        AddItem(n, std::move(v));
    }
}

void TksScript::AddSetType(std::string_view typeName, std::string_view names) {
    AddItem(typeName, std::make_unique<TksVariable>(std::string(typeName), std::string(typeName), kvtEnum));
    int i = 0;
    for (const std::string& n : SplitNames(names)) {
        auto v = std::make_unique<TksVariable>(n, std::string(typeName), kvtEnum);
        v->Value = Variant(static_cast<int>(1u << (i++ & 31)));
        v->ReadOnly = true;
        AddItem(n, std::move(v));
    }
}

void TksScript::AddFormTree(TComponent* form) {
    if (!form) return;
    const TClassInfo& cls = form->ClassType();
    TksClassVariable* item = FindClass(cls.ClassName());
    if (!item) {
        const char* ancestor = nullptr;
        if (cls.InheritsFrom("TForm"))
            ancestor = "TForm";
        else if (cls.InheritsFrom("TDataModule"))
            ancestor = "TDataModule";
        else if (cls.InheritsFrom("TFrame"))
            ancestor = "TFrame";
        if (!ancestor) return;
        item = AddClass(cls, ancestor);
        if (!item) return;
    }
    for (int i = 0; i < form->ComponentCount(); ++i) item->AddChildComponent(form->Components(i));
    AddObject(form->Name(), form);
}

void TksScript::AddComponentTree(TComponent* component) { AddFormTree(component); }

TksMethodHelper* TksScript::AddMethodHelper(std::string_view syntax, std::string_view category,
                                            std::string_view description) {
    auto m = std::make_unique<TksMethodHelper>(syntax, this);
    m->Category = std::string(category);
    m->Description = description.empty() ? m->Name() : std::string(description);
    TksMethodHelper* raw = m.get();
    std::string name = raw->Name();
    AddItem(name, std::move(m));
    return raw;
}

TksMethodHelper* TksScript::AddMethod(std::string_view syntax, TksMethodCallback callback,
                                      std::string_view category, std::string_view description) {
    TksMethodHelper* m = AddMethodHelper(syntax, category, description);
    m->Callback = std::move(callback);
    return m;
}

TksMethodHelper* TksScript::AddMethodParamArray(std::string_view syntax,
                                                TksArrayMethodCallback callback,
                                                std::string_view category,
                                                std::string_view description) {
    TksMethodHelper* m = AddMethodHelper(syntax, category, description);
    m->ArrayCallback = std::move(callback);
    return m;
}

TksCustomVariable* TksScript::AddObject(std::string_view name, TObject* object) {
    std::string className = "TObject";
    if (auto* p = dynamic_cast<TPersistent*>(object)) className = p->ClassType().ClassName();
    return AddVariable(name, className, ksObjectToValue(object));
}

TksCustomVariable* TksScript::AddVariable(std::string_view name, std::string_view typeName,
                                          const Variant& value) {
    if (TksCustomVariable* found = Find(name)) return found;
    const TksVarType type = ItemVarType(typeName, this);
    std::unique_ptr<TksVariable> v;
    if (type == kvtString || type == kvtChar)
        v = std::make_unique<TksStringVariable>(std::string(name), std::string(typeName), type);
    else
        v = std::make_unique<TksVariable>(std::string(name), std::string(typeName), type);
    v->SetValue(value);
    v->OnGetVarValue = OnGetVarValue;
    TksVariable* raw = v.get();
    AddItem(name, std::move(v));
    return raw;
}

TksCustomVariable* TksScript::AddType(std::string_view typeName, TksVarType varType) {
    if (TksCustomVariable* found = Find(typeName)) return found;
    auto t = std::make_unique<TksTypeVariable>(std::string(typeName), std::string(), varType);
    TksTypeVariable* raw = t.get();
    AddItem(typeName, std::move(t));
    return raw;
}

// ---- compiling and running --------------------------------------------------------------------

bool TksScript::Compile() {
    ErrorText.clear();
    ErrorUnitName.clear();
    try {
        TksILParser parser(*this);
        parser.LoadGrammar(syntaxType_);
        if (parser.SourceToIL(*lines_)) {
            TksProgramBuilder builder(parser, *this);
            builder.ILToProgram();
        }
    } catch (const Exception& e) {
        if (ErrorText.empty()) ErrorText = e.Message();
    }
    if (ErrorText.empty()) {
        ErrorPosition.clear();
        return true;
    }
    return false;
}

namespace {

// Resets the run flags of a program when its run ends, normally or by an error.
struct RunFlags {
    TksScript* s;
    explicit RunFlags(TksScript* script) : s(script) {
        s->ExitRequested = s->StopRequested = false;
        s->BreakRequested = s->ContinueRequested = false;
        s->Running = true;
    }
    ~RunFlags() {
        s->ExitRequested = s->StopRequested = s->Running = false;
        s->BreakRequested = s->ContinueRequested = false;
    }
};

} // namespace

void TksScript::Execute() {
    RunErrorPosition.clear();
    RunErrorUnitName.clear();
    IsMainProgram = true;
    RunFlags flags(this);
    MainBlock->Execute();
}

Variant TksScript::CallFunction(std::string_view name, const Variant& params) {
    Variant copy = params;
    auto* proc = dynamic_cast<TksProcVariable*>(FindOwn(name));
    if (!proc) return Variant::Null();
    if (copy.IsArray()) {
        const int high = VarArrayHighBound(copy, 1);
        const int low = VarArrayLowBound(copy, 1);
        for (int i = low; i <= high; ++i) {
            if (i - low >= proc->ParamCount())
                throw EListError("List index out of bounds (" + std::to_string(i - low) + ")");
            proc->Param(i - low)->SetValue(VarArrayGet(copy, {i}));
        }
    }
    Root()->RunErrorPosition.clear();
    return proc->GetValue();
}

Variant TksScript::CallFunctionVar(std::string_view name, Variant& params) {
    auto* proc = dynamic_cast<TksProcVariable*>(FindOwn(name));
    if (!proc) return Variant::Null();
    Variant result = CallFunction(name, params);
    if (params.IsArray()) {
        const int high = VarArrayHighBound(params, 1);
        const int low = VarArrayLowBound(params, 1);
        for (int i = low; i <= high && i - low < proc->ParamCount(); ++i)
            VarArrayPut(params, proc->Param(i - low)->Value, {i});
    }
    return result;
}

Variant TksScript::Evaluate(std::string_view expression) {
    TksScript* scope = ActiveProgram ? ActiveProgram : this;
    TksScript child(nullptr);
    if (!scope->HostModulesAdded) child.AddHostModules();
    child.Parent = scope;
    child.OnGetVarValue = scope->OnGetVarValue;
    child.HighCharIdentifiers = HighCharIdentifiers;
    TksRunLineEvent savedRunLine = std::move(OnRunLine);
    OnRunLine = nullptr;
    struct RestoreRunLine {
        TksScript* s;
        TksRunLineEvent& saved;
        ~RestoreRunLine() { s->OnRunLine = std::move(saved); }
    } restore{this, savedRunLine};
    child.SetSyntaxType(syntaxType_);
    const std::string expr(expression);
    std::string text;
    if (ksCompareNames(syntaxType_, "PascalScript") == 0)
        text = "function ksEvaluateFUNC: Variant; begin Result := " + expr + " end; begin end.";
    else if (ksCompareNames(syntaxType_, "C++Script") == 0)
        text = "Variant ksEvaluateFUNC() { return " + expr + "; } {}";
    else if (ksCompareNames(syntaxType_, "BasicScript") == 0)
        text = "function ksEvaluateFUNC\r\nreturn " + expr + "\r\nend function";
    else if (ksCompareNames(syntaxType_, "JScript") == 0)
        text = "function ksEvaluateFUNC() { return (" + expr + "); }";
    child.Lines().SetText(text);
    if (!child.Compile()) {
        // A compile error is an error, not a value that could pass for a string result.
        throw EScriptError(child.ErrorText);
    }
    TksCustomVariable* f = child.FindOwn("ksEvaluateFUNC");
    return f ? f->GetValue() : Variant::Null();
}

void TksScript::Terminate() {
    ExitRequested = true;
    StopRequested = true;
    for (const Entry& e : table_)
        if (auto* proc = dynamic_cast<TksProcVariable*>(e.Object)) proc->LocalProgram->Terminate();
}

void TksScript::SetVariable(std::string_view name, const Variant& value) {
    if (TksCustomVariable* v = Find(name))
        v->SetValue(value);
    else
        AddVariable(name, "Variant", value);
}

void TksScript::RunLine(const std::string& unitName, const std::string& sourcePos) {
    for (TksScript* s = this; s; s = s->Parent) {
        if (s->OnRunLine) {
            s->OnRunLine(this, unitName, sourcePos);
            return;
        }
    }
}

void TksScript::MarkStatementLine(const std::string& unitName, const std::string& sourcePos) {
    const std::size_t colon = sourcePos.find(':');
    int line = 0;
    try {
        line = std::stoi(sourcePos.substr(0, colon));
    } catch (const std::exception&) {
        return;
    }
    auto it = std::find_if(StatementLines.begin(), StatementLines.end(),
                           [&](const auto& p) { return p.first == unitName; });
    if (it == StatementLines.end()) {
        StatementLines.emplace_back(unitName, std::vector<int>());
        it = StatementLines.end() - 1;
    }
    auto pos = std::lower_bound(it->second.begin(), it->second.end(), line);
    if (pos == it->second.end() || *pos != line) it->second.insert(pos, line);
}

bool TksScript::IsStatementLine(int line, const std::string& unitName) const {
    for (const auto& p : StatementLines)
        if (p.first == unitName) return std::binary_search(p.second.begin(), p.second.end(), line);
    return false;
}
