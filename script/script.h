#pragma once
// TksScript: the script component. It holds the source text in one of the four languages, the
// table of named items (host classes, functions, constants, variables, types and the compiled
// program's procedures and variables) and the compiled program; it compiles, runs, evaluates
// and calls functions. Scripts chain: names not found here are looked up in Parent.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/string_list.h"
#include "script/il_parser.h"
#include "script/program.h"
#include "script/runtime.h"
#include "script/statements.h"

class TksScript;

using TksRunLineEvent =
    std::function<void(TksScript* sender, const std::string& unitName, const std::string& sourcePos)>;
using TksGetUnitEvent =
    std::function<void(TksScript* sender, const std::string& unitName, std::string& unitText)>;

// The owner tag of host items: they survive Clear.
inline const void* const ksHostTag = reinterpret_cast<const void*>(1);

class TksScript : public TComponent, public TksCompileContext {
    LUMETRA_CLASS(TksScript, TComponent)
public:
    explicit TksScript(TComponent* owner);
    ~TksScript() override;

    static void RegisterProperties(TClassBuilder<TksScript>& b);

    // ---- published
    TStrings& Lines() { return *lines_; }
    void SetLines(const TStrings& value);
    const std::string& SyntaxType() const { return syntaxType_; }
    void SetSyntaxType(std::string value) { syntaxType_ = std::move(value); }
    // IL text of a used unit (the source text comes from TksCompileContext::OnGetUnit).
    TksGetUnitEvent OnGetILUnit;
    TksRunLineEvent OnRunLine;
    TksGetVariableValueEvent OnGetVarValue;

    // ---- name table
    void AddItem(std::string_view name, std::unique_ptr<TObject> item);
    // Registers an item owned elsewhere (a procedure's parameters in its local program).
    void AddItemRef(std::string_view name, TObject* item);
    int ItemCount() const { return static_cast<int>(table_.size()); }
    TObject* ItemAt(int index) const { return table_[static_cast<std::size_t>(index)].Object; }
    const std::string& ItemName(int index) const { return table_[static_cast<std::size_t>(index)].Name; }
    // Takes the item out of the table without freeing it.
    std::unique_ptr<TObject> Remove(TObject* item);
    TksCustomVariable* FindOwn(std::string_view name) const;
    TksCustomVariable* Find(std::string_view name) const;
    TksClassVariable* FindClass(std::string_view name) const;
    void Clear();
    void RemoveOwnedItems(const void* tag);
    void ClearOwnedItems(const void* tag);
    void AddHostModules();
    void RemoveHostModules();

    // ---- registration
    virtual TksClassVariable* AddClass(const TClassInfo& classRef, std::string_view ancestorName);
    virtual TksCustomVariable* AddConst(std::string_view name, std::string_view typeName,
                                        const Variant& value);
    virtual void AddEnum(std::string_view typeName, std::string_view names);
    virtual void AddSetType(std::string_view typeName, std::string_view names);
    virtual void AddFormTree(TComponent* form);
    virtual void AddComponentTree(TComponent* component);
    virtual TksMethodHelper* AddMethod(std::string_view syntax, TksMethodCallback callback,
                                       std::string_view category = {},
                                       std::string_view description = {});
    virtual TksMethodHelper* AddMethodParamArray(std::string_view syntax,
                                                 TksArrayMethodCallback callback,
                                                 std::string_view category = {},
                                                 std::string_view description = {});
    virtual TksCustomVariable* AddObject(std::string_view name, TObject* object);
    virtual TksCustomVariable* AddVariable(std::string_view name, std::string_view typeName,
                                           const Variant& value);
    virtual TksCustomVariable* AddType(std::string_view typeName, TksVarType varType);

    // ---- compiling and running
    bool Compile();
    // Runs the main block; exceptions pass, the flags are reset on the way out.
    void Execute();
    Variant CallFunction(std::string_view name, const Variant& params);
    Variant CallFunctionVar(std::string_view name, Variant& params);
    // Compiles the expression as a function of a child script and runs it; a compile error
    // raises EScriptError with the message and position.
    Variant Evaluate(std::string_view expression);
    void Terminate();
    void SetVariable(std::string_view name, const Variant& value);
    void RunLine(const std::string& unitName, const std::string& sourcePos);
    void MarkStatementLine(const std::string& unitName, const std::string& sourcePos);
    bool IsStatementLine(int line, const std::string& unitName) const;

    // ---- fields
    TksScript* Parent = nullptr;
    std::unique_ptr<TksStatement> MainBlock;
    // Per unit name ("" = main text), the lines that hold a statement.
    std::vector<std::pair<std::string, std::vector<int>>> StatementLines;
    bool LateBinding = false;
    const void* OwnerTag = nullptr;
    bool HostModulesAdded = false;
    TksScript* ActiveProgram = nullptr;
    bool IsMainProgram = false;
    bool Running = false;
    bool StopRequested = false;
    bool ExitRequested = false;
    bool BreakRequested = false;
    bool ContinueRequested = false;
    // Where the last run-time error was raised: "line:col" and unit, kept on the topmost
    // script of the chain; empty when the last run ended normally.
    std::string RunErrorPosition;
    std::string RunErrorUnitName;

    // The topmost script of the Parent chain.
    TksScript* Root();
    // The first script up the Parent chain that runs its main block, else this one.
    TksScript* MainProgram();

private:
    struct Entry {
        std::string Name;
        TObject* Object = nullptr;
        TksCustomVariable* Var = nullptr;  // Object as an item, or nullptr
        bool Owned = true;
    };
    void Insert(std::string_view name, TObject* object, bool owned);
    void FreeEntry(std::size_t index);
    std::size_t LowerBound(std::string_view name) const;
    TksMethodHelper* AddMethodHelper(std::string_view syntax, std::string_view category,
                                     std::string_view description);

    std::vector<Entry> table_;
    std::unique_ptr<TStringList> lines_;
    std::string syntaxType_ = "PascalScript";
};

// Compile errors raised by Evaluate: "line:col: message" is in Position() and Message().
LUMETRA_EXCEPTION(EScriptError, Exception);

// Case-insensitive comparison of names (ASCII letters; other bytes compare as they are).
int ksCompareNames(std::string_view a, std::string_view b);
std::string ksUpperCase(std::string_view s);
