// IL to program tree: declarations, statements, expressions and designators.
#include "script/il_to_program.h"

#include <algorithm>

#include "platform/core/object_handle.h"
#include "platform/core/persistent.h"
#include "script/il_parser.h"
#include "script/messages.h"
#include "script/parser.h"
#include "script/runtime.h"
#include "script/script.h"
#include "script/tools.h"
#include "script/xml_document.h"

namespace {

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string NameOf(const TksXMLItem& item) { return Lower(item.Name()); }

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

bool IsPlainVariable(const TksCustomVariable* item) {
    return dynamic_cast<const TksVariable*>(item) || dynamic_cast<const TksParamItem*>(item);
}

} // namespace

TksProgramBuilder::TksProgramBuilder(TksILParser& parser, TksScript& script)
    : parser_(&parser), script_(script) {
    if (const TksXMLItem* g = parser.GrammarRoot()) {
        int i = g->Find("types");
        if (i >= 0) grammarTypes_ = g->Items(i);
    }
    declarationsRequired_ = parser.DeclarationsRequired();
    const std::string lang = Lower(parser.LanguageName());
    cLike_ = lang == "c++script" || lang == "jscript";
}

TksProgramBuilder::TksProgramBuilder(TksScript& script) : parser_(nullptr), script_(script) {
    running_ = true;
}

void TksProgramBuilder::ILToProgram() {
    withList_.clear();
    script_.ErrorUnitName.clear();
    unitName_.clear();
    parser_->SetUnitName(std::string());
    try {
        BuildProgram(*parser_->ILDocument().Root(), script_);
        script_.ErrorPosition.clear();
    } catch (const Exception& e) {
        script_.ErrorText = e.Message().empty() ? std::string("Error") : e.Message();
        script_.ErrorPosition = errorPos_;
        script_.ErrorUnitName = unitName_;
    }
}

std::unique_ptr<TksDesignator> TksProgramBuilder::BuildRuntimeDesignator(TksScript& script,
                                                                         const TksXMLItem& il) {
    TksProgramBuilder b(script);
    b.declarationsRequired_ = false;
    return b.BuildDesignator(il, script, Mode::Plain);
}

void TksProgramBuilder::SetPos(const TksXMLItem& element) {
    std::string pos = element.Prop("pos");
    if (!pos.empty()) errorPos_ = std::move(pos);
}

void TksProgramBuilder::Fail(const std::string& message) { throw Exception(message); }

// ---- program elements -------------------------------------------------------------------------

void TksProgramBuilder::BuildProgram(const TksXMLItem& element, TksScript& s) {
    const TksXMLItem* saved = currentProgram_;
    currentProgram_ = &element;
    DeclarePass(element, s);
    for (int i = 0; i < element.Count(); ++i) BuildStatement(*element.Items(i), *s.MainBlock, s);
    currentProgram_ = saved;
}

void TksProgramBuilder::DeclarePass(const TksXMLItem& element, TksScript& s) {
    for (int i = 0; i < element.Count(); ++i) {
        const TksXMLItem& c = *element.Items(i);
        const std::string n = NameOf(c);
        if (n == "compoundstmt")
            DeclarePass(c, s);
        else if (n == "procedure")
            DeclareProc(c, s, false);
        else if (n == "function")
            DeclareProc(c, s, true);
    }
}

void TksProgramBuilder::DeclareProc(const TksXMLItem& element, TksScript& s, bool isFunction) {
    SetPos(element);
    std::string name;
    std::string typeText;
    bool hasType = false;
    if (!isFunction) {
        if (element.Count() > 0) name = element.Items(0)->Prop("text");
    } else {
        for (int i = 0; i < element.Count(); ++i) {
            const TksXMLItem& c = *element.Items(i);
            const std::string n = NameOf(c);
            if (n == "name" && name.empty()) name = c.Prop("text");
            if (n == "type" && !hasType) {
                typeText = c.Prop("text");
                hasType = true;
            }
        }
    }
    if (s.FindOwn(name)) Fail(ksMessages().SIdRedeclared + Quoted(name));
    TksVarType type = kvtVariant;
    std::string typeName = "Variant";
    if (isFunction && hasType) {
        if (Lower(typeText) == "void") {
            isFunction = false;
        } else {
            auto t = TypeFromName(typeText, s);
            type = t.first;
            typeName = t.second;
        }
    }
    auto proc = std::make_unique<TksProcVariable>(name, isFunction ? typeName : std::string(),
                                                  isFunction ? type : kvtVariant, isFunction, &s);
    proc->SourcePosition = element.Prop("pos");
    proc->SourceUnitName = unitName_;
    TksProcVariable* raw = proc.get();
    s.AddItem(name, std::move(proc));
    for (int i = 0; i < element.Count(); ++i) {
        const TksXMLItem& c = *element.Items(i);
        if (NameOf(c) != "parameters") continue;
        bool byRef = false;
        for (int j = 0; j < c.Count(); ++j) {
            const TksXMLItem& g = *c.Items(j);
            const std::string n = NameOf(g);
            if (n == "varparams") {
                byRef = true;
            } else if (n == "var") {
                BuildVar(g, *s.MainBlock, *raw->LocalProgram, raw, byRef);
                byRef = false;
            }
        }
    }
}

