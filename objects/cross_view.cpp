#include "objects/cross_view.h"

#include <algorithm>

#include "platform/core/exception.h"
#include "platform/core/properties.h"
#include "platform/core/string_list.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/dmp_class.h"
#include "report/memo_view.h"
#include "report/registries.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/styles.h"
#include "script/program.h"
#include "script/script.h"

namespace {

constexpr TpgwFrameTypes kAllSides = 15;
constexpr TColor kWhite = 0xFFFFFF;

// What a new inner memo looks like depends on the list it is made for.
enum MemoKind { mkCellHeader, mkCell, mkHeader, mkTotal, mkCorner };

TpgwRestrictions Restrict(std::initializer_list<TpgwRestriction> flags) {
    TpgwRestrictions r = 0;
    for (TpgwRestriction f : flags)
        r |= static_cast<TpgwRestrictions>(1u << f);
    return r;
}

void FormatNewMemo(TpgwCustomMemoView* memo, int kind, int index) {
    memo->Frame()->SetTyp(kAllSides);
    memo->SetVAlign(vaCenter);
    switch (kind) {
    case mkCellHeader:
        memo->SetRestrictions(Restrict({rfDontDelete}));
        memo->SetAllowExpressions(false);
        break;
    case mkCell:
        memo->SetRestrictions(Restrict({rfDontDelete}));
        memo->SetHAlign(haRight);
        memo->SetAllowExpressions(false);
        break;
    case mkHeader:
        memo->SetRestrictions(Restrict({rfDontDelete, rfDontEdit}));
        memo->SetHAlign(haCenter);
        memo->SetAllowExpressions(false);
        break;
    case mkTotal:
        memo->SetRestrictions(Restrict({rfDontDelete}));
        memo->SetHAlign(haCenter);
        memo->SetText(index == 0 ? "Grand Total" : "Total");
        memo->Font()->SetStyle(TFontStyles{fsBold});
        break;
    case mkCorner:
        memo->SetRestrictions(Restrict({rfDontDelete}));
        memo->SetHAlign(haCenter);
        memo->SetAllowExpressions(false);
        break;
    }
}

void CheckLevels(int value) {
    if (value < 0 || value > kCrossMaxLevels)
        throw ERangeError("A cross-tab has 0 to " + std::to_string(kCrossMaxLevels) +
                          " levels of each kind, not " + std::to_string(value));
}

void CheckIndex(const char* table, int index) {
    if (index < 0 || index >= kCrossMaxLevels)
        throw ERangeError(std::string(table) + " index out of range (" + std::to_string(index) +
                          ")");
}

// "Cell", or "Cell1" .. "CellN"; none for 0.
void FillCaptions(TStringList& list, const char* word, int count) {
    list.Clear();
    if (count == 1) {
        list.Add(word);
        return;
    }
    for (int i = 1; i <= count; ++i)
        list.Add(std::string(word) + std::to_string(i));
}

void CopyLines(TStringList& into, TStringList* from) {
    into.Clear();
    if (from)
        for (int i = 0; i < from->Count(); ++i)
            into.Add(from->Strings(i));
}

} // namespace

// ---- creation ----------------------------------------------------------------------------------

TpgwCustomCrossView::TpgwCustomCrossView(TComponent* owner)
    : TpgwView(owner), rowFields_(std::make_unique<TStringList>()),
      columnFields_(std::make_unique<TStringList>()), cellFields_(std::make_unique<TStringList>()),
      columnStrips_(std::make_unique<TpgwCutBands>()), rowStrips_(std::make_unique<TpgwCutBands>()),
      verticalLines_(std::make_unique<TpgwGridLines>()),
      horizontalLines_(std::make_unique<TpgwGridLines>()) {
    Frame()->SetTyp(kAllSides);
    SetColor(kWhite);
    // The designer drops objects into it; only the memos it prints reach prepared pages.
    SetObjectTraits(TpgwObjectTraits::HoldsObjects);
    SetDotMatrixMode(dynamic_cast<TpgwDMPPage*>(Page()) != nullptr);
    ensureMemos(cornerMemos_, 3, mkCorner);
    // The derived classes' own setters run again in their constructors (virtual calls made
    // here reach only this class).
    TpgwCustomCrossView::SetCellLevels(1);
    TpgwCustomCrossView::SetColumnLevels(1);
    TpgwCustomCrossView::SetRowLevels(1);
    cellFunctions_.fill(cfSum);
    columnSort_.fill(csoAscending);
    rowSort_.fill(csoAscending);
}

