#pragma once
// TpgwDBDataset: the report's record cursor over a class-library data set, given directly or
// through a data source, with field aliases and the current-record ranges.

#include <string>

#include "platform/data/data_set.h"
#include "report/data_set.h"

class TDataSource;
class TWideStrings;

// Hears a data set's open and close while a report runs. Several adapters may listen to one
// data set and leave in any order: each removes only its own link, and the data set's own
// AfterOpen and BeforeClose handlers are never touched.
class TpgwDataSetListener {
public:
    TpgwDataSetListener() = default;
    TpgwDataSetListener(const TpgwDataSetListener&) = delete;
    TpgwDataSetListener& operator=(const TpgwDataSetListener&) = delete;
    ~TpgwDataSetListener() { Detach(); }

    // Listens to dataSet alone, leaving any data set listened to before.
    void Attach(TDataSet* dataSet, TDataLinkHandler handler);
    void Detach();
    // The data set is being destroyed: its links die with it.
    void Forget() { dataSet_ = nullptr, linkId_ = 0; }
    TDataSet* DataSet() const { return dataSet_; }

private:
    TDataSet* dataSet_ = nullptr;
    int linkId_ = 0;
};

class TpgwDBDataset : public TpgwCustomDBDataSet {
    LUMETRA_CLASS(TpgwDBDataset, TpgwCustomDBDataSet)
public:
    explicit TpgwDBDataset(TComponent* owner);
    ~TpgwDBDataset() override;
    static void RegisterProperties(TClassBuilder<TpgwDBDataset>& b);

    TDataSet* DataSet() const { return dataSet_; }
    // Also clears DataSource.
    void SetDataSet(TDataSet* value);
    TDataSource* DataSource() const { return dataSource_; }
    // Also clears DataSet.
    void SetDataSource(TDataSource* value);
    bool BCDToCurrency() const { return bcdToCurrency_; }
    void SetBCDToCurrency(bool value) { bcdToCurrency_ = value; }
    // DataSet is written only for an adapter outside any report.
    bool IsDataSetStored() const { return Report() == nullptr; }
    // The data set read: DataSet, else the data set of DataSource, else none.
    TDataSet* Source() const { return source_; }

    std::u16string GetDisplayText(const std::string& fieldName) override;
    int GetDisplayWidth(const std::string& fieldName) override;
    TpgwFieldType GetFieldType(const std::string& fieldName) override;
    Variant GetValue(const std::string& fieldName) override;
    // No source raises "dbNotConn".
    void BeginReport() override;
    // Back to the row of the range start, closes with CloseDataSource, stops listening.
    void EndReport() override;
    void Open() override;
    void Close() override;
    void First() override;
    void Next() override;
    void Prior() override;
    bool Eof() override;
    bool IsBlobField(const std::string& fieldName) override;
    int RecordCount() override;
    // The blob's bytes, the stream then at its start.
    void CopyBlobTo(const std::string& fieldName, TStream& stream) override;
    // The blob as lines: text fields as they are, binary ones in the legacy code page.
    void CopyBlobTo(const std::string& fieldName, TWideStrings& lines);
    // Aliases in FieldAliases order ("-name" lines hide), else the source's field names.
    void GetFieldList(TStrings& list) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    void HandleAfterOpen(TDataSet* sender);
    void HandleBeforeClose(TDataSet* sender);

private:
    void ResolveSource();
    void Track(TComponent* component);
    void Untrack(TComponent* component);
    void OpenIfNeeded() {
        if (!opened_) Open();
    }
    void BuildFieldMap();
    // The source's field behind an alias of the map; null when the map lacks the alias (inMap
    // false) or the source has no such field now.
    TField* MappedField(const std::string& alias, bool& inMap) const;
    void ReleaseRangeBookmark() { rangeBookmark_ = TBookmark{}, hasRangeBookmark_ = false; }
    std::string MissingFieldText(const std::string& fieldName) const;
    void AddMissingFieldError(const std::string& text);

    TDataSet* dataSet_ = nullptr;
    TDataSource* dataSource_ = nullptr;
    TDataSet* source_ = nullptr;
    TpgwDataSetListener listener_;
    TBookmark rangeBookmark_;
    bool hasRangeBookmark_ = false;
    bool opened_ = false;
    bool rangeEndReached_ = false;
    bool bcdToCurrency_ = false;
};

// Makes the adapter known by class name to templates and scripts (idempotent); entered as the
// start-up of module "pgwDBSet".
void RegisterDBDatasetClasses();
