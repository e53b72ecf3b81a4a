// TpgwReport: preparation (script set-up, engine run, reload of the template) and the
// evaluation of expressions through the direct lookup and the expression cache.
#include <algorithm>

#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/ui/form.h"
#include "report/abstract_bases.h"
#include "report/data_set.h"
#include "report/expression_cache.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/report_data_sets.h"
#include "report/resources.h"
#include "report/utils.h"
#include "report/variables.h"
#include "script/script.h"

namespace {

constexpr std::string_view kCalcErrorPrefix = "Error in Calc expression: ";

std::string messageOf(const std::exception& e) {
    const std::string text = e.what();
    return text.empty() ? std::string("Error") : text;
}

bool isAggregateName(std::string_view upper) {
    return upper == "SUM" || upper == "MIN" || upper == "MAX" || upper == "AVG" || upper == "COUNT";
}

// The script's items whose value lookup would run something or has no value of its own.
bool hasPlainValue(TksCustomVariable* item) {
    if (dynamic_cast<TksCustomHelper*>(item) || dynamic_cast<TksTypeVariable*>(item)) return false;
    if (auto* proc = dynamic_cast<TksProcVariable*>(item)) return proc->ParamCount() == 0;
    return true;
}

} // namespace

// ---- preparing ---------------------------------------------------------------------------------

bool TpgwReport::DestroyForms() const {
    return engineOptions_->DestroyForms();
}

bool TpgwReport::BuildPreparedPages(bool clearLastReport) {
    if (putOffWhileRunning([this, clearLastReport] { BuildPreparedPages(clearLastReport); }))
        return false;
    if (clearLastReport && previewPages_) previewPages_->Clear();
    Errors().Clear();
    terminated_ = false;
    bool result = false;

    for (int i = 0; i < dataSets_->Count(); ++i) {
        TpgwDataSetItem* item = dataSets_->Items(i);
        if (!item->DataSet())
            Errors().Add(Format(GetResources().GetText("clDSNotExist"), {item->DataSetName()}));
    }

    if (Errors().Count() == 0) {
        const std::string password = reportOptions_->Password();
        const bool destroyForms = engineOptions_->DestroyForms();
        std::unique_ptr<TStream> work;
        std::string workFile;
        bool saved = true;
        if (destroyForms) {
            reportOptions_->SetPassword("");
            try {
                if (engineOptions_->UseFileCache()) {
                    workFile = engineOptions_->TempDir().empty()
                                   ? MakeTempFileName()
                                   : MakeTempFileNameIn(engineOptions_->TempDir());
                    work = std::make_unique<TFileStream>(workFile, fmCreate);
                } else {
                    work = std::make_unique<TMemoryStream>();
                }
                SaveToStream(*work, true, false);
            } catch (const std::exception& e) {
                // Without a copy of the template the run could not be undone: no run.
                Errors().Add(messageOf(e));
                saved = false;
            }
        }

        if (saved) {
            try {
                if (OnBeginDoc) OnBeginDoc(this);
                if (SetUpScript()) {
                    if (OnAfterScriptCompile) OnAfterScriptCompile(this);
                    if (script_->MainBlock->Count() > 0) script_->Execute();
                    if (!engine_) throw Exception("No report engine is installed");
                    if (engine_->Run()) {
                        if (OnEndDoc) OnEndDoc(this);
                        result = true;
                    } else if (previewForm_) {
                        previewForm_->Close();
                    }
                }
            } catch (const std::exception& e) {
                Errors().Add(messageOf(e));
            }
        }

        if (destroyForms) {
            if (work && saved) {
                TStringList kept;
                kept.Assign(Errors());
                reloadAfterRun(*work);
                // The reload's own errors stay beside those of the run.
                for (int i = 0; i < kept.Count(); ++i)
                    Errors().Add(kept.Strings(i));
            }
            reportOptions_->SetPassword(password);
            work.reset();
            if (!workFile.empty()) DeleteFile(workFile);
        }
    }

    if (Errors().Count() > 0) {
        result = false;
        ReportErrors();
    }
    runPutOffCalls();
    return result;
}

void TpgwReport::reloadAfterRun(TStream& work) {
    // The run reports the reload's errors with its own, once.
    const TpgwSilentMode mode = engineOptions_->NewSilentMode();
    engineOptions_->SetNewSilentMode(simSilent);
    reloadingAfterRun_ = true;
    try {
        work.SetPosition(0);
        LoadFromStream(work);
    } catch (const std::exception& e) {
        Errors().Add(messageOf(e));
    }
    reloadingAfterRun_ = false;
    engineOptions_->SetNewSilentMode(mode);
    repointScriptObjects();
    if (engine_) engine_->BandShownListeners().clear();
}