TpgwCustomCrossView::~TpgwCustomCrossView() {
    SetNextCross(nullptr);
    ClearMatrix();
    freeMemos();
}

void TpgwCustomCrossView::RegisterProperties(TClassBuilder<TpgwCustomCrossView>& b) {
    using C = TpgwCustomCrossView;
    b.Add("AddHeight", TypeInfoExtended(), &C::AddHeight, &C::SetAddHeight);
    b.Add("AddWidth", TypeInfoExtended(), &C::AddWidth, &C::SetAddWidth);
    b.Add("AllowDuplicates", TypeInfoBoolean(), &C::AllowDuplicates, &C::SetAllowDuplicates)
        .Default(1);
    b.Add("AutoSize", TypeInfoBoolean(), &C::AutoSize, &C::SetAutoSize).Default(1);
    b.Add("Border", TypeInfoBoolean(), &C::Border, &C::SetBorder).Default(1);
    b.Add("CellLevels", TypeInfoInteger(), &C::CellLevels, &C::SetCellLevels).Default(1);
    b.Add("ColumnLevels", TypeInfoInteger(), &C::ColumnLevels, &C::SetColumnLevels).Default(1);
    b.Add("DefHeight", TypeInfoInteger(), &C::DefHeight, &C::SetDefHeight).Default(0);
    b.Add("DownThenAcross", TypeInfoBoolean(), &C::DownThenAcross, &C::SetDownThenAcross);
    b.Add("GapX", TypeInfoInteger(), &C::GapX, &C::SetGapX).Default(3);
    b.Add("GapY", TypeInfoInteger(), &C::GapY, &C::SetGapY).Default(3);
    b.Add("JoinEqualCells", TypeInfoBoolean(), &C::JoinEqualCells, &C::SetJoinEqualCells)
        .Default(0);
    b.Add("KeepTogether", TypeInfoBoolean(), &C::KeepTogether, &C::SetKeepTogether).Default(0);
    b.Add("MaxWidth", TypeInfoInteger(), &C::MaxWidth, &C::SetMaxWidth).Default(200);
    b.Add("MinWidth", TypeInfoInteger(), &C::MinWidth, &C::SetMinWidth).Default(0);
    b.Add("NextCross", TypeInfoOfClass(TpgwCustomCrossView::StaticClass()), &C::NextCross,
          &C::SetNextCross);
    b.Add("NextCrossGap", TypeInfoExtended(), &C::NextCrossGap, &C::SetNextCrossGap);
    b.Add("PlainCells", TypeInfoBoolean(), &C::PlainCells, &C::SetPlainCells).Default(0);
    b.Add("RepeatHeaders", TypeInfoBoolean(), &C::RepeatHeaders, &C::SetRepeatHeaders).Default(1);
    b.Add("RowLevels", TypeInfoInteger(), &C::RowLevels, &C::SetRowLevels).Default(1);
    b.Add("ShowColumnHeader", TypeInfoBoolean(), &C::ShowColumnHeader, &C::SetShowColumnHeader)
        .Default(1);
    b.Add("ShowColumnTotal", TypeInfoBoolean(), &C::ShowColumnTotal, &C::SetShowColumnTotal)
        .Default(1);
    b.Add("ShowCorner", TypeInfoBoolean(), &C::ShowCorner, &C::SetShowCorner).Default(1);
    b.Add("ShowRowHeader", TypeInfoBoolean(), &C::ShowRowHeader, &C::SetShowRowHeader).Default(1);
    b.Add("ShowRowTotal", TypeInfoBoolean(), &C::ShowRowTotal, &C::SetShowRowTotal).Default(1);
    b.Add("ShowTitle", TypeInfoBoolean(), &C::ShowTitle, &C::SetShowTitle).Default(1);
    b.Add("SuppressNullRecords", TypeInfoBoolean(), &C::SuppressNullRecords,
          &C::SetSuppressNullRecords)
        .Default(1);
    b.Add("OnCalcHeight", TypeInfoString(), &C::OnCalcHeight, &C::OnCalcHeight);
    b.Add("OnCalcWidth", TypeInfoString(), &C::OnCalcWidth, &C::OnCalcWidth);
    b.Add("OnPrintCell", TypeInfoString(), &C::OnPrintCell, &C::OnPrintCell);
    b.Add("OnPrintColumnHeader", TypeInfoString(), &C::OnPrintColumnHeader,
          &C::OnPrintColumnHeader);
    b.Add("OnPrintRowHeader", TypeInfoString(), &C::OnPrintRowHeader, &C::OnPrintRowHeader);
    PublishViewProperties(b, {"Color", "Frame"});
}