void TksProgramBuilder::BuildChildren(const TksXMLItem& element, TksStatement& list, TksScript& s) {
    for (int i = 0; i < element.Count(); ++i) BuildStatement(*element.Items(i), list, s);
}

// ---- statements -------------------------------------------------------------------------------

void TksProgramBuilder::BuildStatement(const TksXMLItem& element, TksStatement& list,
                                       TksScript& s) {
    SetPos(element);
    const std::string n = NameOf(element);
    const std::string pos = element.Prop("pos");
    bool statement = true;
    auto add = [&](std::unique_ptr<TksStatement> st) { list.Add(std::move(st)); };

    if (n == "assignstmt") {
        BuildAssign(element, list, s);
    } else if (n == "callstmt" || n == "delete") {
        auto st = std::make_unique<TksCallStmt>(&s, pos, unitName_);
        st->Designator = BuildDesignator(*element.Items(0), s,
                                         n == "delete" ? Mode::Destruction : Mode::Plain);
        if (n == "callstmt" && element.Count() > 1) {
            st->Modifier = element.Items(1)->Prop("text");
            if (st->Designator->ReadOnly) Fail(ksMessages().SLeftCantAssigned);
        }
        add(std::move(st));
    } else if (n == "ifstmt") {
        auto st = std::make_unique<TksIfStmt>(&s, pos, unitName_);
        st->Condition = BuildExpr(*element.Items(0), s);
        for (int i = 1; i < element.Count(); ++i) {
            const TksXMLItem& c = *element.Items(i);
            if (NameOf(c) == "thenstmt")
                BuildChildren(c, *st, s);
            else if (NameOf(c) == "elsestmt")
                BuildChildren(c, *st->ElsePart, s);
        }
        add(std::move(st));
    } else if (n == "casestmt") {
        auto st = std::make_unique<TksCaseStmt>(&s, pos, unitName_);
        st->BreakLeavesCase = cLike_;
        st->Selector = BuildExpr(*element.Items(0), s);
        for (int i = 1; i < element.Count(); ++i) {
            const TksXMLItem& c = *element.Items(i);
            if (NameOf(c) == "caseselector") {
                SetPos(c);
                // A branch without a statement still takes its values: they must not fall
                // through to the else part.
                auto sel = std::make_unique<TksCaseSelector>(&s, c.Prop("pos"), unitName_);
                if (c.Count() >= 1) sel->Values = BuildSet(*c.Items(0), s);
                for (int j = 1; j < c.Count(); ++j) BuildStatement(*c.Items(j), *sel, s);
                if (sel->Values) st->Add(std::move(sel));
            } else if (i == element.Count() - 1) {
                BuildStatement(c, *st->ElsePart, s);
            }
        }
        add(std::move(st));
    } else if (n == "forstmt") {
        auto st = std::make_unique<TksForStmt>(&s, pos, unitName_);
        st->LoopVariable = LoopVariable(*element.Items(0), s);
        int i = 1;
        st->StartValue = BuildExpr(*element.Items(i++), s);
        if (i < element.Count() && NameOf(*element.Items(i)) == "downto") {
            st->DownTo = true;
            ++i;
        }
        if (i < element.Count()) st->FinalValue = BuildExpr(*element.Items(i++), s);
        else Fail(ksMessages().SStatementExpected);
        CheckType(*st->LoopVariable, *st->StartValue, s);
        CheckType(*st->LoopVariable, *st->FinalValue, s);
        for (; i < element.Count(); ++i) BuildStatement(*element.Items(i), *st, s);
        add(std::move(st));
    } else if (n == "vbforstmt") {
        auto st = std::make_unique<TksVbForStmt>(&s, pos, unitName_);
        st->LoopVariable = LoopVariable(*element.Items(0), s);
        if (element.Count() < 3) Fail(ksMessages().SStatementExpected);
        st->StartValue = BuildExpr(*element.Items(1), s);
        st->FinalValue = BuildExpr(*element.Items(2), s);
        int i = 3;
        if (i < element.Count() && NameOf(*element.Items(i)) == "expr") {
            st->StepValue = BuildExpr(*element.Items(i++), s);
            CheckType(*st->LoopVariable, *st->StepValue, s);
        }
        for (; i < element.Count(); ++i) BuildStatement(*element.Items(i), *st, s);
        add(std::move(st));
    } else if (n == "cppforstmt") {
        auto st = std::make_unique<TksCppForStmt>(&s, pos, unitName_);
        if (element.Count() > 0) BuildStatement(*element.Items(0), *st->InitPart, s);
        if (element.Count() > 1 && NameOf(*element.Items(1)) == "expr")
            st->Expression = BuildExpr(*element.Items(1), s);
        if (element.Count() > 2) BuildStatement(*element.Items(2), *st->NextPart, s);
        for (int i = 3; i < element.Count(); ++i) BuildStatement(*element.Items(i), *st, s);
        add(std::move(st));
    } else if (n == "whilestmt") {
        auto st = std::make_unique<TksWhileStmt>(&s, pos, unitName_);
        st->Condition = BuildExpr(*element.Items(0), s);
        for (int i = 1; i < element.Count(); ++i) BuildStatement(*element.Items(i), *st, s);
        add(std::move(st));
    } else if (n == "repeatstmt") {
        auto st = std::make_unique<TksRepeatStmt>(&s, pos, unitName_);
        int last = element.Count() - 1;
        if (last >= 0 && NameOf(*element.Items(last)) == "inverse") {
            st->Inverse = true;
            --last;
        }
        if (last < 0) Fail(ksMessages().SStatementExpected);
        for (int i = 0; i < last; ++i) BuildStatement(*element.Items(i), *st, s);
        st->Condition = BuildExpr(*element.Items(last), s);
        add(std::move(st));
    } else if (n == "trystmt") {
        auto st = std::make_unique<TksTryStmt>(&s, pos, unitName_);
        for (int i = 0; i < element.Count(); ++i) {
            const TksXMLItem& c = *element.Items(i);
            const std::string cn = NameOf(c);
            if (cn == "exceptstmt") {
                st->HasExceptPart = true;
                BuildChildren(c, *st->HandlerPart, s);
            } else if (cn == "finallystmt") {
                BuildChildren(c, *st->HandlerPart, s);
            } else {
                BuildStatement(c, *st, s);
            }
        }
        add(std::move(st));
    } else if (n == "break") {
        add(std::make_unique<TksBreakStmt>(&s, pos, unitName_));
    } else if (n == "continue") {
        add(std::make_unique<TksContinueStmt>(&s, pos, unitName_));
    } else if (n == "exit") {
        add(std::make_unique<TksExitStmt>(&s, pos, unitName_));
    } else if (n == "return") {
        if (element.Count() > 0) {
            const TksXMLItem& value = *element.Items(0);
            TksXMLItem dsgn;
            dsgn.SetName("dsgn");
            dsgn.SetProp("pos", value.Prop("pos"));
            TksXMLItem* node = dsgn.Add();
            node->SetName("node");
            node->SetProp("text", "Result");
            node->SetProp("pos", value.Prop("pos"));
            auto dest = BuildDesignator(dsgn, s, Mode::Plain);
            auto e = BuildExpr(value, s);
            if (dest->ReadOnly) Fail(ksMessages().SLeftCantAssigned);
            CheckType(*dest, *e, s);
            add(MakeAssignment(std::move(dest), std::move(e), std::string(), s, pos));
        }
        add(std::make_unique<TksExitStmt>(&s, pos, unitName_));
    } else if (n == "with") {
        BuildWith(element, list, s);
        statement = false;
    } else if (n == "compoundstmt") {
        BuildChildren(element, list, s);
        statement = false;
    } else if (n == "uses") {
        BuildUses(element, s);
        statement = false;
    } else if (n == "var") {
        BuildVar(element, list, s, nullptr, false);
        statement = false;
    } else if (n == "const") {
        BuildConst(element, s);
        statement = false;
    } else if (n == "procedure" || n == "function") {
        std::string name;
        if (n == "procedure") {
            if (element.Count() > 0) name = element.Items(0)->Prop("text");
        } else {
            int i = element.Find("name");
            if (i >= 0) name = element.Items(i)->Prop("text");
        }
        auto* proc = dynamic_cast<TksProcVariable*>(s.FindOwn(name));
        if (!proc) Fail(ksMessages().SIdUndeclared + Quoted(name));
        BuildProgram(element, *proc->LocalProgram);
        statement = false;
    } else {
        statement = false;
    }
    if (statement && !pos.empty()) script_.MarkStatementLine(unitName_, pos);
}

