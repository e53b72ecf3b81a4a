#include "report/report_data_sets.h"

#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "report/data_set.h"

TpgwDataSetItem::TpgwDataSetItem(TCollection* collection) : TCollectionItem(collection) {}

TpgwDataSetItem::~TpgwDataSetItem() = default;

void TpgwDataSetItem::RegisterProperties(TClassBuilder<TpgwDataSetItem>& b) {
    b.Add("DataSet", TypeInfoOfClass(TpgwDataSet::StaticClass()), &TpgwDataSetItem::DataSet,
          &TpgwDataSetItem::SetDataSet);
    b.Add("DataSetName", TypeInfoString(), &TpgwDataSetItem::DataSetName,
          &TpgwDataSetItem::SetDataSetName);
}

void TpgwDataSetItem::watch() {
    // A data set outside the report still tells the report when it goes.
    auto* sets = dynamic_cast<TpgwReportDataSets*>(Collection());
    if (dataSet_ && sets && sets->Report()) dataSet_->FreeNotification(sets->Report());
}

void TpgwDataSetItem::SetDataSet(TpgwDataSet* value) {
    dataSet_ = value;
    watch();
    dataSetName_ = value ? value->UserName() : std::string();
}

std::string TpgwDataSetItem::DataSetName() const {
    return dataSet_ ? dataSet_->UserName() : dataSetName_;
}

void TpgwDataSetItem::SetDataSetName(const std::string& value) {
    dataSetName_ = value;
    if (value.empty()) {
        dataSet_ = nullptr;
        return;
    }
    auto* sets = dynamic_cast<TpgwReportDataSets*>(Collection());
    if (sets && sets->Report()) dataSet_ = sets->Report()->DataSetByName(value, dataSet_);
    watch();
}

void TpgwDataSetItem::Assign(const TPersistent* source) {
    auto* s = dynamic_cast<const TpgwDataSetItem*>(source);
    if (!s) return TCollectionItem::Assign(source);
    dataSet_ = s->dataSet_;
    dataSetName_ = s->dataSetName_;
    watch();
}

TpgwReportDataSets::TpgwReportDataSets(TpgwCustomReport* report)
    : TCollection(TpgwDataSetItem::StaticClass(), report), report_(report) {}

TpgwReportDataSets::~TpgwReportDataSets() = default;

TpgwDataSetItem* TpgwReportDataSets::Add(TpgwDataSet* dataSet) {
    auto* item = static_cast<TpgwDataSetItem*>(TCollection::Add());
    item->SetDataSet(dataSet);
    return item;
}

TpgwDataSetItem* TpgwReportDataSets::Items(int index) const {
    return static_cast<TpgwDataSetItem*>(TCollection::Items(index));
}

TpgwDataSetItem* TpgwReportDataSets::FindByDataSet(const TComponent* component) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->DataSet() && Items(i)->DataSet() == component) return Items(i);
    return nullptr;
}

TpgwDataSetItem* TpgwReportDataSets::Find(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        TpgwDataSet* ds = Items(i)->DataSet();
        if (ds && SameText(ds->UserName(), name)) return Items(i);
    }
    return nullptr;
}

void TpgwReportDataSets::BeginReport() {
    for (int i = 0; i < Count(); ++i) {
        if (TpgwDataSet* ds = Items(i)->DataSet()) {
            ds->SetRunningReport(report_);
            ds->BeginReport();
        }
    }
}

void TpgwReportDataSets::EndReport() {
    for (int i = 0; i < Count(); ++i)
        if (TpgwDataSet* ds = Items(i)->DataSet()) ds->EndReport();
}
