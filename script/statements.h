#pragma once
// The executable part of a compiled program: statement lists and the statement kinds. Control
// transfer (break, continue, exit, terminate) goes by flags on the script, tested between
// statements.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/expression.h"
#include "script/program.h"

class TksScript;

class TksStatement {
public:
    TksStatement(TksScript* script, std::string sourcePosition, std::string unitName);
    virtual ~TksStatement();
    TksStatement(const TksStatement&) = delete;
    TksStatement& operator=(const TksStatement&) = delete;

    // A statement list: each child in order until a flag is set.
    virtual void Execute();
    void Add(std::unique_ptr<TksStatement> statement);
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TksStatement* Items(int index) const { return items_[static_cast<std::size_t>(index)].get(); }
    // The run-line hook; true when the program was stopped.
    bool RunLine();

    TksScript* Script;
    std::string SourcePosition;
    std::string UnitName;

protected:
    void ExecuteList();
    std::vector<std::unique_ptr<TksStatement>> items_;
};

class TksAssignmentStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
    // Direct destination variable and source operand where the shapes allow.
    void BindShortcuts();
    std::unique_ptr<TksDesignator> Destination;
    std::unique_ptr<TksExpression> Expression;

protected:
    Variant Source();
    void Store(const Variant& value);
    // Appends to the destination's own text; false, changing nothing, when that would differ
    // from storing the concatenation or the text is shared.
    bool AppendInPlace(std::string_view tail, bool wideTail);
    TksCustomVariable* destVar_ = nullptr;
    TksExpressionNode* sourceNode_ = nullptr;
    // destVar_ stores a String as given and is read without a host call.
    bool appendable_ = false;
    // For "x := x & tail": the tail.
    TksExpressionNode* strCatTail_ = nullptr;

private:
    void ExecuteStrCat();
};

class TksAssignPlusStmt : public TksAssignmentStmt {
public:
    using TksAssignmentStmt::TksAssignmentStmt;
    void Execute() override;
};
class TksAssignMinusStmt : public TksAssignmentStmt {
public:
    using TksAssignmentStmt::TksAssignmentStmt;
    void Execute() override;
};
class TksAssignMulStmt : public TksAssignmentStmt {
public:
    using TksAssignmentStmt::TksAssignmentStmt;
    void Execute() override;
};
class TksAssignDivStmt : public TksAssignmentStmt {
public:
    using TksAssignmentStmt::TksAssignmentStmt;
    void Execute() override;
};

class TksCallStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
    std::unique_ptr<TksDesignator> Designator;
    std::string Modifier;
};

class TksIfStmt : public TksStatement {
public:
    TksIfStmt(TksScript* script, std::string sourcePosition, std::string unitName);
    void Execute() override;
    std::unique_ptr<TksExpression> Condition;
    std::unique_ptr<TksStatement> ElsePart;
};

class TksCaseSelector : public TksStatement {
public:
    using TksStatement::TksStatement;
    std::unique_ptr<TksSetExpression> Values;
};

class TksCaseStmt : public TksStatement {
public:
    TksCaseStmt(TksScript* script, std::string sourcePosition, std::string unitName);
    void Execute() override;
    std::unique_ptr<TksExpression> Selector;
    std::unique_ptr<TksStatement> ElsePart;
    // C-like switch: a break in a branch leaves the switch, not an enclosing loop.
    bool BreakLeavesCase = false;
};

class TksRepeatStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
    std::unique_ptr<TksExpression> Condition;
    bool Inverse = false;
};

class TksWhileStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
    std::unique_ptr<TksExpression> Condition;
};

class TksForStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
    TksCustomVariable* LoopVariable = nullptr;
    std::unique_ptr<TksExpression> StartValue;
    std::unique_ptr<TksExpression> FinalValue;
    bool DownTo = false;
};

class TksVbForStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
    TksCustomVariable* LoopVariable = nullptr;
    std::unique_ptr<TksExpression> StartValue;
    std::unique_ptr<TksExpression> FinalValue;
    std::unique_ptr<TksExpression> StepValue;
};

class TksCppForStmt : public TksStatement {
public:
    TksCppForStmt(TksScript* script, std::string sourcePosition, std::string unitName);
    void Execute() override;
    std::unique_ptr<TksStatement> InitPart;
    std::unique_ptr<TksStatement> NextPart;
    std::unique_ptr<TksExpression> Expression;
};

class TksTryStmt : public TksStatement {
public:
    TksTryStmt(TksScript* script, std::string sourcePosition, std::string unitName);
    void Execute() override;
    bool HasExceptPart = false;
    std::unique_ptr<TksStatement> HandlerPart;
};

class TksBreakStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
};
class TksContinueStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
};
class TksExitStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
};

class TksWithStmt : public TksStatement {
public:
    using TksStatement::TksStatement;
    void Execute() override;
    std::unique_ptr<TksDesignator> Designator;
    TksCustomVariable* HiddenVariable = nullptr;
};
