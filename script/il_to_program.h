#pragma once
// Builds the executable program from the IL: registers constants, variables and procedures as
// items of the script and appends statements to its main block or to the local program of each
// procedure. Name resolution, type checks and argument checks of the languages happen here.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "script/expression.h"
#include "script/program.h"
#include "script/statements.h"

class TksILParser;
class TksScript;
class TksXMLItem;

class TksProgramBuilder {
public:
    TksProgramBuilder(TksILParser& parser, TksScript& script);
    // Builds the IL document into the script. Errors end the build and are recorded in the
    // script's ErrorText, ErrorPosition and ErrorUnitName; nothing propagates.
    void ILToProgram();
    // A designator whose resolution waited for run time (late binding); raises on errors.
    static std::unique_ptr<TksDesignator> BuildRuntimeDesignator(TksScript& script,
                                                                 const TksXMLItem& il);

private:
    enum class Mode { Plain, Construction, Destruction };
    struct WithEntry {
        std::string Name;
        TksCustomVariable* Variable;
    };
    explicit TksProgramBuilder(TksScript& script);

    void BuildProgram(const TksXMLItem& element, TksScript& s);
    void DeclarePass(const TksXMLItem& element, TksScript& s);
    void DeclareProc(const TksXMLItem& element, TksScript& s, bool isFunction);
    void BuildStatement(const TksXMLItem& element, TksStatement& list, TksScript& s);
    void BuildChildren(const TksXMLItem& element, TksStatement& list, TksScript& s);
    void BuildVar(const TksXMLItem& element, TksStatement& list, TksScript& s,
                  TksProcVariable* paramsOf, bool byRefGroup);
    void BuildConst(const TksXMLItem& element, TksScript& s);
    void BuildAssign(const TksXMLItem& element, TksStatement& list, TksScript& s);
    void BuildWith(const TksXMLItem& element, TksStatement& list, TksScript& s);
    void BuildUses(const TksXMLItem& element, TksScript& s);
    std::unique_ptr<TksStatement> MakeAssignment(std::unique_ptr<TksDesignator> destination,
                                                 std::unique_ptr<TksExpression> value,
                                                 std::string op, TksScript& s,
                                                 const std::string& pos);
    std::unique_ptr<TksExpression> BuildExpr(const TksXMLItem& element, TksScript& s);
    void AddExprChildren(TksExpression& e, const TksXMLItem& element, TksScript& s);
    std::unique_ptr<TksSetExpression> BuildSet(const TksXMLItem& element, TksScript& s);
    std::unique_ptr<TksDesignator> BuildDesignator(const TksXMLItem& element, TksScript& s,
                                                   Mode mode);
    std::unique_ptr<TksDesignator> Finish(std::unique_ptr<TksDesignator> d, TksScript& s);
    TksCustomVariable* LoopVariable(const TksXMLItem& ident, TksScript& s);
    TksCustomVariable* ImplicitVariable(const std::string& name, TksScript& s);
    TksCustomVariable* Helper(const char* name, TksScript& s);
    std::pair<TksVarType, std::string> TypeFromName(const std::string& name, TksScript& s);
    void CheckType(const TksCustomVariable& item, const TksExpression& e, TksScript& s);
    void SetPos(const TksXMLItem& element);
    [[noreturn]] void Fail(const std::string& message);
    Variant EvaluateNow(const TksXMLItem& exprElement, TksScript& s);

    TksILParser* parser_;
    TksScript& script_;
    const TksXMLItem* currentProgram_ = nullptr;
    const TksXMLItem* grammarTypes_ = nullptr;
    std::vector<WithEntry> withList_;
    std::string unitName_;
    std::string errorPos_;
    bool declarationsRequired_ = true;
    bool cLike_ = false;
    bool running_ = false;
};