void TksProgramBuilder::BuildAssign(const TksXMLItem& element, TksStatement& list, TksScript& s) {
    auto dest = BuildDesignator(*element.Items(0), s, Mode::Plain);
    std::string op;
    std::unique_ptr<TksExpression> value;
    if (element.Count() > 2 && NameOf(*element.Items(1)) == "modificator") {
        op = element.Items(1)->Prop("text");
        value = BuildExpr(*element.Items(2), s);
    } else {
        if (element.Count() < 2) Fail(ksMessages().SStatementExpected);
        value = BuildExpr(*element.Items(1), s);
    }
    SetPos(*element.Items(0));
    if (dest->ReadOnly) Fail(ksMessages().SLeftCantAssigned);
    CheckType(*dest, *value, s);
    if (op.empty()) {
        std::string folded = value->FoldAssignment(*dest);
        if (folded != " ") op = folded;
    }
    list.Add(MakeAssignment(std::move(dest), std::move(value), op, s, element.Prop("pos")));
}

std::unique_ptr<TksStatement> TksProgramBuilder::MakeAssignment(
    std::unique_ptr<TksDesignator> destination, std::unique_ptr<TksExpression> value,
    std::string op, TksScript& s, const std::string& pos) {
    std::unique_ptr<TksAssignmentStmt> st;
    if (op == "*")
        st = std::make_unique<TksAssignMulStmt>(&s, pos, unitName_);
    else if (op == "+")
        st = std::make_unique<TksAssignPlusStmt>(&s, pos, unitName_);
    else if (op == "-")
        st = std::make_unique<TksAssignMinusStmt>(&s, pos, unitName_);
    else if (op == "/")
        st = std::make_unique<TksAssignDivStmt>(&s, pos, unitName_);
    else
        st = std::make_unique<TksAssignmentStmt>(&s, pos, unitName_);
    st->Destination = std::move(destination);
    st->Expression = std::move(value);
    st->BindShortcuts();
    return st;
}