// The objects the script knew were freed by the reload; scripts called after the run (preview
// clicks) reach their successors of the same name instead.
void TpgwReport::repointScriptObjects() {
    for (auto& [item, name] : scriptObjects_) {
        TpgwComponent* object = FindObject(name);
        item->SetValue(object ? ksObjectToValue(object) : Variant::Null());
    }
    if (selfVariable_) selfVariable_->SetValue(Variant::Null());
}

bool TpgwReport::SetUpScript() {
    expressionCache_->Clear();
    expressionCache_->SetScriptLanguage(scriptLanguage_);
    if (engine_) engine_->BandShownListeners().clear();

    // At first use, not when the report is made: start-up may register modules after that.
    if (!script_->HostModulesAdded) script_->AddHostModules();
    script_->ClearOwnedItems(this);
    scriptObjects_.clear();
    valueVariable_ = selfVariable_ = nullptr;
    struct OwnerMark {
        TksScript* s;
        ~OwnerMark() { s->OwnerTag = nullptr; }
    } ownerMark{script_.get()};
    script_->OwnerTag = this;
    script_->IsMainProgram = true;

    for (TpgwComponent* object : AllObjects()) {
        object->SetDesignTimeObject(false);
        object->PrepareForRun();
        if (auto* picture = dynamic_cast<TpgwPictureView*>(object))
            picture->SetPictureChanged(true);
        if (object->Name().empty()) continue;
        TksCustomVariable* item = script_->AddObject(object->Name(), object);
        if (item && item->OwnerTag == this) scriptObjects_.emplace_back(item, object->Name());
    }
    script_->AddObject("Report", this);
    script_->AddObject("Engine", engine_.get());
    script_->AddObject("Outline", previewPages_ ? previewPages_->Outline() : nullptr);
    valueVariable_ = script_->AddVariable("Value", "Variant", Variant::Null());
    selfVariable_ = script_->AddVariable("Self", "TpgwView", Variant::Null());
    addScriptFunctions();

    script_->SetLines(*scriptText_);
    script_->SetSyntaxType(scriptLanguage_);
    if (script_->Compile()) return true;
    Errors().Add(
        Format(GetResources().GetText("clScrError"), {script_->ErrorPosition, script_->ErrorText}));
    return false;
}

void TpgwReport::addScriptFunctions() {
    TksScript& s = *script_;
    s.AddMethod("function Get(Name: String): Variant",
                [this](TObject*, const TClassInfo*, const std::string&, TksMethodHelper& call) {
                    return getValue(call.Params(0).AsString());
                });
    s.AddMethod("procedure Set(Name: String; Value: Variant)",
                [this](TObject*, const TClassInfo*, const std::string&, TksMethodHelper& call) {
                    variables_->SetVariables(call.Params(0).AsString(), call.Params(1));
                    return Variant::Null();
                });
    auto macro = [this](TObject*, const TClassInfo*, const std::string& name,
                        TksMethodHelper& call) { return macroValue(name, call); };
    s.AddMethod("macrofunction IIF(Expr: Boolean; TrueValue, FalseValue: Variant): Variant", macro);
    for (const char* name : {"SUM", "AVG", "MIN", "MAX"})
        s.AddMethod(std::string("macrofunction ") + name +
                        "(Expr: Variant; Band: Variant = 0; Flags: Integer = 0): Variant",
                    macro);
    s.AddMethod("macrofunction COUNT(Band: Variant = 0; Flags: Integer = 0): Variant", macro);
}

Variant TpgwReport::macroValue(const std::string& name, TksMethodHelper& call) {
    // Inside the main block the macro is the script's own call; otherwise the report's.
    const bool fromScript = script_->Running;
    auto text = [&](int index) {
        const Variant v = call.Params(index);
        return v.IsString() ? v.StringValue() : std::string();
    };
    if (name == "IIF") {
        const Variant condition = calc(text(0), nullptr, fromScript);
        const bool chosen = !condition.IsNull() && !condition.IsEmpty() &&
                            VarCompare(condition, Variant(true)) == 0;
        return calc(text(chosen ? 1 : 2), nullptr, fromScript);
    }
    // An omitted Band or Flags arrives as its default value, not as text.
    auto argument = [&](int index) -> Variant {
        const Variant v = call.Params(index);
        if (!v.IsString()) return v.IsNull() || v.IsEmpty() ? Variant(0) : v;
        const std::string trimmed = Trim(v.StringValue());
        return trimmed.empty() ? Variant(0) : calc(trimmed, nullptr, fromScript);
    };
    const bool count = name == "COUNT";
    const std::string expression = count ? std::string() : text(0);
    const Variant band = argument(count ? 0 : 1);
    const Variant flags = argument(count ? 1 : 2);
    if (!engine_) return Variant::Null();
    auto* bandObject =
        dynamic_cast<TpgwComponent*>(band.IsNumeric() ? ksValueToObject(band) : nullptr);
    return engine_->GetAggregateValue(name, expression, bandObject,
                                      flags.IsNumeric() ? flags.AsInteger() : 0);
}

