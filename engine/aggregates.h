#pragma once
// The aggregate functions SUM, AVG, MIN, MAX and COUNT of bracketed expressions: before
// output the list finds every call in the text objects of footers, page and column footers,
// the summary and vertical bands and makes one item per call; data bands add their records to
// the items, the report's script functions read them back while the band showing the call is
// output, and the engine resets them once that band is out.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/variant.h"

class TpgwBand;
class TpgwComponent;
class TpgwReport;
class TpgwReportPage;

// What the aggregates need of the report.
class TpgwAggregateHost {
public:
    virtual ~TpgwAggregateHost() = default;
    // The value of an expression in the report's script; may raise.
    virtual Variant Calc(const std::string& expression) = 0;
    virtual TpgwComponent* FindObject(std::string_view name) = 0;
    // Whether name is a report variable, and its value.
    virtual bool VariableValue(std::string_view name, Variant& value) = 0;
    // Whether the text names a field of a data set the report knows (alias."field").
    virtual bool IsDataField(const std::string& text) = 0;
    // The object that expressions evaluated from now on belong to.
    virtual void SetCurrentObjectName(const std::string& name) = 0;
};

// The host over a report: its Calc, FindObject, Variables, data sets and ActiveObjectName.
std::unique_ptr<TpgwAggregateHost> MakeReportAggregateHost(TpgwReport& report);

enum TpgwAggregateKind { akSum, akAvg, akMin, akMax, akCount };

struct TpgwAggregateItem {
    TpgwAggregateKind Kind = akSum;
    // The data band whose records are added.
    TpgwBand* Band = nullptr;
    bool IncludeInvisible = false;
    // Not reset after it is printed, only while it holds no records.
    bool RunningTotal = false;
    std::string Expression;
    bool InPageFooter = false;
    // Per vertical column (index = column); empty until the first value for a column arrives.
    std::vector<Variant> VerticalValues;
    std::vector<int> VerticalCounts;
    int Count = 0;
    Variant Value = Variant::Null();
    // Collected aside while a keep-together block is open (page-footer items only).
    bool KeepActive = false;
    int KeepCount = 0;
    Variant KeepValue = Variant::Null();
    // Count and Value before the last added record.
    int SavedCount = 0;
    Variant SavedValue = Variant::Null();
    std::string CallerObjectName;
    std::string CallText;
    // The band in which the text object holding the call is printed.
    TpgwBand* PrintBand = nullptr;
    // The vertical column of the last value request or addition.
    int VerticalColumn = 0;
};

class TpgwAggregateList {
public:
    explicit TpgwAggregateList(TpgwAggregateHost& host);
    ~TpgwAggregateList();
    TpgwAggregateList(const TpgwAggregateList&) = delete;
    TpgwAggregateList& operator=(const TpgwAggregateList&) = delete;

    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    TpgwAggregateItem& Items(int index) { return *items_.at(static_cast<std::size_t>(index)); }

    // Scans the page's text objects for calls; needs the page's band tree. A Flags argument
    // that is no integer raises EConvertError.
    void AddAggregates(TpgwReportPage& page);
    // Every item of the data band adds its current record, for the vertical column (0: none).
    void AddValue(TpgwBand* band, int verticalColumn);
    // Every item of the data band takes back its last added record.
    void Undo(TpgwBand* band);
    // Every item printed in the band is reset.
    void Reset(TpgwBand* band);
    // The value of the first item printed in activeBand that matches the call; Null when none
    // does. band: none matches any data band.
    Variant GetValue(TpgwBand* activeBand, int verticalColumn, std::string_view name,
                     std::string_view expression, TpgwComponent* band, int flags);
    // Page-footer items collect aside while a kept block is open, then merge it.
    void StartKeep();
    void EndKeep();
    // Every item is reset, running totals included.
    void ResetForSecondPass();

private:
    void scanBand(TpgwBand* band, TpgwBand* defaultBand);
    void scanBandWithChildren(TpgwBand* band, TpgwBand* defaultBand);
    void scanDataBand(TpgwBand* band, bool vertical, int depth);

    TpgwAggregateHost& host_;
    std::vector<std::unique_ptr<TpgwAggregateItem>> items_;
};