void TksProgramBuilder::BuildWith(const TksXMLItem& element, TksStatement& list, TksScript& s) {
    const std::size_t added = withList_.size();
    for (int i = 0; i + 1 < element.Count(); ++i) {
        const TksXMLItem& c = *element.Items(i);
        SetPos(c);
        auto d = BuildDesignator(c, s, Mode::Plain);
        if (d->VarType != kvtClass && d->VarType != kvtVariant) Fail(ksMessages().SClassRequired);
        std::string name;
        for (int k = 0;; ++k) {
            name = "_WithList_" + std::to_string(k);
            bool used = script_.Find(name) || s.Find(name);
            for (const auto& w : withList_)
                if (ksCompareNames(w.Name, name) == 0) used = true;
            if (!used) break;
        }
        auto var = std::make_unique<TksVariable>(name, d->TypeName, d->VarType);
        TksVariable* raw = var.get();
        s.AddItem(name, std::move(var));
        auto st = std::make_unique<TksWithStmt>(&s, c.Prop("pos"), unitName_);
        st->Designator = std::move(d);
        st->HiddenVariable = raw;
        list.Add(std::move(st));
        withList_.push_back({name, raw});
    }
    if (element.Count() > 0) BuildStatement(*element.Items(element.Count() - 1), list, s);
    withList_.resize(added);
}

void TksProgramBuilder::BuildUses(const TksXMLItem& element, TksScript& s) {
    const std::string saved = unitName_;
    unitName_ = element.Prop("unit");
    if (parser_) parser_->SetUnitName(unitName_);
    std::string ilText;
    if (script_.OnGetILUnit) script_.OnGetILUnit(&script_, unitName_, ilText);
    if (!ilText.empty()) {
        TksXMLDocument doc;
        doc.LoadFromText(ilText);
        BuildProgram(*doc.Root(), s);
    } else {
        for (int i = 0; i < element.Count(); ++i) BuildProgram(*element.Items(i), s);
    }
    unitName_ = saved;
    if (parser_) parser_->SetUnitName(saved);
}

// ---- declarations -----------------------------------------------------------------------------

std::pair<TksVarType, std::string> TksProgramBuilder::TypeFromName(const std::string& name,
                                                                   TksScript& s) {
    std::string typeName = name;
    auto lookIn = [&](const TksXMLItem* types) {
        if (!types) return false;
        int i = types->Find(name);
        if (i < 0) return false;
        std::string t = types->Items(i)->Prop("type");
        if (!t.empty()) typeName = t;
        return true;
    };
    bool found = false;
    if (currentProgram_) {
        int i = currentProgram_->Find("types");
        if (i >= 0) found = lookIn(currentProgram_->Items(i));
    }
    if (!found) lookIn(grammarTypes_);
    if (TksCustomVariable* item = s.Find(typeName)) return {item->VarType, typeName};
    if (!s.FindClass(typeName)) Fail(ksMessages().SUnknownType + Quoted(typeName));
    return {kvtClass, typeName};
}

Variant TksProgramBuilder::EvaluateNow(const TksXMLItem& exprElement, TksScript& s) {
    auto e = BuildExpr(exprElement, s);
    return e->GetValue();
}