void TpgwCustomCrossView::SetDotMatrixMode(bool value) {
    dotMatrixMode_ = value;
    if (value) {
        gapX_ = 0;
        gapY_ = 0;
    }
}

TpgwCustomMemoView* TpgwCustomCrossView::NewMemo(TpgwBand* band) {
    if (dotMatrixMode_) return new TpgwDMPMemoView(band);
    return new TpgwMemoView(band);
}

void TpgwCustomCrossView::ensureMemos(MemoList& list, int count, int kind) {
    while (static_cast<int>(list.size()) < count) {
        std::unique_ptr<TpgwCustomMemoView> memo(NewMemo(nullptr));
        FormatNewMemo(memo.get(), kind, static_cast<int>(list.size()));
        list.push_back(std::move(memo));
    }
}

void TpgwCustomCrossView::ensureCellMemos() {
    ensureMemos(cellMemos_, (rowLevels_ + 1) * cellLevels_ * (columnLevels_ + 1), mkCell);
    ensureMemos(cellHeaderMemos_, (std::max(rowLevels_, columnLevels_) + 1) * cellLevels_,
                mkCellHeader);
}

void TpgwCustomCrossView::freeMemos() {
    for (MemoList* list : {&cellMemos_, &cellHeaderMemos_, &columnMemos_, &columnTotalMemos_,
                           &cornerMemos_, &rowMemos_, &rowTotalMemos_})
        list->clear();
}

void TpgwCustomCrossView::SetCellLevels(int value) {
    CheckLevels(value);
    cellLevels_ = value;
    ensureCellMemos();
}

void TpgwCustomCrossView::SetColumnLevels(int value) {
    CheckLevels(value);
    columnLevels_ = value;
    ensureMemos(columnMemos_, std::max(value, 1), mkHeader);
    ensureMemos(columnTotalMemos_, std::max(value, 1), mkTotal);
    ensureCellMemos();
}

void TpgwCustomCrossView::SetRowLevels(int value) {
    CheckLevels(value);
    rowLevels_ = value;
    ensureMemos(rowMemos_, std::max(value, 1), mkHeader);
    ensureMemos(rowTotalMemos_, std::max(value, 1), mkTotal);
    ensureMemos(cornerMemos_, rowLevels_ + 3, mkCorner);
    ensureCellMemos();
}

TpgwCustomMemoView* TpgwCustomCrossView::CellMemoFor(int rowTotalDepth, int columnTotalDepth,
                                                     int level) const {
    const std::size_t index = static_cast<std::size_t>(
        (rowLevels_ + 1) * cellLevels_ * columnTotalDepth + cellLevels_ * rowTotalDepth + level);
    return index < cellMemos_.size() ? cellMemos_[index].get() : nullptr;
}

