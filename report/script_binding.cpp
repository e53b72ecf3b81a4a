// Script binding of the report object model.
#include "report/script_binding.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/numbers.h"
#include "platform/core/object_handle.h"
#include "platform/core/persistent.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "platform/graphics/picture.h"
#include "platform/ui/control.h"
#include "report/abstract_bases.h"
#include "report/band.h"
#include "report/component.h"
#include "report/data_set.h"
#include "report/dialog_control.h"
#include "report/dmp_class.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/styles.h"
#include "report/variables.h"
#include "report/view.h"
#include "report/wide_strings.h"
#include "script/classes_binding.h"
#include "script/script.h"
#include "script/sys_functions.h"

namespace {

constexpr const char* kModuleName = "pgwScriptBinding";
constexpr std::string_view kCalcErrorPrefix = "Error in Calc expression: ";

[[noreturn]] void InvalidReference() {
    throw EInvalidObjectReference("Invalid object reference");
}

template <class T> T& As(TObject* instance) {
    auto* object = dynamic_cast<T*>(instance);
    if (!object) InvalidReference();
    return *object;
}

// An object argument of class T; nil gives nullptr, another class an invalid reference.
template <class T> T* ObjectArg(TksMethodHelper& caller, int index) {
    TObject* object = ksValueToObject(caller.Params(index));
    auto* typed = dynamic_cast<T*>(object);
    if (object && !typed) InvalidReference();
    return typed;
}

template <class T> T& RequiredArg(TksMethodHelper& caller, int index) {
    T* object = ObjectArg<T>(caller, index);
    if (!object) InvalidReference();
    return *object;
}

TStream& StreamArg(TksMethodHelper& caller, int index) {
    TStream* stream = ksValueToStream(caller.Params(index));
    if (!stream) InvalidReference();
    return *stream;
}

std::string TextArg(TksMethodHelper& caller, int index) {
    return VarToStr(caller.Params(index));
}

int IntArg(TksMethodHelper& caller, int index) {
    return caller.Params(index).AsInteger();
}

// An optional Boolean left out arrives as Null.
bool FlagArg(TksMethodHelper& caller, int index, bool fallback) {
    const Variant v = caller.Params(index);
    return v.IsNull() || v.IsEmpty() ? fallback : v.AsBool();
}

Variant WideValue(std::u16string_view text) {
    return Variant(Utf16ToUtf8(text));
}

// Calc for a script: the error goes to the script with its own prefix and stays out of the
// report's error list. The report does that itself; other report roots only have the plain
// Calc, whose collected errors are taken back here.
Variant CalcFromScript(TpgwCustomReport& report, const std::string& expression) {
    if (auto* full = dynamic_cast<TpgwReport*>(&report)) return full->CalcFromScript(expression);
    TStringList kept;
    kept.Assign(&report.Errors());
    try {
        return report.Calc(expression);
    } catch (const Exception& e) {
        report.Errors().Assign(&kept);
        if (std::string_view(e.Message()).starts_with(kCalcErrorPrefix)) throw;
        throw Exception(std::string(kCalcErrorPrefix) + e.Message());
    }
}

int DatePart(const Variant& value, char part) {
    int year = 0, month = 0, day = 0;
    DecodeDate(value.AsDate(), year, month, day);
    return part == 'd' ? day : part == 'm' ? month : year;
}

} // namespace

// ---- registration ---------------------------------------------------------------------------

void pgwRegisterReportBinding() {
    ksRegisterHostModule(kModuleName, [](TksScript* script) {
        return std::unique_ptr<TksRTTIModule>(new TpgwReportModule(script));
    });
}

void pgwUnregisterReportBinding() {
    ksUnregisterHostModule(kModuleName);
}