void TksProgramBuilder::BuildVar(const TksXMLItem& element, TksStatement& list, TksScript& s,
                                 TksProcVariable* paramsOf, bool byRefGroup) {
    SetPos(element);
    int typeIndex = element.Find("type");
    std::string typeText = typeIndex >= 0 ? element.Items(typeIndex)->Prop("text") : "Variant";
    const bool typeFirst = typeIndex == 0;
    auto [type, typeName] = TypeFromName(typeText, s);
    for (int i = 0; i < element.Count(); ++i) {
        const TksXMLItem& identEl = *element.Items(i);
        if (NameOf(identEl) != "ident") continue;
        SetPos(identEl);
        const std::string name = identEl.Prop("text");
        bool byRef = byRefGroup || (i > 0 && NameOf(*element.Items(i - 1)) == "varparam");
        if (s.FindOwn(name)) Fail(ksMessages().SIdRedeclared + Quoted(name));
        const TksXMLItem* arrayEl = nullptr;
        const TksXMLItem* initEl = nullptr;
        for (int j = i + 1; j < element.Count(); ++j) {
            const TksXMLItem& c = *element.Items(j);
            const std::string cn = NameOf(c);
            if (typeFirst && cn == "ident") break;
            if (cn == "array" && !arrayEl) arrayEl = &c;
            if (cn == "init" && !initEl) initEl = &c;
        }
        TksVarType vt = type;
        Variant initial = Variant::Null();
        switch (vt) {
        case kvtBool: initial = Variant(false); break;
        case kvtChar:
        case kvtString: initial = Variant(std::string()); break;
        case kvtInt:
        case kvtFloat:
        case kvtClass: initial = Variant(0); break;
        default: break;
        }
        std::unique_ptr<TksArrayHelper> helper;
        if (arrayEl) {
            std::vector<int> bounds;
            for (int d = 0; d < arrayEl->Count(); ++d) {
                const TksXMLItem& dim = *arrayEl->Items(d);
                if (NameOf(dim) != "dim") continue;
                SetPos(dim);
                std::vector<const TksXMLItem*> exprs;
                for (int k = 0; k < dim.Count(); ++k)
                    if (NameOf(*dim.Items(k)) == "expr") exprs.push_back(dim.Items(k));
                if (exprs.size() >= 2) {
                    bounds.push_back(EvaluateNow(*exprs[0], s).AsInteger());
                    bounds.push_back(EvaluateNow(*exprs[1], s).AsInteger());
                } else if (exprs.size() == 1) {
                    bounds.push_back(0);
                    bounds.push_back(EvaluateNow(*exprs[0], s).AsInteger() - 1);
                }
            }
            if (bounds.empty()) bounds = {0, 0};
            SetPos(identEl);
            initial = VarArrayCreate(std::span<const int>(bounds), varVariant);
            helper = std::make_unique<TksArrayHelper>("", typeName, type,
                                                      static_cast<int>(bounds.size() / 2));
            vt = kvtArray;
        }
        std::unique_ptr<TksCustomVariable> item;
        TksCustomVariable* raw = nullptr;
        if (paramsOf) {
            auto p = std::make_unique<TksParamItem>(name, byRef, initEl != nullptr, typeName, vt);
            if (initEl && initEl->Count() > 0) {
                p->DefaultValue = EvaluateNow(*initEl->Items(0), s);
                p->Optional = true;
            }
            raw = p.get();
            p->Value = initial;
            p->SourcePosition = identEl.Prop("pos");
            p->SourceUnitName = unitName_;
            paramsOf->AddProcParam(std::move(p));
            continue;
        }
        if (vt == kvtChar || vt == kvtString) {
            auto v = std::make_unique<TksStringVariable>(name, typeName, vt);
            v->OnGetVarValue = script_.OnGetVarValue;
            item = std::move(v);
        } else {
            auto v = std::make_unique<TksVariable>(name, typeName, vt);
            v->OnGetVarValue = script_.OnGetVarValue;
            item = std::move(v);
        }
        item->Value = initial;
        item->SourcePosition = identEl.Prop("pos");
        item->SourceUnitName = unitName_;
        if (helper) {
            item->Linked = helper.get();
            s.AddItem("", std::move(helper));
        }
        raw = item.get();
        s.AddItem(name, std::move(item));
        if (initEl && initEl->Count() > 0) {
            auto dest = std::make_unique<TksVariableDesignator>(&s);
            TksDesignatorItem step;
            step.Target = raw;
            dest->Steps.push_back(std::move(step));
            dest->Classify();
            auto value = BuildExpr(*initEl->Items(0), s);
            CheckType(*dest, *value, s);
            list.Add(MakeAssignment(std::move(dest), std::move(value), std::string(), s,
                                    element.Prop("pos")));
        }
    }
}

void TksProgramBuilder::BuildConst(const TksXMLItem& element, TksScript& s) {
    int identIndex = element.Find("ident");
    if (identIndex < 0 || element.Count() < 2) Fail(ksMessages().SStatementExpected);
    const std::string name = element.Items(identIndex)->Prop("text");
    SetPos(*element.Items(identIndex));
    if (s.FindOwn(name)) Fail(ksMessages().SIdRedeclared + Quoted(name));
    auto e = BuildExpr(*element.Items(1), s);
    Variant value = e->GetValue();
    auto v = std::make_unique<TksVariable>(name, e->TypeName.empty() ? e->TypeText() : e->TypeName,
                                           e->VarType);
    v->SetValue(value);
    v->ReadOnly = true;
    v->SourcePosition = element.Items(identIndex)->Prop("pos");
    v->SourceUnitName = unitName_;
    s.AddItem(name, std::move(v));
}

TksCustomVariable* TksProgramBuilder::ImplicitVariable(const std::string& name, TksScript&) {
    auto v = std::make_unique<TksVariable>(name, "Variant", kvtVariant);
    v->OnGetVarValue = script_.OnGetVarValue;
    TksVariable* raw = v.get();
    script_.AddItem(name, std::move(v));
    return raw;
}