Variant TpgwReport::getValue(const std::string& name) {
    Variant value;
    if (directValue(name, value, nullptr, script_->Running)) return value;
    if (const std::size_t paren = name.find('('); paren != std::string::npos) {
        if (isAggregateName(UpperCase(Trim(std::string_view(name).substr(0, paren)))))
            return calc(name, nullptr, script_->Running);
    }
    Errors().Add(GetResources().GetText("clUnknownVar") + " " + name);
    return Variant::Null();
}

// ---- evaluating --------------------------------------------------------------------------------

Variant TpgwReport::Calc(const std::string& expression) {
    return calc(expression, nullptr, false);
}

Variant TpgwReport::CalcIn(const std::string& expression, TksScript* caller) {
    return calc(expression, caller, false);
}

Variant TpgwReport::CalcFromScript(const std::string& expression) {
    return calc(expression, nullptr, true);
}

bool TpgwReport::DirectValue(const std::string& expression, Variant& value) {
    return directValue(expression, value, nullptr, false);
}

Variant TpgwReport::calc(const std::string& expression, TksScript* caller, bool fromScript) {
    std::string error;
    Variant value;
    try {
        if (directValue(expression, value, caller, fromScript)) return value;
    } catch (const ECalcError&) {
        throw;
    } catch (const std::exception& e) {
        error = messageOf(e);
    }
    if (error.empty()) {
        if (!script_->HostModulesAdded) script_->AddHostModules();
        value = expressionCache_->Calc(expression, caller ? caller : script_.get(), error);
        if (error.empty()) return value;
    }
    if (fromScript) throw Exception(std::string(kCalcErrorPrefix) + error);
    std::string message = activeObjectName_.empty() ? error : activeObjectName_ + ": " + error;
    Errors().Add(message);
    throw ECalcError(std::move(message));
}

bool TpgwReport::directValue(const std::string& expression, Variant& value, TksScript* caller,
                             bool fromScript) {
    // alias."field"
    if (const std::size_t dot = expression.find(".\""); dot != std::string::npos) {
        const std::size_t open = dot + 1;
        // The closing quote must end the text: alias."a" + alias."b" is no single field.
        if (expression.size() - open >= 2 && expression.back() == '"') {
            const std::string field = expression.substr(open + 1, expression.size() - open - 2);
            TpgwDataSet* dataSet = GetDataset(std::string_view(expression).substr(0, dot));
            if (dataSet && !field.empty()) {
                value = dataSet->GetValue(field);
                if (value.IsNull() && engineOptions_->ConvertNulls()) {
                    switch (dataSet->GetFieldType(field)) {
                    case fftNumeric:
                        value = Variant(0);
                        break;
                    case fftString:
                        value = Variant(std::string());
                        break;
                    case fftBoolean:
                        value = Variant(false);
                        break;
                    }
                }
                return true;
            }
        }
    }

    for (int i = 0; i < systemVariableNames_.Count(); ++i)
        if (SameText(systemVariableNames_.Strings(i), expression)) return systemValue(i, value);

    if (OnGetValue) {
        Variant v = Variant::Null();
        OnGetValue(expression, v);
        if (!v.IsNull() && !v.IsEmpty()) {
            value = std::move(v);
            return true;
        }
    }

    if (const int i = variables_->IndexOf(expression); i >= 0) {
        value = variableValue(variables_->Items(i)->Name(), variables_->Items(i)->Value(), caller,
                              fromScript);
        return true;
    }

    TpgwVariables& globals = GlobalVariables();
    if (const int i = globals.IndexOf(expression); i >= 0) {
        value = globals.Items(i)->Value();
        return true;
    }

    if (TksCustomVariable* item = script_->FindOwn(expression); item && hasPlainValue(item)) {
        value = item->GetValue();
        return true;
    }
    return false;
}