TpgwReportModule::TpgwReportModule(TksScript* script) : TksRTTIModule(script) {
    TksScript& s = *script;
    const std::pair<const char*, double> floats[] = {
        {"pg01cm", 3.77953}, {"pg1cm", 37.7953}, {"pg01in", 9.6}, {"pg1CharX", 9.6}};
    for (const auto& [name, value] : floats)
        s.AddConst(name, "Extended", Variant(value));
    // Whole numbers: declared Integer, so that the compiler's type check lets scripts pass them
    // where an integer is expected (IntToStr(pg1in)); every real context takes them as well.
    const std::pair<const char*, int> integers[] = {
        {"pg1in", 96},      {"pg1CharY", 17},   {"clTransparent", 536870911},
        {"crHand", crHand}, {"crZoom", crZoom}, {"crFormat", crFormat}};
    for (const auto& [name, value] : integers)
        s.AddConst(name, "Integer", Variant(value));

    s.AddEnum("TpgwStretchMode", "smDontStretch, smActualHeight, smMaxHeight");
    s.AddEnum("TpgwShiftMode", "smDontShift, smAlways, smWhenOverlapped");
    s.AddEnum("TpgwDuplexMode", "dmNone, dmVertical, dmHorizontal, dmSimplex");
    s.AddEnum("TpgwAlign", "baNone, baLeft, baRight, baCenter, baWidth, baBottom, baClient");
    s.AddEnum("TpgwFrameStyle", "fsSolid, fsDash, fsDot, fsDashDot, fsDashDotDot, fsDouble");
    s.AddSetType("TpgwFrameTypes", "ftLeft, ftRight, ftTop, ftBottom");
    s.AddEnum("TpgwHAlign", "haLeft, haRight, haCenter, haBlock");
    s.AddEnum("TpgwVAlign", "vaTop, vaBottom, vaCenter");
    s.AddSetType("TpgwRestrictions", "rfDontModify, rfDontSize, rfDontMove, rfDontDelete");
    s.AddEnum("TpgwShapeKind", "skRectangle, skRoundRectangle, skEllipse, skTriangle, skDiamond, "
                               "skDiagonal1, skDiagonal2");
    s.AddSetType("TpgwPreviewButtons", "pbPrint, pbLoad, pbSave, pbExport, pbZoom, pbFind, pbTree, "
                                       "pbPageSetup, pbRefresh, pbTools, pbEdit, pbNavigator, "
                                       "pbExportQuick");
    s.AddEnum("TpgwZoomMode", "zmDefault, zmWholePage, zmPageWidth, zmManyPages");
    s.AddEnum("TpgwPrintPages", "ppAll, ppOdd, ppEven");
    s.AddSetType("TpgwDMPFontStyles", "fsxBold, fsxItalic, fsxUnderline, fsxSuperScript, "
                                      "fsxSubScript, fsxCondensed, fsxWide, fsx12cpi, fsx15cpi");
    s.AddEnum("TpgwRangeBegin", "rbFirst, rbCurrent");
    s.AddEnum("TpgwRangeEnd", "reLast, reCurrent, reCount");
    s.AddEnum("TpgwFieldType", "fftNumeric, fftString, fftBoolean");
    s.AddEnum("TpgwFormatKind", "fkText, fkNumeric, fkDateTime, fkBoolean");

    const TksMethodCallback call = [this](TObject* instance, const TClassInfo* cls,
                                          const std::string& name, TksMethodHelper& caller) {
        return CallMethod(instance, cls, name, caller);
    };
    const TksPropertyGetter get = [this](TObject* instance, const TClassInfo* cls,
                                         const std::string& name) {
        return GetProp(instance, cls, name);
    };
    const TksPropertySetter set = [this](TObject* instance, const TClassInfo* cls,
                                         const std::string& name, const Variant& value) {
        SetProp(instance, cls, name, value);
    };

    if (s.FindClass("TPersistent"))
        if (TksClassVariable* c = s.AddClass(TWideStrings::StaticClass(), "TPersistent")) {
            c->AddConstructor("constructor Create", call);
            c->AddMember("function Add(const S: string): Integer", call);
            c->AddMember("function AddObject(const S: string; AObject: TObject): Integer", call);
            c->AddMember("procedure Clear", call);
            c->AddMember("procedure Delete(Index: Integer)", call);
            c->AddMember("function IndexOf(const S: string): Integer", call);
            c->AddMember("procedure Insert(Index: Integer; const S: string)", call);
            c->AddMember("procedure LoadFromFile(const FileName: string)", call);
            c->AddMember("procedure LoadFromStream(Stream: TStream)", call);
            c->AddMember("procedure SaveToFile(const FileName: string)", call);
            c->AddMember("procedure SaveToStream(Stream: TStream)", call);
            c->AddProperty("Count", "Integer", get);
            c->AddIndexedProperty("Objects", "Integer", "TObject", call, false);
            c->AddDefaultIndexedProperty("Strings", "Integer", "string", call, false);
            c->AddProperty("Text", "string", get, set);
        }
    if (TksClassVariable* c = s.AddClass(TpgwDataSet::StaticClass(), "TComponent")) {
        c->AddMember("procedure Open", call);
        c->AddMember("procedure Close", call);
        c->AddMember("procedure First", call);
        c->AddMember("procedure Next", call);
        c->AddMember("procedure Prior", call);
        c->AddMember("function Eof: Boolean", call);
        c->AddMember("function FieldsCount: Integer", call);
        c->AddMember("function HasField(const fName: String): Boolean", call);
        c->AddMember("function IsBlobField(const fName: String): Boolean", call);
        c->AddMember("function RecordCount: Integer", call);
        c->AddMember("procedure GetFieldList(List: TStrings)", call);
        c->AddProperty("RecNo", "Integer", get);
        c->AddIndexedProperty("DisplayText", "String", "String", call, true);
        c->AddIndexedProperty("DisplayWidth", "String", "Integer", call, true);
        c->AddIndexedProperty("FieldType", "String", "TpgwFieldType", call, true);
        c->AddIndexedProperty("Value", "String", "Variant", call, true);
    }
    s.AddClass(TpgwUserDataSet::StaticClass(), "TpgwDataSet");
    s.AddClass(TpgwCustomDBDataSet::StaticClass(), "TpgwDataSet");
    if (TksClassVariable* c = s.AddClass(TpgwComponent::StaticClass(), "TComponent")) {
        c->AddMember("procedure Clear", call);
        c->AddMember("function FindObject(s: String): TpgwComponent", call);
        c->AddMember("procedure LoadFromStream(Stream: TStream)", call);
        c->AddMember("procedure SaveToStream(Stream: TStream; SaveChildren: Boolean = True)", call);
        c->AddMember("procedure SetBounds(ALeft, ATop, AWidth, AHeight: Extended)", call);
        c->AddProperty("Objects", "TList", get);
        c->AddProperty("AllObjects", "TList", get);
        c->AddProperty("Parent", "TpgwComponent", get, set);
        c->AddProperty("Page", "TpgwPage", get);
        c->AddProperty("AbsLeft", "Extended", get);
        c->AddProperty("AbsTop", "Extended", get);
    }
    s.AddClass(TpgwReportComponent::StaticClass(), "TpgwComponent");
    s.AddClass(TpgwDialogComponent::StaticClass(), "TpgwReportComponent");
    if (TksClassVariable* c = s.AddClass(TpgwDialogControl::StaticClass(), "TpgwReportComponent"))
        c->AddMember("procedure SetFocus", call);
    s.AddClass(TpgwFrameLine::StaticClass(), "TPersistent");
    s.AddClass(TpgwFrame::StaticClass(), "TPersistent");
    if (TksClassVariable* c = s.AddClass(TpgwView::StaticClass(), "TpgwReportComponent"))
        c->AddProperty("TagStr", "String", get, set);
    s.AddClass(TpgwShapeView::StaticClass(), "TpgwView");
    if (TksClassVariable* c = s.AddClass(TpgwStretcheable::StaticClass(), "TpgwView"))
        c->AddMember("function CalcHeight: Extended", call);
    s.AddClass(TpgwHighlight::StaticClass(), "TPersistent");
    s.AddClass(TpgwFormat::StaticClass(), "TPersistent");
    if (TksClassVariable* c = s.AddClass(TpgwCustomMemoView::StaticClass(), "TpgwStretcheable")) {
        c->AddMember("function CalcWidth: Extended", call);
        c->AddProperty("Text", "String", get, set);
        c->AddProperty("AnsiText", "String", get, set);
        c->AddProperty("Lines", "TWideStrings", get, set);
        c->AddProperty("Value", "Variant", get);
    }
    s.AddClass(TpgwMemoView::StaticClass(), "TpgwCustomMemoView");
    s.AddClass(TpgwSysMemoView::StaticClass(), "TpgwCustomMemoView");
    s.AddClass(TpgwDMPMemoView::StaticClass(), "TpgwCustomMemoView");
    s.AddClass(TpgwCustomLineView::StaticClass(), "TpgwStretcheable");
    s.AddClass(TpgwLineView::StaticClass(), "TpgwCustomLineView");
    s.AddClass(TpgwDMPLineView::StaticClass(), "TpgwCustomLineView");
    s.AddClass(TpgwDMPCommand::StaticClass(), "TpgwView");
    if (TksClassVariable* c = s.AddClass(TpgwPictureView::StaticClass(), "TpgwView"))
        c->AddMember("procedure LoadFromFile(filename: String)", call);
    s.AddClass(TpgwSubreport::StaticClass(), "TpgwView");
    if (TksClassVariable* c = s.AddClass(TpgwBand::StaticClass(), "TpgwReportComponent"))
        c->AddProperty("Overflow", "Boolean", get);
    for (const TClassInfo* cls :
         {&TpgwDataBand::StaticClass(), &TpgwHeader::StaticClass(), &TpgwFooter::StaticClass()})
        s.AddClass(*cls, "TpgwBand");
    for (const TClassInfo* cls : {&TpgwMasterData::StaticClass(), &TpgwDetailData::StaticClass(),
                                  &TpgwSubdetailData::StaticClass(), &TpgwDataBand4::StaticClass(),
                                  &TpgwDataBand5::StaticClass(), &TpgwDataBand6::StaticClass()})
        s.AddClass(*cls, "TpgwDataBand");
    for (const TClassInfo* cls :
         {&TpgwPageHeader::StaticClass(), &TpgwPageFooter::StaticClass(),
          &TpgwColumnHeader::StaticClass(), &TpgwColumnFooter::StaticClass(),
          &TpgwGroupHeader::StaticClass(), &TpgwGroupFooter::StaticClass(),
          &TpgwReportTitle::StaticClass(), &TpgwReportSummary::StaticClass(),
          &TpgwChild::StaticClass(), &TpgwOverlay::StaticClass()})
        s.AddClass(*cls, "TpgwBand");
    s.AddClass(TpgwPage::StaticClass(), "TpgwComponent");
    s.AddClass(TpgwReportPage::StaticClass(), "TpgwPage");
    s.AddClass(TpgwDMPPage::StaticClass(), "TpgwReportPage");
    s.AddClass(TpgwDataPage::StaticClass(), "TpgwPage");
    if (TksClassVariable* c = s.AddClass(TpgwEngineOptions::StaticClass(), "TPersistent"))
        c->AddProperty("DestroyForms", "Boolean", get, set);
    for (const TClassInfo* cls :
         {&TpgwPrintOptions::StaticClass(), &TpgwPreviewOptions::StaticClass(),
          &TpgwReportOptions::StaticClass()})
        s.AddClass(*cls, "TPersistent");
    s.AddClass(TpgwVariable::StaticClass(), "TCollectionItem");
    if (TksClassVariable* c = s.AddClass(TpgwVariables::StaticClass(), "TCollection")) {
        c->AddConstructor("constructor Create", call);
        c->AddDefaultIndexedProperty("Variables", "String", "Variant", call, false);
    }
    s.AddClass(TpgwStyleItem::StaticClass(), "TCollectionItem");
    if (TksClassVariable* c = s.AddClass(TpgwStyles::StaticClass(), "TCollection")) {
        c->AddConstructor("constructor Create(AReport: TpgwReport)", call);
        c->AddDefaultIndexedProperty("Items", "Integer", "TpgwStyleItem", call, false);
        c->AddMember("function Add: TpgwStyleItem", call);
        c->AddMember("function Find(const Name: String): TpgwStyleItem", call);
        c->AddMember("procedure Apply", call);
        c->AddMember("procedure GetList(List: TStrings)", call);
        c->AddMember("procedure LoadFromFile(const FileName: String)", call);
        c->AddMember("procedure LoadFromStream(Stream: TStream)", call);
        c->AddMember("procedure SaveToFile(const FileName: String)", call);
        c->AddMember("procedure SaveToStream(Stream: TStream)", call);
    }
    if (TksClassVariable* c = s.AddClass(TpgwArray::StaticClass(), "TCollection")) {
        c->AddConstructor("constructor Create", call);
        c->AddDefaultIndexedProperty("Variables", "Variant", "Variant", call, false);
    }
    s.AddObject("pgwGlobalVariables", &GlobalVariables());
    if (TksClassVariable* c = s.AddClass(TpgwReport::StaticClass(), "TpgwComponent")) {
        c->AddMember("function Calc(const Expr: String): Variant", call);
        c->AddMember("function GetDataset(const Alias: String): TpgwDataset", call);
        c->AddMember("function LoadFromFile(const FileName: String): Boolean", call);
        c->AddMember("procedure SaveToFile(const FileName: String)", call);
        c->AddMember("procedure ShowReport", call);
        c->AddProperty("Terminated", "Boolean", get, set);
        c->AddProperty("Variables", "TpgwVariables", get);
        c->AddProperty("Styles", "TpgwStyles", get);
    }
    if (TksClassVariable* c = s.AddClass(TpgwCustomEngine::StaticClass(), "TPersistent")) {
        c->AddMember("procedure NewPage", call);
        c->AddMember("procedure NewColumn", call);
        c->AddMember("procedure ShowBand(Band: TpgwBand)", call);
        c->AddMember("procedure StopReport", call);
        c->AddMember("function FreeSpace: Extended", call);
        c->AddMember("procedure AddAnchor(const Text: String)", call);
        c->AddMember("function GetAnchorPage(const Text: String): Integer", call);
    }
    if (const TClassInfo* engine = GetClass("TpgwEngine")) s.AddClass(*engine, "TpgwCustomEngine");
    if (TksClassVariable* c = s.AddClass(TpgwCustomOutline::StaticClass(), "TPersistent")) {
        c->AddMember("procedure AddItem(const Text: String)", call);
        c->AddMember("procedure LevelRoot", call);
        c->AddMember("procedure LevelUp", call);
    }
    if (const TClassInfo* outline = GetClass("TpgwOutline"))
        s.AddClass(*outline, "TpgwCustomOutline");

    s.AddMethod("function DayOf(Date: TDateTime): Integer", call, TksSysFunctions::ctDate);
    s.AddMethod("function MonthOf(Date: TDateTime): Integer", call, TksSysFunctions::ctDate);
    s.AddMethod("function YearOf(Date: TDateTime): Integer", call, TksSysFunctions::ctDate);
    s.AddMethod("function IIF(Expr: Boolean; TrueValue, FalseValue: Variant): Variant", call,
                TksSysFunctions::ctOther);
    for (const char* syntax :
         {"function SUM(Expr: Variant; Band: Variant = 0; Flags: Integer = 0): "
          "Variant",
          "function AVG(Expr: Variant; Band: Variant = 0; Flags: Integer = 0): "
          "Variant",
          "function MIN(Expr: Variant; Band: Variant = 0; Flags: Integer = 0): "
          "Variant",
          "function MAX(Expr: Variant; Band: Variant = 0; Flags: Integer = 0): "
          "Variant",
          "function COUNT(Band: Variant = 0; Flags: Integer = 0): Variant"})
        s.AddMethod(syntax, call, "ctAggregate");
}

