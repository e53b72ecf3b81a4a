#include "platform/data/data_set.h"

#include <algorithm>

#include "platform/core/format.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "platform/data/filter_expression.h"

const TTypeInfo& TypeInfoFilterOptions() {
    static const TTypeInfo& t =
        DefineSetType("TFilterOptions",
                      DefineEnumType("TFilterOption", {"foCaseInsensitive", "foNoPartialCompare"}));
    return t;
}

const TTypeInfo& TypeInfoLocateOptions() {
    static const TTypeInfo& t = DefineSetType(
        "TLocateOptions", DefineEnumType("TLocateOption", {"loCaseInsensitive", "loPartialKey"}));
    return t;
}

void TDataSet::RegisterProperties(TClassBuilder<TDataSet>& b) {
    b.Add("Active", &TDataSet::Active, &TDataSet::SetActive).Default(0);
    b.Add("Filter", &TDataSet::Filter, &TDataSet::SetFilter);
    b.Add("Filtered", &TDataSet::Filtered, &TDataSet::SetFiltered).Default(0);
    b.Add("FilterOptions", TypeInfoFilterOptions(), &TDataSet::FilterOptions,
          &TDataSet::SetFilterOptions)
        .Default(0);
}

TDataSet::TDataSet(TComponent* owner) : TComponent(owner), fieldDefs_(this) {}

TDataSet::~TDataSet() {
    // No user events while dying, but links must drop what they hold of our fields.
    if (Active()) {
        Notify(TDataEvent::deClosing);
        CloseCursor();
        Notify(TDataEvent::deClosed);
    }
}