// ---- tables of functions and sort orders
// ---------------------------------------------------------

TpgwCrossFunction TpgwCustomCrossView::CellFunctions(int index) const {
    CheckIndex("CellFunctions", index);
    return cellFunctions_[static_cast<std::size_t>(index)];
}

void TpgwCustomCrossView::SetCellFunctions(int index, TpgwCrossFunction value) {
    CheckIndex("CellFunctions", index);
    cellFunctions_[static_cast<std::size_t>(index)] = value;
}

TpgwCrossSortOrder TpgwCustomCrossView::ColumnSort(int index) const {
    CheckIndex("ColumnSort", index);
    return columnSort_[static_cast<std::size_t>(index)];
}

void TpgwCustomCrossView::SetColumnSort(int index, TpgwCrossSortOrder value) {
    CheckIndex("ColumnSort", index);
    columnSort_[static_cast<std::size_t>(index)] = value;
}

TpgwCrossSortOrder TpgwCustomCrossView::RowSort(int index) const {
    CheckIndex("RowSort", index);
    return rowSort_[static_cast<std::size_t>(index)];
}

void TpgwCustomCrossView::SetRowSort(int index, TpgwCrossSortOrder value) {
    CheckIndex("RowSort", index);
    rowSort_[static_cast<std::size_t>(index)] = value;
}

void TpgwCustomCrossView::SetRowFields(TStringList* value) {
    CopyLines(*rowFields_, value);
}

void TpgwCustomCrossView::SetColumnFields(TStringList* value) {
    CopyLines(*columnFields_, value);
}

void TpgwCustomCrossView::SetCellFields(TStringList* value) {
    CopyLines(*cellFields_, value);
}

void TpgwCustomCrossView::SetNextCross(TpgwCustomCrossView* value) {
    if (value == this) value = nullptr;
    if (nextCross_ == value) return;
    if (nextCross_) nextCross_->RemoveFreeNotification(this);
    nextCross_ = value;
    if (nextCross_) nextCross_->FreeNotification(this);
}

void TpgwCustomCrossView::Notification(TComponent* component, TOperation operation) {
    TpgwView::Notification(component, operation);
    if (operation == TOperation::opRemove && component && component == nextCross_)
        nextCross_ = nullptr;
}

// ---- names and styles --------------------------------------------------------------------------

void TpgwCustomCrossView::SetMemoNames(bool publish) {
    TksScript* script = nullptr;
    if (publish)
        if (auto* report = dynamic_cast<TpgwReport*>(Report())) script = report->Script();
    const std::string& base = Name();
    auto name = [&](TpgwCustomMemoView* memo, const std::string& suffix) {
        memo->SetGapX(gapX_);
        memo->SetGapY(gapY_);
        memo->SetName(base + suffix);
        if (script) script->AddObject(memo->Name(), memo);
    };
    for (std::size_t i = 0; i < cellHeaderMemos_.size(); ++i) {
        cellHeaderMemos_[i]->SetVisible(true);
        name(cellHeaderMemos_[i].get(), "CellHeader" + std::to_string(i));
    }
    for (std::size_t i = 0; i < cellMemos_.size(); ++i)
        name(cellMemos_[i].get(), "Cell" + std::to_string(i));
    for (std::size_t i = 0; i < columnMemos_.size(); ++i) {
        columnMemos_[i]->SetVisible(true);
        name(columnMemos_[i].get(), "Column" + std::to_string(i));
        if (i < columnTotalMemos_.size()) {
            columnTotalMemos_[i]->SetAllowExpressions(false);
            name(columnTotalMemos_[i].get(), "ColumnTotal" + std::to_string(i));
        }
    }
    for (std::size_t i = 0; i < rowMemos_.size(); ++i) {
        rowMemos_[i]->SetVisible(true);
        name(rowMemos_[i].get(), "Row" + std::to_string(i));
        if (i < rowTotalMemos_.size()) {
            rowTotalMemos_[i]->SetAllowExpressions(false);
            name(rowTotalMemos_[i].get(), "RowTotal" + std::to_string(i));
        }
    }
    for (std::size_t i = 0; i < cornerMemos_.size(); ++i) {
        // Corner captions 0 to 2 keep the visibility the matrix gives them.
        if (i > 2) cornerMemos_[i]->SetVisible(true);
        name(cornerMemos_[i].get(), "Corner" + std::to_string(i));
    }
    for (TpgwComponent* object : InnerObjects()) {
        object->SetName(base + "Object" + std::to_string(object->Tag()));
        if (script) script->AddObject(object->Name(), object);
    }
}