TpgwReportModule::~TpgwReportModule() {
    for (auto& [key, slot] : lists_)
        if (ObjectHandles::IsValid(slot.Handle)) delete slot.List;
}

// ---- callbacks ------------------------------------------------------------------------------

Variant TpgwReportModule::CallMethod(TObject* instance, const TClassInfo* cls,
                                     const std::string& name, TksMethodHelper& caller) {
    if (!cls) {
        // The functions. The macros do their work in a report run, where the report's own
        // script holds functions of these names; called here they answer 0.
        if (name == "DAYOF") return Variant(DatePart(caller.Params(0), 'd'));
        if (name == "MONTHOF") return Variant(DatePart(caller.Params(0), 'm'));
        if (name == "YEAROF") return Variant(DatePart(caller.Params(0), 'y'));
    } else if (cls == &TWideStrings::StaticClass()) {
        if (name == "CREATE") return ksObjectToValue(new TWideStrings());
        auto& l = As<TWideStrings>(instance);
        if (name == "ADD") return Variant(l.Add(Utf8ToUtf16(TextArg(caller, 0))));
        if (name == "ADDOBJECT")
            return Variant(l.AddObject(Utf8ToUtf16(TextArg(caller, 0)),
                                       RememberObject(ObjectArg<TObject>(caller, 1))));
        if (name == "CLEAR") l.Clear();
        if (name == "DELETE") l.Delete(IntArg(caller, 0));
        if (name == "INDEXOF") return Variant(l.IndexOf(Utf8ToUtf16(TextArg(caller, 0))));
        if (name == "INSERT") l.Insert(IntArg(caller, 0), Utf8ToUtf16(TextArg(caller, 1)));
        if (name == "LOADFROMFILE") l.LoadFromFile(TextArg(caller, 0));
        if (name == "LOADFROMSTREAM") l.LoadFromStream(StreamArg(caller, 0));
        if (name == "SAVETOFILE") l.SaveToFile(TextArg(caller, 0));
        if (name == "SAVETOSTREAM") l.SaveToStream(StreamArg(caller, 0));
        if (name == "OBJECTS.GET") return StoredObjectValue(l.Objects(IntArg(caller, 0)));
        if (name == "OBJECTS.SET")
            l.SetObjects(IntArg(caller, 0), RememberObject(ObjectArg<TObject>(caller, 1)));
        if (name == "STRINGS.GET") return WideValue(l.Strings(IntArg(caller, 0)));
        if (name == "STRINGS.SET") l.SetStrings(IntArg(caller, 0), Utf8ToUtf16(TextArg(caller, 1)));
    } else if (cls == &TpgwDataSet::StaticClass()) {
        auto& d = As<TpgwDataSet>(instance);
        if (name == "OPEN") d.Open();
        if (name == "CLOSE") d.Close();
        if (name == "FIRST") d.First();
        if (name == "NEXT") d.Next();
        if (name == "PRIOR") d.Prior();
        if (name == "EOF") return Variant(d.Eof());
        if (name == "FIELDSCOUNT") return Variant(d.FieldsCount());
        if (name == "HASFIELD") return Variant(d.HasField(TextArg(caller, 0)));
        if (name == "ISBLOBFIELD") return Variant(d.IsBlobField(TextArg(caller, 0)));
        if (name == "RECORDCOUNT") return Variant(d.RecordCount());
        if (name == "GETFIELDLIST") d.GetFieldList(RequiredArg<TStrings>(caller, 0));
        if (name == "DISPLAYTEXT.GET") return WideValue(d.GetDisplayText(TextArg(caller, 0)));
        if (name == "DISPLAYWIDTH.GET") return Variant(d.GetDisplayWidth(TextArg(caller, 0)));
        if (name == "FIELDTYPE.GET")
            return Variant(static_cast<int>(d.GetFieldType(TextArg(caller, 0))));
        if (name == "VALUE.GET") return d.GetValue(TextArg(caller, 0));
    } else if (cls == &TpgwComponent::StaticClass()) {
        auto& c = As<TpgwComponent>(instance);
        if (name == "CLEAR") c.Clear();
        if (name == "FINDOBJECT") return ksObjectToValue(c.FindObject(TextArg(caller, 0)));
        if (name == "LOADFROMSTREAM") c.LoadFromStream(StreamArg(caller, 0));
        if (name == "SAVETOSTREAM")
            c.SaveToStream(StreamArg(caller, 0), FlagArg(caller, 1, true), false, false);
        if (name == "SETBOUNDS")
            c.SetBounds(caller.Params(0).AsDouble(), caller.Params(1).AsDouble(),
                        caller.Params(2).AsDouble(), caller.Params(3).AsDouble());
    } else if (cls == &TpgwDialogControl::StaticClass()) {
        if (name == "SETFOCUS")
            if (auto* w = dynamic_cast<TWinControl*>(As<TpgwDialogControl>(instance).Control()))
                if (w->CanFocus()) w->SetFocus();
    } else if (cls == &TpgwStretcheable::StaticClass()) {
        if (name == "CALCHEIGHT") return Variant(As<TpgwStretcheable>(instance).CalcHeight());
    } else if (cls == &TpgwCustomMemoView::StaticClass()) {
        if (name == "CALCWIDTH") return Variant(As<TpgwCustomMemoView>(instance).CalcWidth());
    } else if (cls == &TpgwPictureView::StaticClass()) {
        if (name == "LOADFROMFILE")
            As<TpgwPictureView>(instance).Picture()->LoadFromFile(TextArg(caller, 0));
    } else if (cls == &TpgwVariables::StaticClass()) {
        if (name == "CREATE") return ksObjectToValue(new TpgwVariables());
        auto& v = As<TpgwVariables>(instance);
        if (name == "VARIABLES.GET") return v.Variables(TextArg(caller, 0));
        if (name == "VARIABLES.SET") v.SetVariables(TextArg(caller, 0), caller.Params(1));
    } else if (cls == &TpgwStyles::StaticClass()) {
        if (name == "CREATE")
            return ksObjectToValue(new TpgwStyles(ObjectArg<TpgwCustomReport>(caller, 0)));
        auto& st = As<TpgwStyles>(instance);
        if (name == "ITEMS.GET") return ksObjectToValue(st.Items(IntArg(caller, 0)));
        if (name == "ADD") return ksObjectToValue(st.Add());
        if (name == "FIND") return ksObjectToValue(st.Find(TextArg(caller, 0)));
        if (name == "APPLY") st.Apply();
        if (name == "GETLIST") st.GetList(RequiredArg<TStrings>(caller, 0));
        if (name == "LOADFROMFILE") st.LoadFromFile(TextArg(caller, 0));
        if (name == "LOADFROMSTREAM") st.LoadFromStream(StreamArg(caller, 0));
        if (name == "SAVETOFILE") st.SaveToFile(TextArg(caller, 0));
        if (name == "SAVETOSTREAM") st.SaveToStream(StreamArg(caller, 0));
    } else if (cls == &TpgwArray::StaticClass()) {
        if (name == "CREATE") return ksObjectToValue(new TpgwArray());
        auto& a = As<TpgwArray>(instance);
        if (name == "VARIABLES.GET") return a.Variables(caller.Params(0));
        if (name == "VARIABLES.SET") a.SetVariables(caller.Params(0), caller.Params(1));
    } else if (cls == &TpgwReport::StaticClass()) {
        // Calc and GetDataset are operations of every report root.
        if (name == "CALC")
            return CalcFromScript(As<TpgwCustomReport>(instance), TextArg(caller, 0));
        if (name == "GETDATASET")
            return ksObjectToValue(As<TpgwCustomReport>(instance).GetDataset(TextArg(caller, 0)));
        if (name == "LOADFROMFILE")
            return Variant(As<TpgwReport>(instance).LoadFromFile(TextArg(caller, 0), false));
        if (name == "SAVETOFILE") As<TpgwReport>(instance).SaveToFile(TextArg(caller, 0));
        if (name == "SHOWREPORT") As<TpgwReport>(instance).ShowReport(true);
    } else if (cls == &TpgwCustomEngine::StaticClass()) {
        auto& e = As<TpgwCustomEngine>(instance);
        if (name == "NEWPAGE") e.NewPage();
        if (name == "NEWCOLUMN") e.NewColumn();
        if (name == "SHOWBAND") e.ShowBand(&RequiredArg<TpgwBand>(caller, 0));
        if (name == "STOPREPORT") e.StopReport();
        if (name == "FREESPACE") return Variant(e.FreeSpace());
        if (name == "ADDANCHOR") e.AddAnchor(TextArg(caller, 0));
        if (name == "GETANCHORPAGE") return Variant(e.GetAnchorPage(TextArg(caller, 0)));
    } else if (cls == &TpgwCustomOutline::StaticClass()) {
        auto& o = As<TpgwCustomOutline>(instance);
        if (name == "ADDITEM") {
            const TpgwCustomEngine* engine = o.GetEngine();
            o.AddItem(TextArg(caller, 0), engine ? static_cast<int>(Round(engine->CurY())) : 0);
        }
        if (name == "LEVELROOT") o.LevelRoot();
        if (name == "LEVELUP") o.LevelUp();
    }
    return Variant(0);
}