void TDataSet::CheckActive() const {
    if (!Active())
        throw EDatabaseError((Name().empty() ? "" : Name() + ": ") +
                             "Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckInactive(std::string_view what) const {
    if (Active())
        throw EDatabaseError((Name().empty() ? "" : Name() + ": ") + "Cannot " + std::string(what) +
                             " on an open dataset");
}

void TDataSet::SetActive(bool value) {
    if (value == Active()) return;
    if (value) {
        if (BeforeOpen) BeforeOpen(this);
        OpenCursor();
        if (AfterOpen) AfterOpen(this);
        Notify(TDataEvent::deOpened);
    } else {
        if (BeforeClose) BeforeClose(this);
        Notify(TDataEvent::deClosing);
        CloseCursor();
        if (AfterClose) AfterClose(this);
        Notify(TDataEvent::deClosed);
    }
}

void TDataSet::OpenCursor() {
    try {
        result_ = OpenResult();
        fields_.Clear();
        for (int i = 0; i < result_.ColumnCount(); ++i) {
            const TDbColumn& c = result_.Columns[static_cast<std::size_t>(i)];
            fields_.Add(std::make_unique<TField>(this, c.Name, c.DataType, c.Size, i + 1));
        }
        state_ = TDataSetState::dsBrowse;
        fieldDefs_.Update();
        BuildView();
    } catch (...) {
        CloseCursor();
        throw;
    }
    pos_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
}

void TDataSet::CloseCursor() {
    state_ = TDataSetState::dsInactive;
    fields_.Clear();
    result_ = TDbResultSet{};
    view_.clear();
    filterExpr_.reset();
    pos_ = -1;
    bof_ = eof_ = true;
}

void TDataSet::BuildView() {
    view_.clear();
    filterExpr_.reset();
    if (filtered_ && !Trim(filter_).empty()) {
        filterExpr_ = std::make_unique<TFilterExpression>(
            filter_, [this](std::string_view n) { return ColumnOf(n); });
    }
    // A filter sees every row; unfiltered, the view grows as rows are read.
    if (filtered_) FetchAll();
    const int rows = result_.RowCount();
    view_.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        if (!filtered_ || RowAccepted(r)) view_.push_back(r);
    if (view_.empty()) FetchTo(1);
}

bool TDataSet::FetchMore(int rows) {
    if (!result_.More) return false;
    const int before = result_.RowCount();
    // Rows read before a failure stay in the view.
    struct Sync {
        TDataSet& ds;
        int before;
        ~Sync() {
            if (ds.filtered_) return; // BuildView makes the view from all rows
            for (int r = before, end = ds.result_.RowCount(); r < end; ++r)
                ds.view_.push_back(r);
        }
    } sync{*this, before};
    std::shared_ptr<TDbRowSource> source = result_.More;
    if (!source->Fetch(result_, rows)) result_.More.reset();
    return result_.RowCount() > before;
}

void TDataSet::FetchTo(int count) {
    // Batches keep a long scroll from stepping the statement row by row.
    constexpr int kBatch = 1000;
    while (result_.More && static_cast<int>(view_.size()) < count)
        FetchMore(std::max(kBatch, count - static_cast<int>(view_.size())));
}

void TDataSet::FetchAll() {
    if (!result_.More) return;
    const int total = result_.More->TotalRows();
    if (total > 0) result_.Cells.reserve(static_cast<std::size_t>(total) * result_.Columns.size());
    while (result_.More)
        FetchMore(1 << 16);
}

int TDataSet::RecordCount() const {
    if (result_.More && !filtered_) {
        const int total = result_.More->TotalRows();
        if (total >= 0) return std::max(total, static_cast<int>(view_.size()));
        // Counting is reading: the rows are the data set's own, only not read yet.
        const_cast<TDataSet*>(this)->FetchAll();
    }
    return static_cast<int>(view_.size());
}

bool TDataSet::RowAccepted(int row) {
    filterRow_ = row;
    struct Reset {
        int& r;
        ~Reset() { r = -1; }
    } reset{filterRow_};
    if (filterExpr_ &&
        !filterExpr_->Matches([this, row](int c) { return result_.At(row, c); }, filterOptions_))
        return false;
    bool accept = true;
    if (OnFilterRecord) OnFilterRecord(this, accept);
    return accept;
}

Variant TDataSet::CurrentValue(int column) const {
    if (!Active() || column < 0 || column >= result_.ColumnCount()) return Variant::Null();
    if (filterRow_ >= 0) return result_.At(filterRow_, column);
    if (pos_ < 0 || pos_ >= static_cast<int>(view_.size())) return Variant::Null();
    return result_.At(view_[static_cast<std::size_t>(pos_)], column);
}

// ---- navigation --------------------------------------------------------------------------------

void TDataSet::SetPosition(int index) {
    if (BeforeScroll) BeforeScroll(this);
    bool moved = index != pos_;
    pos_ = index;
    if (AfterScroll) AfterScroll(this);
    if (moved) Notify(TDataEvent::deScrolled);
}

void TDataSet::First() {
    CheckActive();
    SetPosition(view_.empty() ? -1 : 0);
    bof_ = true;
    eof_ = view_.empty();
}

void TDataSet::Last() {
    CheckActive();
    FetchAll();
    SetPosition(static_cast<int>(view_.size()) - 1);
    eof_ = true;
    bof_ = view_.empty();
}

void TDataSet::Next() {
    CheckActive();
    FetchTo(pos_ + 2);
    if (pos_ + 1 < static_cast<int>(view_.size())) {
        SetPosition(pos_ + 1);
        bof_ = eof_ = false;
    } else {
        eof_ = true;
    }
}

void TDataSet::Prior() {
    CheckActive();
    if (pos_ > 0) {
        SetPosition(pos_ - 1);
        bof_ = eof_ = false;
    } else {
        bof_ = true;
    }
}

int TDataSet::MoveBy(int distance) {
    CheckActive();
    int moved = 0;
    while (distance > 0 && !eof_) {
        int before = pos_;
        Next();
        if (pos_ != before) ++moved;
        --distance;
    }
    while (distance < 0 && !bof_) {
        int before = pos_;
        Prior();
        if (pos_ != before) --moved;
        ++distance;
    }
    return moved;
}

int TDataSet::RecNo() const {
    return Active() && pos_ >= 0 ? pos_ + 1 : 0;
}

void TDataSet::SetRecNo(int value) {
    CheckActive();
    if (value > static_cast<int>(view_.size())) FetchTo(value);
    if (value < 1 || value > static_cast<int>(view_.size())) return;
    SetPosition(value - 1);
    bof_ = eof_ = false;
}

// ---- bookmarks ---------------------------------------------------------------------------------

TBookmark TDataSet::GetBookmark() const {
    if (!Active() || pos_ < 0) return TBookmark{};
    return TBookmark{view_[static_cast<std::size_t>(pos_)]};
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) const {
    if (!Active() || !bookmark.IsValid()) return false;
    if (bookmark.Row < INT32_MAX)
        const_cast<TDataSet*>(this)->FetchTo(static_cast<int>(bookmark.Row) + 1);
    return std::binary_search(view_.begin(), view_.end(), static_cast<int>(bookmark.Row));
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    CheckActive();
    if (bookmark.IsValid() && bookmark.Row < INT32_MAX) FetchTo(static_cast<int>(bookmark.Row) + 1);
    auto it = bookmark.IsValid()
                  ? std::lower_bound(view_.begin(), view_.end(), static_cast<int>(bookmark.Row))
                  : view_.end();
    if (it == view_.end() || *it != bookmark.Row) throw EDatabaseError("Record not found");
    SetPosition(static_cast<int>(it - view_.begin()));
    bof_ = eof_ = false;
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
    if (a.Row == b.Row) return 0;
    return a.Row < b.Row ? -1 : 1;
}

// ---- Locate ------------------------------------------------------------------------------------

bool TDataSet::Locate(std::string_view keyFields, const Variant& keyValues,
                      TLocateOptions options) {
    CheckActive();
    std::vector<int> columns;
    std::size_t start = 0;
    while (start <= keyFields.size()) {
        std::size_t end = keyFields.find(';', start);
        if (end == std::string_view::npos) end = keyFields.size();
        std::string name = Trim(keyFields.substr(start, end - start));
        if (!name.empty()) columns.push_back(FieldIndexOrRaise(name));
        start = end + 1;
    }
    if (columns.empty()) return false;
    std::vector<Variant> keys;
    if (keyValues.IsArray()) {
        int lo = VarArrayLowBound(keyValues, 1), hi = VarArrayHighBound(keyValues, 1);
        for (int i = lo; i <= hi; ++i)
            keys.push_back(VarArrayGet(keyValues, {i}));
    } else {
        keys.push_back(keyValues);
    }
    if (keys.size() != columns.size())
        throw EDatabaseError("Locate: the number of key values does not match the key fields");

    const bool ci = (options & loCaseInsensitive) != 0;
    const bool partial = (options & loPartialKey) != 0;
    std::vector<std::string> keyText(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (keys[k].IsString())
            keyText[k] = ci ? AnsiUpperCase(keys[k].StringValue()) : keys[k].StringValue();

    auto matches = [&](int row) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const Variant& v = result_.At(row, columns[k]);
            const Variant& key = keys[k];
            if (key.IsNull() || v.IsNull()) {
                if (key.IsNull() != v.IsNull()) return false;
                continue;
            }
            if (key.IsString()) {
                std::string s = VarToStr(v);
                if (v.Kind() == VariantKind::Date) {
                    TDateTime d;
                    if (TryStrToDateTime(key.StringValue(), d)) {
                        if (v.DoubleValue() != d) return false;
                        continue;
                    }
                }
                if (v.IsNumeric() && !partial) {
                    double d;
                    if (TryStrToFloat(key.StringValue(), d)) {
                        if (v.AsDouble() != d) return false;
                        continue;
                    }
                }
                if (ci) s = AnsiUpperCase(s);
                if (partial ? s.compare(0, keyText[k].size(), keyText[k]) != 0 : s != keyText[k])
                    return false;
                continue;
            }
            try {
                if (VarCompare(v, key) != 0) return false;
            } catch (const EVariantError&) {
                return false;
            }
        }
        return true;
    };
    for (std::size_t i = 0; i < view_.size() || FetchMore(1000); ++i) {
        if (matches(view_[i])) {
            SetPosition(static_cast<int>(i));
            bof_ = eof_ = false;
            return true;
        }
    }
    return false;
}