TksCustomVariable* TksProgramBuilder::LoopVariable(const TksXMLItem& ident, TksScript& s) {
    SetPos(ident);
    const std::string name = ident.Prop("text");
    TksCustomVariable* item = s.Find(name);
    if (!item) {
        if (declarationsRequired_) Fail(ksMessages().SIdUndeclared + Quoted(name));
        item = ImplicitVariable(name, s);
    }
    if (!IsPlainVariable(item) ||
        (item->VarType != kvtInt && item->VarType != kvtFloat && item->VarType != kvtVariant))
        Fail(ksMessages().SForError);
    return item;
}

void TksProgramBuilder::CheckType(const TksCustomVariable& item, const TksExpression& e,
                                  TksScript& s) {
    if (!CheckCompatible(item, e.VarType, e.TypeName, &s)) {
        if (!e.SourcePosition.empty()) errorPos_ = e.SourcePosition;
        Fail(ksMessages().SIncompatibleTypes + ": " + Quoted(item.TypeText()) + ", " +
             Quoted(e.TypeText()));
    }
}

// ---- expressions ------------------------------------------------------------------------------

std::unique_ptr<TksExpression> TksProgramBuilder::BuildExpr(const TksXMLItem& element,
                                                            TksScript& s) {
    SetPos(element);
    auto e = std::make_unique<TksExpression>(&s);
    e->SourcePosition = element.Prop("pos");
    AddExprChildren(*e, element, s);
    if (parser_) {
        TksPoint p0 = SourcePosToPoint(element.Prop("pos"));
        TksPoint p1 = SourcePosToPoint(element.Prop("pos1"));
        TksParser& lexer = parser_->Lexer();
        int a = lexer.PositionFromPoint(p0.X, p0.Y);
        int b = lexer.PositionFromPoint(p1.X, p1.Y);
        std::string_view text = lexer.Text();
        if (a >= 1 && b >= a && b - 1 <= static_cast<int>(text.size())) {
            std::string src(text.substr(static_cast<std::size_t>(a - 1),
                                        static_cast<std::size_t>(b - a)));
            while (!src.empty() && (src.front() == ' ' || src.front() == '\t')) src.erase(0, 1);
            e->SourceText = std::move(src);
        }
    }
    std::string bad = e->Resolve();
    if (!bad.empty()) {
        errorPos_ = bad;
        Fail(ksMessages().SIncompatibleTypes);
    }
    return e;
}

void TksProgramBuilder::AddExprChildren(TksExpression& e, const TksXMLItem& element,
                                        TksScript& s) {
    for (int i = 0; i < element.Count(); ++i) {
        const TksXMLItem& c = *element.Items(i);
        SetPos(c);
        e.CurrentPosition = c.Prop("pos");
        const std::string n = NameOf(c);
        if (n == "op") {
            const std::string word = Lower(c.Prop("text"));
            if (word != ")" && i == element.Count() - 1) continue;
            e.AppendOperator(word);
        } else if (n == "number" || n == "string") {
            e.AppendConstant(ConvertLiteral(c.Prop("text")));
        } else if (n == "dsgn") {
            e.AppendDesignator(BuildDesignator(c, s, Mode::Plain));
        } else if (n == "set") {
            e.AppendSet(BuildSet(c, s));
        } else if (n == "new") {
            if (c.Count() == 0) Fail(ksMessages().SClassRequired);
            e.AppendDesignator(BuildDesignator(*c.Items(0), s, Mode::Construction));
        } else if (n == "expr") {
            AddExprChildren(e, c, s);
        }
    }
}

std::unique_ptr<TksSetExpression> TksProgramBuilder::BuildSet(const TksXMLItem& element,
                                                              TksScript& s) {
    auto set = std::make_unique<TksSetExpression>();
    for (int i = 0; i < element.Count(); ++i) {
        const TksXMLItem& c = *element.Items(i);
        const std::string n = NameOf(c);
        if (n == "expr")
            set->Elements.push_back(BuildExpr(c, s));
        else if (n == "range")
            set->Elements.push_back(nullptr);
    }
    return set;
}

TksCustomVariable* TksProgramBuilder::Helper(const char* name, TksScript& s) {
    if (TksCustomVariable* h = s.Find(name)) return h;
    // The built-in library registers both helpers; a bare script gets its own.
    std::unique_ptr<TksCustomVariable> made;
    if (std::string_view(name) == "__StringHelper")
        made = std::make_unique<TksStringHelper>();
    else
        made = std::make_unique<TksArrayHelper>(name, "Variant", kvtVariant, -1);
    TksCustomVariable* raw = made.get();
    TksScript& root = *script_.Root();
    const void* savedTag = root.OwnerTag;
    root.OwnerTag = ksHostTag;
    root.AddItem(name, std::move(made));
    root.OwnerTag = savedTag;
    return raw;
}

