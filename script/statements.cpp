// Statement execution: lists, assignments, calls, branches, loops, try, break/continue/exit.
#include "script/statements.h"

#include <typeinfo>

#include "script/script.h"

TksStatement::TksStatement(TksScript* script, std::string sourcePosition, std::string unitName)
    : Script(script), SourcePosition(std::move(sourcePosition)), UnitName(std::move(unitName)) {}

TksStatement::~TksStatement() = default;

void TksStatement::Add(std::unique_ptr<TksStatement> statement) {
    items_.push_back(std::move(statement));
}

bool TksStatement::RunLine() {
    for (TksScript* s = Script; s; s = s->Parent) {
        if (s->OnRunLine) {
            Script->RunLine(UnitName, SourcePosition);
            break;
        }
    }
    return Script->StopRequested;
}

void TksStatement::Execute() { ExecuteList(); }

void TksStatement::ExecuteList() {
    TksScript* s = Script;
    for (const auto& item : items_) {
        if (s->StopRequested) return;
        // A handler costs nothing while no error passes, unlike a guard object per list.
        try {
            item->Execute();
        } catch (...) {
            // The innermost statement that an error passes names the place of the error.
            TksScript* root = s->Root();
            if (root->RunErrorPosition.empty()) {
                root->RunErrorPosition = item->SourcePosition;
                root->RunErrorUnitName = item->UnitName;
            }
            throw;
        }
        if (s->BreakRequested || s->ContinueRequested || s->ExitRequested) return;
    }
}

// ---- assignments ------------------------------------------------------------------------------

namespace {

// Storing a String in the variable keeps it as it is, and reading gives the stored value.
bool StoresTextAsGiven(TksCustomVariable* v) {
    const std::type_info& type = typeid(*v);
    if (type == typeid(TksStringVariable) || type == typeid(TksParamItem)) return true;
    return type == typeid(TksVariable) && !static_cast<TksVariable*>(v)->OnGetVarValue &&
           v->VarType != kvtInt && v->VarType != kvtBool && v->VarType != kvtFloat;
}

} // namespace

void TksAssignmentStmt::BindShortcuts() {
    destVar_ = dynamic_cast<TksVariableDesignator*>(Destination.get()) ? Destination->Linked : nullptr;
    sourceNode_ = Expression->RootNode();
    appendable_ = destVar_ && StoresTextAsGiven(destVar_);
    TksExpressionNode* n = sourceNode_;
    if (appendable_ && n->Kind == TksNodeKind::Operator && n->Op == TksOp::StrCat && n->Right &&
        n->Left && n->Left->Kind == TksNodeKind::Designator && n->Left->Direct == destVar_)
        strCatTail_ = n->Right;
}

bool TksAssignmentStmt::AppendInPlace(std::string_view tail, bool wideTail) {
    if (!appendable_ || destVar_->ReadOnly) return false;
    Variant& text = destVar_->Value;
    // The concatenation is wide when either side is.
    if (wideTail && !text.IsWideString()) return false;
    return text.AppendInPlace(tail);
}

// x := x & tail. The operator copies its left side before the right one runs, so the append
// happens only when the right side left x's text as it was.
void TksAssignmentStmt::ExecuteStrCat() {
    Variant head = destVar_->Value;
    const Variant tail = ksEvalNode(strCatTail_);
    if (!head.IsString()) {
        Store(VarAdd(head, tail));
        return;
    }
    const std::string text = VarToStr(tail);
    const Variant& now = destVar_->Value;
    if (!head.IsWideString() && now.IsString() && &now.StringValue() == &head.StringValue()) {
        head = Variant();
        if (AppendInPlace(text, false)) return;
        head = destVar_->Value;
    }
    Store(Variant(head.StringValue() + text));
}

Variant TksAssignmentStmt::Source() { return ksEvalNode(sourceNode_); }

void TksAssignmentStmt::Store(const Variant& value) {
    if (destVar_)
        destVar_->SetValue(value);
    else
        Destination->SetValue(value);
}