// ---- fields ------------------------------------------------------------------------------------

int TDataSet::ColumnOf(std::string_view name) const {
    const TField* f = fields_.FindField(name);
    return f ? f->FieldNo() - 1 : -1;
}

int TDataSet::FieldIndexOrRaise(std::string_view name) const {
    return FieldByName(name)->FieldNo() - 1;
}

TField* TDataSet::FieldByName(std::string_view name) const {
    TField* f = fields_.FindField(name);
    if (!f)
        throw EDatabaseError((Name().empty() ? "" : Name() + ": ") + "Field '" + std::string(name) +
                             "' not found");
    return f;
}

void TDataSet::GetFieldNames(TStrings& list) const {
    list.BeginUpdate();
    list.Clear();
    for (const auto& f : fields_)
        list.Add(f->FieldName());
    list.EndUpdate();
}

// ---- filtering ---------------------------------------------------------------------------------

void TDataSet::DataChanged() {
    if (!Active()) return;
    BuildView();
    pos_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
    Notify(TDataEvent::deDataSetChanged);
}

void TDataSet::SetFilter(const std::string& value) {
    if (Active() && filtered_ && !Trim(value).empty()) {
        // Check the text before taking it, so a bad filter leaves the old one in force.
        TFilterExpression check(value, [this](std::string_view n) { return ColumnOf(n); });
    }
    filter_ = value;
    if (filtered_) DataChanged();
}

void TDataSet::SetFiltered(bool value) {
    if (value == filtered_) return;
    filtered_ = value;
    try {
        DataChanged();
    } catch (...) {
        filtered_ = !value;
        DataChanged();
        throw;
    }
}

void TDataSet::SetFilterOptions(TFilterOptions value) {
    filterOptions_ = value;
    if (filtered_) DataChanged();
}

bool TDataSet::FindFirst() {
    CheckActive();
    if (view_.empty()) return false;
    First();
    return true;
}

bool TDataSet::FindLast() {
    CheckActive();
    FetchAll();
    if (view_.empty()) return false;
    Last();
    return true;
}

bool TDataSet::FindNext() {
    CheckActive();
    FetchTo(pos_ + 2);
    if (pos_ + 1 >= static_cast<int>(view_.size())) return false;
    Next();
    return true;
}

bool TDataSet::FindPrior() {
    CheckActive();
    if (pos_ <= 0) return false;
    Prior();
    return true;
}

// ---- data links --------------------------------------------------------------------------------

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0 && changedWhileDisabled_) {
        changedWhileDisabled_ = false;
        Notify(TDataEvent::deDataSetChanged);
    }
}

int TDataSet::AddDataLink(TDataLinkHandler handler) { return links_.Add(std::move(handler)); }

void TDataSet::RemoveDataLink(int id) { links_.Remove(id); }

void TDataSet::Notify(TDataEvent event) {
    if ((event == TDataEvent::deScrolled || event == TDataEvent::deDataSetChanged) &&
        disableCount_ > 0) {
        changedWhileDisabled_ = true;
        return;
    }
    links_.Notify(*this, event);
}