std::vector<TpgwComponent*> TpgwCustomCrossView::InnerObjects() const {
    std::vector<TpgwComponent*> list;
    auto add = [&](const MemoList& memos) {
        for (const auto& memo : memos)
            for (TpgwComponent* child : memo->Objects())
                list.push_back(child);
    };
    add(cellHeaderMemos_);
    add(cellMemos_);
    for (std::size_t i = 0; i < columnMemos_.size(); ++i) {
        for (TpgwComponent* child : columnMemos_[i]->Objects())
            list.push_back(child);
        if (i < columnTotalMemos_.size())
            for (TpgwComponent* child : columnTotalMemos_[i]->Objects())
                list.push_back(child);
    }
    for (std::size_t i = 0; i < rowMemos_.size(); ++i) {
        for (TpgwComponent* child : rowMemos_[i]->Objects())
            list.push_back(child);
        if (i < rowTotalMemos_.size())
            for (TpgwComponent* child : rowTotalMemos_[i]->Objects())
                list.push_back(child);
    }
    add(cornerMemos_);
    return list;
}

void TpgwCustomCrossView::ApplyStyle(TpgwStyles* styles) {
    if (!styles) return;
    auto apply = [&](const MemoList& list, const char* all, const char* first) {
        for (std::size_t i = 0; i < list.size(); ++i)
            list[i]->ApplyStyleItem(styles->Find(i == 0 && first ? first : all));
    };
    apply(cellHeaderMemos_, "cellheader", nullptr);
    apply(cellMemos_, "cell", nullptr);
    apply(columnMemos_, "column", nullptr);
    apply(columnTotalMemos_, "coltotal", "colgrand");
    apply(rowMemos_, "row", nullptr);
    apply(rowTotalMemos_, "rowtotal", "rowgrand");
    apply(cornerMemos_, "corner", nullptr);
}

void TpgwCustomCrossView::SaveStyle(TpgwStyles* styles) {
    if (!styles) return;
    auto save = [&](const MemoList& list, std::size_t index, const char* name) {
        if (list.size() <= index) return;
        TpgwStyleItem* item = styles->Find(name);
        if (!item) item = styles->Add();
        item->SetName(name);
        TpgwCustomMemoView* memo = list[index].get();
        item->SetColor(memo->Color());
        item->SetFont(memo->Font());
        item->SetFrame(memo->Frame());
    };
    save(cellHeaderMemos_, 0, "cellheader");
    save(cellMemos_, 0, "cell");
    save(columnMemos_, 0, "column");
    save(columnTotalMemos_, 0, "colgrand");
    save(columnTotalMemos_, 1, "coltotal");
    save(rowMemos_, 0, "row");
    save(rowTotalMemos_, 0, "rowgrand");
    save(rowTotalMemos_, 1, "rowtotal");
    save(cornerMemos_, 0, "corner");
}

// ---- events ------------------------------------------------------------------------------------

void TpgwCustomCrossView::CallCalcWidth(int columnIndex, double& width) {
    const Variant key = ColumnKey(columnIndex);
    if (!OnCalcWidth.empty())
        if (TpgwCustomReport* report = Report()) {
            std::vector<Variant> params{Variant(columnIndex), key, Variant(width)};
            report->CallScriptEventWithParams(OnCalcWidth, params, false);
            width = params[2].AsDouble();
        }
    if (HostCalcWidth) HostCalcWidth(columnIndex, key, width);
}