std::unique_ptr<TksDesignator> TksProgramBuilder::BuildDesignator(const TksXMLItem& element,
                                                                  TksScript& s, Mode mode) {
    SetPos(element);
    auto d = std::make_unique<TksDesignator>(&s);
    auto pending = [&](const TksXMLItem* withVar) {
        d->Steps.clear();
        auto il = std::make_unique<TksXMLItem>();
        il->Assign(&element);
        if (withVar) {
            auto* node = new TksXMLItem();
            node->SetName("node");
            node->SetProp("text", withVar->Prop("text"));
            node->SetProp("pos", element.Prop("pos"));
            il->InsertItem(0, node);
        }
        d->PendingIL = std::move(il);
        d->VarType = kvtVariant;
        d->ReadOnly = false;
        return std::move(d);
    };
    int i = 0;
    const int count = element.Count();
    if (count == 0) Fail(ksMessages().SVarRequired);
    if (NameOf(*element.Items(0)) == "addr") {
        if (count != 2) Fail(ksMessages().SVarRequired);
        SetPos(*element.Items(1));
        auto name = std::make_unique<TksVariable>("", "String", kvtString);
        name->Value = Variant(element.Items(1)->Prop("text"));
        name->ReadOnly = true;
        TksDesignatorItem step;
        step.Target = name.get();
        step.OwnedTarget = std::move(name);
        d->Steps.push_back(std::move(step));
        return Finish(std::move(d), s);
    }
    // The first name: with variables, then the scopes.
    {
        const TksXMLItem& first = *element.Items(0);
        SetPos(first);
        const std::string name = first.Prop("text");
        bool resolved = false;
        for (auto it = withList_.rbegin(); it != withList_.rend() && !resolved; ++it) {
            TksCustomVariable* wv = it->Variable;
            if (wv->VarType == kvtVariant) {
                if (s.Find(name)) break;
                TksXMLItem node;
                node.SetProp("text", it->Name);
                return pending(&node);
            }
            TksClassVariable* cls = s.FindClass(wv->TypeName);
            if (TksCustomHelper* m = cls ? cls->FindMember(name) : nullptr) {
                TksDesignatorItem s0;
                s0.Target = wv;
                s0.SourcePosition = first.Prop("pos");
                d->Steps.push_back(std::move(s0));
                TksDesignatorItem s1;
                s1.Target = m;
                s1.SourcePosition = first.Prop("pos");
                d->Steps.push_back(std::move(s1));
                resolved = true;
            }
        }
        if (!resolved) {
            TksCustomVariable* item = s.Find(name);
            if (!item) {
                if (declarationsRequired_) Fail(ksMessages().SIdUndeclared + Quoted(name));
                item = ImplicitVariable(name, s);
            }
            TksDesignatorItem step;
            step.Target = item;
            step.SourcePosition = first.Prop("pos");
            d->Steps.push_back(std::move(step));
            if (mode == Mode::Construction) {
                auto* cls = dynamic_cast<TksClassVariable*>(item);
                if (!cls) Fail(ksMessages().SClassRequired);
                TksCustomHelper* create = cls->FindMember("Create");
                if (!create) Fail(ksMessages().SIdUndeclared + Quoted("Create"));
                TksDesignatorItem c;
                c.Target = create;
                c.SourcePosition = first.Prop("pos");
                d->Steps.push_back(std::move(c));
            }
        }
        i = 1;
    }
    for (; i < count; ++i) {
        const TksXMLItem& c = *element.Items(i);
        SetPos(c);
        const std::string cn = NameOf(c);
        if (cn == "expr") {
            d->Steps.back().Args.push_back(BuildExpr(c, s));
            continue;
        }
        if (cn != "node") continue;
        const std::string text = c.Prop("text");
        TksDesignatorItem& prevStep = d->Steps.back();
        TksCustomVariable* p = prevStep.Target;
        TksVarType pType = p->VarType;
        std::string pTypeName = p->TypeName;
        if (pType == kvtConstructor) {
            pType = kvtClass;
            if (d->Steps.size() > 1) pTypeName = d->Steps[d->Steps.size() - 2].Target->TypeName;
        }
        auto* method = dynamic_cast<TksMethodHelper*>(p);
        if (method && method->IsIndexedProperty && !prevStep.Indexed) {
            if (text != "[") Fail(ksMessages().SIndexRequired);
            prevStep.Indexed = true;
            continue;
        }
        TksDesignatorItem step;
        step.SourcePosition = c.Prop("pos");
        if (pType == kvtVariant) {
            Variant current = Variant::Null();
            if (IsPlainVariable(p) && d->Steps.size() == 1) current = p->Value;
            if (current.IsNull() || current.IsEmpty() ||
                (current.Kind() == VariantKind::Int32 && current.Int32Value() == 0)) {
                if (running_) throw EInvalidObjectReference("Invalid object reference");
                return pending(nullptr);
            }
            if (current.IsString()) {
                pType = kvtString;
            } else if (current.IsArray()) {
                if (text != "[") Fail(ksMessages().SIndexRequired);
                step.Target = Helper("__ArrayHelper", s);
                step.Indexed = true;
                d->Steps.push_back(std::move(step));
                continue;
            } else {
                TObject* object = ksValueToObject(current);
                auto* persistent = dynamic_cast<TPersistent*>(object);
                if (!persistent) Fail(ksMessages().SClassRequired);
                pType = kvtClass;
                pTypeName = persistent->ClassType().ClassName();
            }
        }
        if (pType == kvtString) {
            if (text != "[") Fail(ksMessages().SStringError);
            step.Target = Helper("__StringHelper", s);
            step.Indexed = true;
        } else if (pType == kvtClass) {
            TksClassVariable* cls = s.FindClass(pTypeName);
            if (text == "[") {
                if (!cls || !cls->DefaultProperty) {
                    std::string msg = ksMessages().SClassError;
                    auto at = msg.find("%s");
                    if (at != std::string::npos) msg.replace(at, 2, pTypeName);
                    Fail(msg);
                }
                step.Target = cls->DefaultProperty;
                step.Indexed = true;
            } else {
                TksCustomHelper* m = cls ? cls->FindMember(text) : nullptr;
                if (!m) {
                    TComponent* component = nullptr;
                    if (IsPlainVariable(p)) {
                        try {
                            component = dynamic_cast<TComponent*>(ksValueToObject(p->Value));
                        } catch (const Exception&) {
                            component = nullptr;
                        }
                    }
                    TComponent* child = component ? component->FindComponent(text) : nullptr;
                    if (child) {
                        auto owned = std::make_unique<TksVariable>(text, child->ClassType().ClassName(),
                                                                   kvtClass);
                        owned->Value = ksObjectToValue(child);
                        owned->ReadOnly = true;
                        step.Target = owned.get();
                        step.OwnedTarget = std::move(owned);
                    } else if (!running_ && s.MainProgram()->LateBinding) {
                        d->Steps.resize(1);
                        auto il = std::make_unique<TksXMLItem>();
                        il->Assign(&element);
                        d->PendingIL = std::move(il);
                        d->VarType = kvtVariant;
                        d->ReadOnly = false;
                        return d;
                    } else {
                        Fail(ksMessages().SIdUndeclared + Quoted(text));
                    }
                } else {
                    step.Target = m;
                }
            }
        } else if (pType == kvtArray) {
            if (!p->Linked) Fail(ksMessages().SArrayRequired);
            step.Target = p->Linked;
            step.Indexed = true;
        } else {
            Fail(ksMessages().SArrayRequired);
        }
        d->Steps.push_back(std::move(step));
    }
    if (mode == Mode::Destruction) {
        d->Classify();
        if (d->VarType != kvtClass && d->VarType != kvtVariant) Fail(ksMessages().SClassRequired);
        TksClassVariable* obj = s.FindClass("TObject");
        TksCustomHelper* free = obj ? obj->FindMember("Free") : nullptr;
        if (!free) Fail(ksMessages().SIdUndeclared + Quoted("Free"));
        TksDesignatorItem step;
        step.Target = free;
        step.SourcePosition = element.Prop("pos");
        d->Steps.push_back(std::move(step));
    }
    return Finish(std::move(d), s);
}

