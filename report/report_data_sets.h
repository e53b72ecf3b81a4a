#pragma once
// The data sets a report uses (and those it offers to the designer): a collection of items,
// each naming a data set by reference and by its user name.

#include <string>
#include <string_view>

#include "platform/core/collection.h"

class TComponent;
class TpgwCustomReport;
class TpgwDataSet;

class TpgwDataSetItem : public TCollectionItem {
    LUMETRA_CLASS(TpgwDataSetItem, TCollectionItem)
public:
    explicit TpgwDataSetItem(TCollection* collection);
    ~TpgwDataSetItem() override;
    static void RegisterProperties(TClassBuilder<TpgwDataSetItem>& b);

    TpgwDataSet* DataSet() const { return dataSet_; }
    // Also takes the data set's user name.
    void SetDataSet(TpgwDataSet* value);
    // The data set's user name when there is a data set, else the stored name.
    std::string DataSetName() const;
    // Empty clears the data set; otherwise, inside a report, the data set of that name (the
    // current one when none is found).
    void SetDataSetName(const std::string& value);

    void Assign(const TPersistent* source) override;

private:
    void watch();
    TpgwDataSet* dataSet_ = nullptr;
    std::string dataSetName_;
};

class TpgwReportDataSets : public TCollection {
    LUMETRA_CLASS(TpgwReportDataSets, TCollection)
public:
    explicit TpgwReportDataSets(TpgwCustomReport* report = nullptr);
    ~TpgwReportDataSets() override;

    TpgwCustomReport* Report() const { return report_; }
    TpgwDataSetItem* Add(TpgwDataSet* dataSet);
    TpgwDataSetItem* Items(int index) const;
    TpgwDataSetItem* FindByDataSet(const TComponent* component) const;
    // The first item whose data set has that user name (case ignored); the item's stored name
    // does not count.
    TpgwDataSetItem* Find(std::string_view name) const;
    // Each data set learns its report, then begins.
    void BeginReport();
    void EndReport();

private:
    TpgwCustomReport* report_;
};