Variant TpgwReportModule::GetProp(TObject* instance, const TClassInfo* cls,
                                  const std::string& name) {
    if (cls == &TWideStrings::StaticClass()) {
        auto& l = As<TWideStrings>(instance);
        if (name == "COUNT") return Variant(l.Count());
        if (name == "TEXT") return WideValue(l.Text());
    } else if (cls == &TpgwDataSet::StaticClass()) {
        if (name == "RECNO") return Variant(As<TpgwDataSet>(instance).RecNo());
    } else if (cls == &TpgwComponent::StaticClass()) {
        auto& c = As<TpgwComponent>(instance);
        if (name == "OBJECTS") return ChildList(instance, false);
        if (name == "ALLOBJECTS") return ChildList(instance, true);
        if (name == "PARENT") return ksObjectToValue(c.Parent());
        if (name == "PAGE") return ksObjectToValue(c.Page());
        if (name == "ABSLEFT") return Variant(c.AbsLeft());
        if (name == "ABSTOP") return Variant(c.AbsTop());
    } else if (cls == &TpgwView::StaticClass()) {
        if (name == "TAGSTR") return Variant(As<TpgwView>(instance).TagStr());
    } else if (cls == &TpgwCustomMemoView::StaticClass()) {
        auto& m = As<TpgwCustomMemoView>(instance);
        if (name == "TEXT") return Variant(m.Text());
        if (name == "ANSITEXT") return Variant(m.AnsiText());
        if (name == "LINES") return ksObjectToValue(m.Memo());
        if (name == "VALUE") return m.Value();
    } else if (cls == &TpgwBand::StaticClass()) {
        if (name == "OVERFLOW") return Variant(As<TpgwBand>(instance).Overflow);
    } else if (cls == &TpgwReport::StaticClass()) {
        auto& r = As<TpgwReport>(instance);
        if (name == "TERMINATED") return Variant(r.Terminated());
        if (name == "VARIABLES") return ksObjectToValue(r.Variables());
        if (name == "STYLES") return ksObjectToValue(r.Styles());
    } else if (cls == &TpgwEngineOptions::StaticClass()) {
        if (name == "DESTROYFORMS") return Variant(As<TpgwEngineOptions>(instance).DestroyForms());
    }
    return Variant(0);
}

