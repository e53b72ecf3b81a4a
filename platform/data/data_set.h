#pragma once
// TDataSet: a read-only static cursor over the rows its subclass supplies at open, with the
// class library's navigation, bookmarks, Locate, filters, events and data links.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/string_list.h"
#include "platform/core/variant.h"
#include "platform/data/data_links.h"
#include "platform/data/field.h"
#include "platform/data/result_set.h"

const TTypeInfo& TypeInfoFilterOptions();
const TTypeInfo& TypeInfoLocateOptions();

enum class TDataSetState { dsInactive, dsBrowse };

using TLocateOptions = unsigned;
inline constexpr TLocateOptions loCaseInsensitive = 1u << 0;
inline constexpr TLocateOptions loPartialKey = 1u << 1;

using TFilterOptions = unsigned;
inline constexpr TFilterOptions foCaseInsensitive = 1u << 0;
inline constexpr TFilterOptions foNoPartialCompare = 1u << 1;

// A row identity that survives scrolling and filtering; invalid when default-made.
struct TBookmark {
    std::int64_t Row = -1;
    bool IsValid() const { return Row >= 0; }
    friend bool operator==(const TBookmark&, const TBookmark&) = default;
};

// What data links hear from their data set.
enum class TDataEvent {
    deOpened,  // after open, fields in place
    deClosing, // before close, fields still in place
    deClosed,
    deScrolled,       // the current row changed
    deDataSetChanged, // rows or filter changed, or controls were enabled again
};

class TDataSet;
class TFilterExpression;
using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;
using TFilterRecordEvent = std::function<void(TDataSet* dataSet, bool& accept)>;
using TDataLinkHandler = std::function<void(TDataSet& dataSet, TDataEvent event)>;

class TDataSet : public TComponent {
    LUMETRA_CLASS(TDataSet, TComponent)
public:
    explicit TDataSet(TComponent* owner);
    ~TDataSet() override;

    static void RegisterProperties(TClassBuilder<TDataSet>& b);

    // ---- state
    bool Active() const { return state_ != TDataSetState::dsInactive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return state_; }

    // ---- navigation (no-ops that raise nothing on an empty set; raise when closed)
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves by distance rows; returns the rows actually moved.
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return view_.empty(); }
    // Rows that pass the filter; 0 when closed.
    int RecordCount() const;
    // 1-based position of the current row; 0 when there is none.
    int RecNo() const;
    void SetRecNo(int value);

    // ---- bookmarks
    TBookmark GetBookmark() const;
    // Raises EDatabaseError "Record not found" for a row that is gone or filtered out.
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkValid(const TBookmark& bookmark) const;
    // Order of two rows: -1, 0 or 1; an invalid bookmark sorts first.
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;
    void FreeBookmark(TBookmark& bookmark) { bookmark = TBookmark{}; }

    // KeyFields "a;b"; KeyValues a single value or an array of one value per field. Moves to
    // the first matching row and answers true, else stays and answers false.
    bool Locate(std::string_view keyFields, const Variant& keyValues, TLocateOptions options);

    // ---- fields
    TFields& Fields() { return fields_; }
    const TFields& Fields() const { return fields_; }
    int FieldCount() const { return fields_.Count(); }
    TField* FindField(std::string_view name) const { return fields_.FindField(name); }
    // Raises EDatabaseError "<name>: Field 'x' not found".
    TField* FieldByName(std::string_view name) const;
    void GetFieldNames(TStrings& list) const;
    // Aggregate fields: this layer has none; kept for callers that list them.
    void GetAggregateFieldNames(TStrings& list) const { list.Clear(); }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    // The value of column index (0-based) in the current row; Null when there is no row.
    Variant CurrentValue(int column) const;

    // ---- filtering: Filter text (field comparisons joined by and/or/not; 'x*' ends a partial
    // match) and OnFilterRecord, both applied while Filtered is set.
    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& value);
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool value);
    TFilterOptions FilterOptions() const { return filterOptions_; }
    void SetFilterOptions(TFilterOptions value);
    // Finds among the filtered rows, moving there; true when one was found.
    bool FindFirst();
    bool FindLast();
    bool FindNext();
    bool FindPrior();

    // ---- controls and data links
    void DisableControls() { ++disableCount_; }
    // At the last call, data links hear deDataSetChanged when anything happened meanwhile.
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }
    // Data links, in the order added; each gets open/close always and scroll/change events
    // while controls are enabled. Removing during a notification is safe.
    int AddDataLink(TDataLinkHandler handler);
    void RemoveDataLink(int id);

    // ---- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeScroll, AfterScroll;
    TFilterRecordEvent OnFilterRecord;

protected:
    // The rows of the source; raising leaves the data set closed. Rows left in its More are
    // read as navigation reaches them (all of them at once for a filter, Last or a count the
    // source cannot give).
    virtual TDbResultSet OpenResult() = 0;
    // Column definitions without opening; the base opens a result for them.
    virtual std::vector<TDbColumn> DescribeColumns() { return OpenResult().Columns; }
    // Subclasses call this when their command changes.
    void InvalidateFieldDefs() { fieldDefs_.SetUpdated(false); }
    void CheckInactive(std::string_view what) const;
    void CheckActive() const;

private:
    friend class TFieldDefs;
    void OpenCursor();
    void CloseCursor();
    void BuildView();
    // Reads up to rows more rows of the result into the view (unfiltered while any are left);
    // false when none came.
    bool FetchMore(int rows);
    // Until the view holds count rows or the result is read whole.
    void FetchTo(int count);
    void FetchAll();
    bool RowAccepted(int row);
    void SetPosition(int index); // into view_, with scroll events
    void Notify(TDataEvent event);
    void DataChanged();
    int FieldIndexOrRaise(std::string_view name) const;
    int ColumnOf(std::string_view name) const; // -1 when there is no such field

    TDataSetState state_ = TDataSetState::dsInactive;
    TDbResultSet result_;
    std::vector<int> view_; // rows of result_ that pass the filter, in order
    int pos_ = -1;          // index into view_
    int filterRow_ = -1;    // the row a filter is testing: fields read it meanwhile
    bool bof_ = true;
    bool eof_ = true;
    bool inScroll_ = false;
    TFields fields_;
    TFieldDefs fieldDefs_;
    std::string filter_;
    bool filtered_ = false;
    TFilterOptions filterOptions_ = 0;
    std::unique_ptr<TFilterExpression> filterExpr_;
    int disableCount_ = 0;
    bool changedWhileDisabled_ = false;
    TDataLinks<TDataSet&, TDataEvent> links_;
};
