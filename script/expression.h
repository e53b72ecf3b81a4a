#pragma once
// TksExpression: the compiled form of one script expression, a binary tree of operands and
// operators built by operator-precedence insertion from the IL's flat sequence, typed once by
// Resolve and evaluated over Variants on every use.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "script/program.h"

class TksScript;

// Operator codes; the IL words are in the comments.
enum class TksOp : std::uint8_t {
    None = 0,   // the empty root
    Great,      // >
    Less,       // <
    LessEq,     // <=
    GreatEq,    // >=
    NonEq,      // <>
    Eq,         // =
    Plus,       // +
    Minus,      // -
    Or,         // OR
    Xor,        // XOR
    Mul,        // *
    DivFloat,   // /
    DivInt,     // DIV
    Mod,        // MOD
    And,        // AND
    Shl,        // SHL
    Shr,        // SHR
    LeftBracket,
    RightBracket,
    Not,        // NOT
    UnMinus,    // UNMINUS
    In,         // IN
    Is,         // IS
    StrCat,     // STRCAT: code 7 like "+"
};

enum class TksNodeKind : std::uint8_t { Operand, Designator, Set, Operator };

struct TksExpressionNode {
    ~TksExpressionNode();
    void LinkChild(TksExpressionNode* node);
    void UnlinkChild(TksExpressionNode* node);
    int Priority() const;

    TksNodeKind Kind = TksNodeKind::Operand;
    TksOp Op = TksOp::None;
    bool ShortCircuit = false;
    TksVarType VarType = kvtVariant;
    std::string TypeName;
    std::string SourcePosition;
    Variant Value;                                // operand constant
    TksDesignator* Designator = nullptr;          // owned
    TksCustomVariable* Direct = nullptr;          // a plain TksVariable read without the designator
    TksSetExpression* Set = nullptr;              // owned
    TksExpressionNode* Left = nullptr;
    TksExpressionNode* Right = nullptr;
    TksExpressionNode* Parent = nullptr;
};

class TksExpression : public TksCustomVariable {
public:
    explicit TksExpression(TksScript* script);
    ~TksExpression() override;

    // The builder passes lower-case IL words ("+", "div", "unminus", "(", ")").
    void AppendOperator(std::string_view word);
    void AppendConstant(const Variant& value);
    void AppendDesignator(std::unique_ptr<TksDesignator> designator);
    void AppendSet(std::unique_ptr<TksSetExpression> set);
    // Types the tree; the position of the first node whose operands do not fit, or "".
    std::string Resolve();
    Variant GetValue() override;
    // Assigns through the single designator (by-reference arguments).
    void SetValue(const Variant& value) override;
    // The assignment rewrite a := a + x: " " or the operator "+", "-", "*", "/".
    std::string FoldAssignment(const TksDesignator& target);
    // For a single designator: its target variable (plain variable) or the designator; for a
    // constant: a pointer to the value (via ConstantValue); otherwise nullptr.
    TksCustomVariable* SoleTarget() const;
    const Variant* ConstantValue() const;
    TksDesignator* SoleDesignator() const;
    TksExpressionNode* RootNode() const;

    TksScript* Script;
    std::string SourceText;
    // Position given to nodes made next.
    std::string CurrentPosition;

private:
    void Attach(TksExpressionNode* node);
    // Counts a new node; a tree too big to walk recursively raises Exception(STooDeep).
    void CountNode(TksExpressionNode* node);
    TksExpressionNode* root_;
    TksExpressionNode* current_;
    int nodeCount_ = 0;
};

// Evaluation of a node (used by the statements' shortcuts too).
Variant ksEvalNode(TksExpressionNode* node);
// Raises EStackOverflow when this thread's stack is nearly used up. The recursive evaluation
// calls it at every level, so that script recursion through deep expressions ends with an
// error instead of a crash however the frames add up.
void ksCheckStack();
// Runs fn(arg) for a script call: on a fresh stack segment when this thread's stack is nearly
// used up, with EStackOverflow once the segments allowed per thread are used up too.
Variant ksCallWithStack(Variant (*fn)(void*), void* arg);
// The frame address below which a script call moves to a fresh segment; 0 until known.
extern thread_local constinit std::uintptr_t ksSwitchBelow;
// Whether a call made from here fits on the current stack: the common case, kept inline.
inline bool ksStackHasRoom() {
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) >= ksSwitchBelow;
}
// A binary operator over two values, with the short ways for integers and floats.
Variant ksBinaryOp(TksOp op, const Variant& left, const Variant& right);