void TksAssignmentStmt::Execute() {
    if (RunLine()) return;
    if (strCatTail_)
        ExecuteStrCat();
    else
        Store(Source());
}

namespace {

void Compound(TksOp op, TksCustomVariable* destVar, TksDesignator& dest, const Variant& e) {
    Variant v = destVar ? destVar->GetValue() : dest.GetValue();
    v = op == TksOp::DivFloat ? VarDiv(v, e) : ksBinaryOp(op, v, e);
    if (destVar)
        destVar->SetValue(v);
    else
        dest.SetValue(v);
}

} // namespace

void TksAssignPlusStmt::Execute() {
    if (RunLine()) return;
    const Variant tail = Source();
    // String + String concatenates; other operands take the operator's rules.
    if (tail.IsString() && destVar_ && destVar_->Value.IsString() &&
        AppendInPlace(tail.StringValue(), tail.IsWideString()))
        return;
    Compound(TksOp::Plus, destVar_, *Destination, tail);
}

void TksAssignMinusStmt::Execute() {
    if (RunLine()) return;
    Compound(TksOp::Minus, destVar_, *Destination, Source());
}

void TksAssignMulStmt::Execute() {
    if (RunLine()) return;
    Compound(TksOp::Mul, destVar_, *Destination, Source());
}

void TksAssignDivStmt::Execute() {
    if (RunLine()) return;
    Compound(TksOp::DivFloat, destVar_, *Destination, Source());
}

// ---- calls and branches -----------------------------------------------------------------------

void TksCallStmt::Execute() {
    if (RunLine()) return;
    if (Modifier.empty()) {
        Designator->ResultNeeded = false;
        Designator->GetValue();
    } else {
        Variant v = Designator->GetValue();
        Designator->SetValue(ksBinaryOp(Modifier == "-" ? TksOp::Minus : TksOp::Plus, v, Variant(1)));
    }
}

TksIfStmt::TksIfStmt(TksScript* script, std::string sourcePosition, std::string unitName)
    : TksStatement(script, sourcePosition, unitName),
      ElsePart(std::make_unique<TksStatement>(script, sourcePosition, unitName)) {}

void TksIfStmt::Execute() {
    if (RunLine()) return;
    if (ksTruth(ksEvalNode(Condition->RootNode())))
        ExecuteList();
    else
        ElsePart->Execute();
}

TksCaseStmt::TksCaseStmt(TksScript* script, std::string sourcePosition, std::string unitName)
    : TksStatement(script, sourcePosition, unitName),
      ElsePart(std::make_unique<TksStatement>(script, sourcePosition, unitName)) {}

void TksCaseStmt::Execute() {
    const Variant value = Selector->GetValue();
    if (RunLine()) return;
    bool matched = false;
    for (const auto& item : items_) {
        auto* branch = static_cast<TksCaseSelector*>(item.get());
        if (branch->Values->Contains(value)) {
            branch->Execute();
            matched = true;
            break;
        }
    }
    if (!matched) ElsePart->Execute();
    if (BreakLeavesCase) Script->BreakRequested = false;
}

// ---- loops ------------------------------------------------------------------------------------

void TksRepeatStmt::Execute() {
    if (RunLine()) return;
    TksScript* s = Script;
    for (;;) {
        ExecuteList();
        if (s->BreakRequested || s->ExitRequested) break;
        s->ContinueRequested = false;
        const bool c = ksTruth(ksEvalNode(Condition->RootNode()));
        if (Inverse ? !c : c) break;
    }
    s->BreakRequested = false;
}

void TksWhileStmt::Execute() {
    if (RunLine()) return;
    TksScript* s = Script;
    for (;;) {
        if (!ksTruth(ksEvalNode(Condition->RootNode()))) break;
        ExecuteList();
        if (s->BreakRequested || s->ExitRequested) break;
        s->ContinueRequested = false;
    }
    s->BreakRequested = false;
}