bool TpgwReport::systemValue(int index, Variant& value) {
    value = Variant::Null();
    TpgwCustomEngine* engine = engine_.get();
    TpgwCustomPreviewPages* pages = previewPages_.get();
    switch (index) {
    case 0:
        if (engine) value = Variant::FromDate(engine->StartDate());
        break;
    case 1:
        if (engine) value = Variant::FromDate(engine->StartTime());
        break;
    case 2:
        if (pages) value = Variant(pages->GetLogicalPageNo());
        break;
    case 3:
        if (pages) value = Variant(pages->CurPage + 1);
        break;
    case 4:
        if (pages) value = Variant(pages->GetLogicalTotalPages());
        break;
    case 5:
        if (engine) value = Variant(engine->TotalPages());
        break;
    case 6:
        if (engine) value = Variant(engine->LineValue);
        break;
    case 7:
        if (engine) value = Variant(engine->RunningLineValue);
        break;
    case 8:
        value = GlobalVariables().Variables("CopyName0");
        break;
    default:
        return false;
    }
    return true;
}

Variant TpgwReport::variableValue(const std::string& name, const Variant& stored, TksScript* caller,
                                  bool fromScript) {
    if (!stored.IsString()) return stored;
    const std::string& text = stored.StringValue();
    // Multi-line text is text, not an expression; nor is the empty text.
    if (text.empty() || text.find("\r\n") != std::string::npos) return stored;
    for (const std::string& open : variablesInCalc_)
        if (SameText(open, name))
            throw Exception("Variable '" + name + "' refers to itself: " + text);
    variablesInCalc_.push_back(name);
    struct Leave {
        std::vector<std::string>& list;
        ~Leave() { list.pop_back(); }
    } leave{variablesInCalc_};
    // The text (a copy: the evaluation may change the variable) is an expression.
    return calc(std::string(text), caller, fromScript);
}

// ---- script events and values ------------------------------------------------------------------

void TpgwReport::CallScriptEvent(const std::string& procedure, TpgwComponent* sender,
                                 bool runWhenNotRunning) {
    if (procedure.empty() || !(runWhenNotRunning || (engine_ && engine_->Running()))) return;
    const Variant arg = ksObjectToValue(sender);
    script_->CallFunction(procedure, VarArrayOf(std::span<const Variant>(&arg, 1)));
}

void TpgwReport::CallScriptEventWithParams(const std::string& procedure,
                                           std::vector<Variant>& params, bool runWhenNotRunning) {
    if (procedure.empty() || !(runWhenNotRunning || (engine_ && engine_->Running()))) return;
    Variant array = VarArrayOf(std::span<const Variant>(params.data(), params.size()));
    script_->CallFunctionVar(procedure, array);
    if (!array.IsArray()) return;
    const int low = VarArrayLowBound(array, 1);
    for (std::size_t i = 0; i < params.size(); ++i)
        params[i] = VarArrayGet(array, {low + static_cast<int>(i)});
}

void TpgwReport::FireBeforePrint(TpgwComponent* object) {
    if (OnBeforePrint) OnBeforePrint(object);
    if (auto* c = dynamic_cast<TpgwReportComponent*>(object))
        CallScriptEvent(c->OnBeforePrint, object, false);
}

void TpgwReport::FireAfterPrint(TpgwComponent* object) {
    if (OnAfterPrint) OnAfterPrint(object);
    if (auto* c = dynamic_cast<TpgwReportComponent*>(object))
        CallScriptEvent(c->OnAfterPrint, object, false);
}

void TpgwReport::FirePreviewClick(TpgwComponent* object, TMouseButton button, TShiftState shift,
                                  bool& modified, bool doubleClick) {
    if (auto* c = dynamic_cast<TpgwReportComponent*>(object)) {
        std::vector<Variant> params{ksObjectToValue(object), Variant(static_cast<int>(button)),
                                    Variant(static_cast<int>(shift)), Variant(modified)};
        CallScriptEventWithParams(doubleClick ? c->OnPreviewDblClick : c->OnPreviewClick, params,
                                  true);
        modified = !params[3].IsNull() && !params[3].IsEmpty() && params[3].AsBool();
    }
    if (doubleClick) {
        if (OnDblClickObject) OnDblClickObject(object, button, shift, modified);
    } else if (OnClickObject) {
        OnClickObject(object, button, shift, modified);
    }
}

void TpgwReport::SetScriptValue(const Variant& value) {
    if (valueVariable_) valueVariable_->SetValue(value);
}

void TpgwReport::SetSelfValue(TpgwComponent* view) {
    if (selfVariable_) selfVariable_->SetValue(ksObjectToValue(view));
}