void TpgwCustomCrossView::CallCalcHeight(int rowIndex, double& height) {
    const Variant key = RowKey(rowIndex);
    if (!OnCalcHeight.empty())
        if (TpgwCustomReport* report = Report()) {
            std::vector<Variant> params{Variant(rowIndex), key, Variant(height)};
            report->CallScriptEventWithParams(OnCalcHeight, params, false);
            height = params[2].AsDouble();
        }
    if (HostCalcHeight) HostCalcHeight(rowIndex, key, height);
}

void TpgwCustomCrossView::CallPrintCell(TpgwCustomMemoView* memo, int rowIndex,
                                        const Variant& value, int cellLevel, int columnIndex) {
    if (OnPrintCell.empty() && !HostPrintCell) return;
    const Variant rowKey = RowKey(rowIndex);
    const Variant columnKey = ColumnKey(columnIndex);
    if (!OnPrintCell.empty())
        if (TpgwCustomReport* report = Report()) {
            std::vector<Variant> params{ksObjectToValue(memo),
                                        Variant(rowIndex),
                                        Variant(columnIndex),
                                        Variant(cellLevel),
                                        rowKey,
                                        columnKey,
                                        value};
            report->CallScriptEventWithParams(OnPrintCell, params, false);
        }
    if (HostPrintCell)
        HostPrintCell(memo, rowIndex, columnIndex, cellLevel, rowKey, columnKey, value);
}

namespace {

void CallPrintHeader(TpgwCustomCrossView& cross, const std::string& procedure,
                     const std::function<void(TpgwCustomMemoView*, const Variant&, const Variant&,
                                              const Variant&)>& host,
                     TpgwCustomMemoView* memo, TpgwCrossHeader* node) {
    if (procedure.empty() && !host) return;
    const TpgwVariantArray indexes = node->PathIndexes();
    const TpgwVariantArray values = node->PathValues();
    const Variant headerIndexes = VarArrayOf(std::span<const Variant>(indexes));
    const Variant headerValues = VarArrayOf(std::span<const Variant>(values));
    if (!procedure.empty())
        if (TpgwCustomReport* report = cross.Report()) {
            std::vector<Variant> params{ksObjectToValue(memo), headerIndexes, headerValues,
                                        node->KeyValue};
            report->CallScriptEventWithParams(procedure, params, false);
        }
    if (host) host(memo, headerIndexes, headerValues, node->KeyValue);
}

} // namespace

void TpgwCustomCrossView::CallPrintColumnHeader(TpgwCustomMemoView* memo, TpgwCrossHeader* node) {
    CallPrintHeader(*this, OnPrintColumnHeader, HostPrintColumnHeader, memo, node);
}

void TpgwCustomCrossView::CallPrintRowHeader(TpgwCustomMemoView* memo, TpgwCrossHeader* node) {
    CallPrintHeader(*this, OnPrintRowHeader, HostPrintRowHeader, memo, node);
}

// ---- print cycle -------------------------------------------------------------------------------

void TpgwCustomCrossView::PrepareForRun() {
    TpgwView::PrepareForRun();
    SetMemoNames(true);
}

void TpgwCustomCrossView::SaveForPrint() {
    TpgwView::SaveForPrint();
    if (ClearBeforePrint) BeginMatrix();
}

void TpgwCustomCrossView::FetchData() {
    TpgwView::FetchData();
    TpgwCustomReport* report = Report();
    if (report) report->ShowProgressText(GetResources().GetText("crFillMx"), true);
    // A script that keeps its matrix (ClearBeforePrint off) but never began one prints an
    // empty table rather than nothing.
    if (!HasMatrix()) BeginMatrix();
    if (IsValid()) FillMatrix();
    if (report) report->ShowProgressText(GetResources().GetText("crBuildMx"), true);
    CompleteMatrix();
    Output();
}