void TpgwReportModule::SetProp(TObject* instance, const TClassInfo* cls, const std::string& name,
                               const Variant& value) {
    if (cls == &TWideStrings::StaticClass()) {
        if (name == "TEXT") As<TWideStrings>(instance).SetText(Utf8ToUtf16(VarToStr(value)));
    } else if (cls == &TpgwComponent::StaticClass()) {
        if (name == "PARENT") {
            TObject* object = ksValueToObject(value);
            auto* parent = dynamic_cast<TpgwComponent*>(object);
            if (object && !parent) InvalidReference();
            As<TpgwComponent>(instance).SetParent(parent);
        }
    } else if (cls == &TpgwView::StaticClass()) {
        if (name == "TAGSTR") As<TpgwView>(instance).SetTagStr(VarToStr(value));
    } else if (cls == &TpgwCustomMemoView::StaticClass()) {
        auto& m = As<TpgwCustomMemoView>(instance);
        if (name == "TEXT") m.SetText(VarToStr(value));
        if (name == "ANSITEXT") m.SetAnsiText(VarToStr(value));
        if (name == "LINES") {
            // Either kind of line list; nil empties the memo.
            TObject* object = ksValueToObject(value);
            if (auto* wide = dynamic_cast<TWideStrings*>(object))
                m.Memo()->Assign(*wide);
            else if (auto* lines = dynamic_cast<TStrings*>(object))
                m.Memo()->Assign(*lines);
            else if (!object)
                m.Memo()->Clear();
            else
                InvalidReference();
        }
    } else if (cls == &TpgwReport::StaticClass()) {
        if (name == "TERMINATED") As<TpgwReport>(instance).SetTerminated(value.AsBool());
    } else if (cls == &TpgwEngineOptions::StaticClass()) {
        if (name == "DESTROYFORMS") As<TpgwEngineOptions>(instance).SetDestroyForms(value.AsBool());
    }
}