void TksForStmt::Execute() {
    const std::int64_t start = StartValue->GetValue().AsInteger();
    const std::int64_t final = FinalValue->GetValue().AsInteger();
    if (RunLine()) return;
    TksScript* s = Script;
    const std::int64_t step = DownTo ? -1 : 1;
    for (std::int64_t i = start; DownTo ? i >= final : i <= final; i += step) {
        LoopVariable->Value = Variant(static_cast<int>(i));
        ExecuteList();
        if (s->BreakRequested || s->ExitRequested) break;
        s->ContinueRequested = false;
    }
    s->BreakRequested = false;
}

void TksVbForStmt::Execute() {
    const Variant start = StartValue->GetValue();
    const Variant final = FinalValue->GetValue();
    const Variant step = StepValue ? StepValue->GetValue() : Variant(1);
    if (RunLine()) return;
    TksScript* s = Script;
    const bool down = VarCompare(step, Variant(0)) < 0;
    Variant counter = start;
    for (;;) {
        const int c = VarCompare(counter, final);
        if (down ? c < 0 : c > 0) break;
        LoopVariable->Value = counter;
        ExecuteList();
        if (s->BreakRequested || s->ExitRequested) break;
        s->ContinueRequested = false;
        counter = ksBinaryOp(TksOp::Plus, counter, step);
    }
    s->BreakRequested = false;
}

TksCppForStmt::TksCppForStmt(TksScript* script, std::string sourcePosition, std::string unitName)
    : TksStatement(script, sourcePosition, unitName),
      InitPart(std::make_unique<TksStatement>(script, sourcePosition, unitName)),
      NextPart(std::make_unique<TksStatement>(script, sourcePosition, unitName)) {}

void TksCppForStmt::Execute() {
    if (RunLine()) return;
    TksScript* s = Script;
    InitPart->Execute();
    if (s->StopRequested) return;
    for (;;) {
        if (Expression && !ksTruth(ksEvalNode(Expression->RootNode()))) break;
        ExecuteList();
        if (s->BreakRequested || s->ExitRequested) break;
        s->ContinueRequested = false;
        NextPart->Execute();
    }
    s->BreakRequested = false;
}

// ---- try, jumps, with -------------------------------------------------------------------------

TksTryStmt::TksTryStmt(TksScript* script, std::string sourcePosition, std::string unitName)
    : TksStatement(script, sourcePosition, unitName),
      HandlerPart(std::make_unique<TksStatement>(script, sourcePosition, unitName)) {}

void TksTryStmt::Execute() {
    if (RunLine()) return;
    TksScript* s = Script;
    if (HasExceptPart) {
        try {
            ExecuteList();
        } catch (const Exception& e) {
            s->Root()->RunErrorPosition.clear();
            s->Root()->RunErrorUnitName.clear();
            s->SetVariable("ExceptionClassName", Variant(std::string(e.ClassName())));
            s->SetVariable("ExceptionMessage", Variant(e.Message()));
            HandlerPart->Execute();
        }
        return;
    }
    // The finally block runs whole even when a jump left the protected block; the jump goes on
    // afterwards.
    struct Jumps {
        TksScript* s;
        bool exit, brk, cont;
        explicit Jumps(TksScript* script)
            : s(script), exit(script->ExitRequested), brk(script->BreakRequested),
              cont(script->ContinueRequested) {
            s->ExitRequested = s->BreakRequested = s->ContinueRequested = false;
        }
        void Restore() {
            s->ExitRequested = s->ExitRequested || exit;
            s->BreakRequested = s->BreakRequested || brk;
            s->ContinueRequested = s->ContinueRequested || cont;
        }
    };
    try {
        ExecuteList();
    } catch (const Exception&) {
        Jumps saved(s);
        HandlerPart->Execute();
        saved.Restore();
        throw;
    }
    Jumps saved(s);
    HandlerPart->Execute();
    saved.Restore();
}

void TksBreakStmt::Execute() { Script->BreakRequested = true; }

void TksContinueStmt::Execute() { Script->ContinueRequested = true; }

void TksExitStmt::Execute() {
    RunLine();
    Script->ExitRequested = true;
}

void TksWithStmt::Execute() {
    ExecuteList();
    HiddenVariable->SetValue(Designator->GetValue());
}