void TpgwCustomCrossView::DefineProperties(TFiler& filer) {
    TpgwView::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Memos", [this](TStream& s) { ReadMemos(s); }, [this](TStream& s) { WriteMemos(s); }, true);
}

// ---- concrete classes --------------------------------------------------------------------------

TpgwCrossView::TpgwCrossView(TComponent* owner) : TpgwCustomCrossView(owner) {
    FillCaptions(*CellFields(), "Cell", CellLevels());
    FillCaptions(*ColumnFields(), "Column", ColumnLevels());
    FillCaptions(*RowFields(), "Row", RowLevels());
}

TpgwCrossView::~TpgwCrossView() = default;

void TpgwCrossView::RegisterProperties(TClassBuilder<TpgwCrossView>&) {}

std::string TpgwCrossView::ClassDescription() const {
    return GetResources().GetText("obCross");
}

void TpgwCrossView::SetCellLevels(int value) {
    TpgwCustomCrossView::SetCellLevels(value);
    FillCaptions(*CellFields(), "Cell", value);
}

void TpgwCrossView::SetColumnLevels(int value) {
    TpgwCustomCrossView::SetColumnLevels(value);
    FillCaptions(*ColumnFields(), "Column", value);
}

void TpgwCrossView::SetRowLevels(int value) {
    TpgwCustomCrossView::SetRowLevels(value);
    FillCaptions(*RowFields(), "Row", value);
}

bool TpgwCrossView::IsValid() const {
    return CellLevels() >= 1 && RowLevels() >= 0 && ColumnLevels() >= 0;
}

TpgwDBCrossView::TpgwDBCrossView(TComponent* owner) : TpgwCustomCrossView(owner) {}

TpgwDBCrossView::~TpgwDBCrossView() = default;

void TpgwDBCrossView::RegisterProperties(TClassBuilder<TpgwDBCrossView>& b) {
    using C = TpgwDBCrossView;
    b.Add("CellFields", TypeInfoStrings(), &C::CellFields, &C::SetCellFields);
    b.Add("ColumnFields", TypeInfoStrings(), &C::ColumnFields, &C::SetColumnFields);
    PublishViewProperties(b, {"DataSet", "DataSetName"});
    b.Add("RowFields", TypeInfoStrings(), &C::RowFields, &C::SetRowFields);
}

std::string TpgwDBCrossView::ClassDescription() const {
    return GetResources().GetText("obDBCross");
}

bool TpgwDBCrossView::IsValid() const {
    return DataSet() && CellLevels() > 0 && RowFields()->Count() == RowLevels() &&
           ColumnFields()->Count() == ColumnLevels() && CellFields()->Count() == CellLevels();
}

void TpgwDBCrossView::FillMatrix() {
    TpgwDataSet* dataSet = DataSet();
    if (!dataSet) return;
    TpgwVariantArray rows(static_cast<std::size_t>(RowLevels()));
    TpgwVariantArray columns(static_cast<std::size_t>(ColumnLevels()));
    TpgwVariantArray cells(static_cast<std::size_t>(CellLevels()));
    dataSet->Open();
    TStringList fields;
    dataSet->GetFieldList(fields);
    fields.SetCaseSensitive(false);
    fields.SetSorted(true);
    TpgwCustomReport* report = Report();
    // Each line is a field of the data set or an expression of the report; which, is decided
    // once.
    struct Source {
        std::string text;
        bool field;
    };
    auto sources = [&](TStringList* lines) {
        std::vector<Source> list;
        for (int i = 0; i < lines->Count(); ++i) {
            int at = 0;
            list.push_back({lines->Strings(i), fields.Find(lines->Strings(i), at)});
        }
        return list;
    };
    const std::vector<Source> rowSources = sources(RowFields());
    const std::vector<Source> columnSources = sources(ColumnFields());
    const std::vector<Source> cellSources = sources(CellFields());
    auto fill = [&](const std::vector<Source>& from, TpgwVariantArray& into) {
        for (std::size_t i = 0; i < from.size() && i < into.size(); ++i)
            into[i] = from[i].field ? dataSet->GetValue(from[i].text)
                                    : (report ? report->Calc(from[i].text) : Variant::Null());
    };
    dataSet->First();
    while (!dataSet->Eof()) {
        fill(rowSources, rows);
        fill(columnSources, columns);
        fill(cellSources, cells);
        AddValue(rows, columns, cells);
        dataSet->Next();
    }
}