// ---- lists and stored objects ---------------------------------------------------------------

Variant TpgwReportModule::ChildList(TObject* instance, bool allObjects) {
    auto& c = As<TpgwComponent>(instance);
    const std::int64_t key =
        (static_cast<std::int64_t>(ObjectHandles::HandleOf(instance)) << 1) | (allObjects ? 1 : 0);
    ListSlot& slot = lists_[key];
    if (!ObjectHandles::IsValid(slot.Handle)) {
        slot.List = new TksList();
        slot.Handle = ObjectHandles::HandleOf<TObject>(slot.List);
    }
    slot.List->Clear();
    if (allObjects) {
        for (TpgwComponent* child : c.AllObjects())
            slot.List->Add(child);
    } else {
        for (TpgwComponent* child : c.Objects())
            slot.List->Add(child);
    }
    return Variant::FromHandle(slot.Handle);
}

TObject* TpgwReportModule::RememberObject(TObject* object) {
    if (object) storedObjects_[object] = ObjectHandles::HandleOf(object);
    return object;
}

Variant TpgwReportModule::StoredObjectValue(TObject* object) const {
    auto it = storedObjects_.find(object);
    if (it == storedObjects_.end()) return ksObjectToValue(object);
    if (!ObjectHandles::IsValid(it->second)) InvalidReference();
    return Variant::FromHandle(it->second);
}