std::unique_ptr<TksDesignator> TksProgramBuilder::Finish(std::unique_ptr<TksDesignator> d,
                                                         TksScript& s) {
    d->Classify();
    std::unique_ptr<TksDesignator> result;
    switch (d->Shape) {
    case 1: result = std::make_unique<TksVariableDesignator>(&s); break;
    case 2: result = std::make_unique<TksStringDesignator>(&s); break;
    case 3: result = std::make_unique<TksArrayDesignator>(&s); break;
    default:
        if (d->Steps.size() == 1 && d->Steps[0].Kind == TksDesignatorItem::TargetKind::Proc &&
            !d->Steps[0].Target->TakesSourceText)
            result = std::make_unique<TksProcCallDesignator>(&s);
        else
            result = std::move(d);
        break;
    }
    if (d) result->Swap(*d);
    for (TksDesignatorItem& step : result->Steps) {
        TksCustomVariable* target = step.Target;
        if (dynamic_cast<TksDesignator*>(target)) continue;
        if (!step.SourcePosition.empty()) errorPos_ = step.SourcePosition;
        const int args = static_cast<int>(step.Args.size());
        if (args < target->RequiredParamCount()) Fail(ksMessages().SNotEnoughParams);
        if (args > target->ParamCount()) Fail(ksMessages().STooManyParams);
        for (int a = args; a < target->ParamCount(); ++a) {
            auto e = std::make_unique<TksExpression>(&s);
            e->AppendConstant(target->Param(a)->DefaultValue);
            e->Resolve();
            step.Args.push_back(std::move(e));
        }
        for (int a = 0; a < args; ++a) {
            TksExpression& e = *step.Args[static_cast<std::size_t>(a)];
            TksParamItem* p = target->Param(a);
            CheckType(*p, e, s);
        }
    }
    return result;
}