TpgwCrossObject::TpgwCrossObject(TComponent* owner) : TComponent(owner) {}

TpgwCrossObject::~TpgwCrossObject() = default;

// ---- module ------------------------------------------------------------------------------------

namespace {

void AddHandlerTexts() {
    const struct {
        const char* type;
        const char* lines[4];
    } texts[] = {
        {"TpgwPrintCellEvent",
         {"PascalScript=(Memo: TpgwMemoView; RowIndex, ColumnIndex, CellIndex: Integer; "
          "RowValues, ColumnValues, Value: Variant);",
          "C++Script=(TpgwMemoView Memo, int RowIndex, int ColumnIndex, int CellIndex, variant "
          "RowValues, variant ColumnValues, variant Value)",
          "BasicScript=(Memo, RowIndex, ColumnIndex, CellIndex, RowValues, ColumnValues, Value)",
          "JScript=(Memo, RowIndex, ColumnIndex, CellIndex, RowValues, ColumnValues, Value)"}},
        {"TpgwPrintHeaderEvent",
         {"PascalScript=(Memo: TpgwMemoView; HeaderIndexes, HeaderValues, Value: Variant);",
          "C++Script=(TpgwMemoView Memo, variant HeaderIndexes, variant HeaderValues, variant "
          "Value)",
          "BasicScript=(Memo, HeaderIndexes, HeaderValues, Value)",
          "JScript=(Memo, HeaderIndexes, HeaderValues, Value)"}},
        {"TpgwCalcWidthEvent",
         {"PascalScript=(ColumnIndex: Integer; ColumnValues: Variant; var Width: Extended);",
          "C++Script=(int ColumnIndex, variant ColumnValues, float &Width)",
          "BasicScript=(ColumnIndex, ColumnValues, byref Width)",
          "JScript=(ColumnIndex, ColumnValues, &Width)"}},
        {"TpgwCalcHeightEvent",
         {"PascalScript=(RowIndex: Integer; RowValues: Variant; var Height: Extended);",
          "C++Script=(int RowIndex, variant RowValues, float &Height)",
          "BasicScript=(RowIndex, RowValues, byref Height)",
          "JScript=(RowIndex, RowValues, &Height)"}},
    };
    for (const auto& t : texts)
        GetResources().AddText(t.type, std::string(t.lines[0]) + "\r\n" + t.lines[1] + "\r\n" +
                                           t.lines[2] + "\r\n" + t.lines[3]);
}

// Report pages and dot-matrix report pages.
constexpr int kCrossPageKinds = 10;

} // namespace

void RegisterCrossViewClasses() {
    RegisterClasses<TpgwCustomCrossView, TpgwCrossView, TpgwDBCrossView, TpgwCrossObject>();
    GetRegisteredObjects().RegisterObject(TpgwCrossView::StaticClass(), nullptr, kCrossPageKinds,
                                          42);
    GetRegisteredObjects().RegisterObject(TpgwDBCrossView::StaticClass(), nullptr, kCrossPageKinds,
                                          49);
    AddHandlerTexts();
}

void UnregisterCrossViewClasses() {
    GetRegisteredObjects().Unregister(TpgwCrossView::StaticClass());
    GetRegisteredObjects().Unregister(TpgwDBCrossView::StaticClass());
}
