#pragma once
// What a provider hands to a data set: the columns of a result and its rows. The data sets
// here are static cursors: every row is read once, either all at open or, for a large result,
// the first ones at open and the rest from More as the data set needs them.

#include <memory>
#include <string>
#include <vector>

#include "platform/core/variant.h"
#include "platform/data/field.h"

struct TDbColumn {
    std::string Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;
    bool Required = false;
};

class TDbRowSource;

struct TDbResultSet {
    std::vector<TDbColumn> Columns;
    // Row-major: row r, column c is Cells[r * Columns.size() + c].
    std::vector<Variant> Cells;
    // The rows not read yet; null once Cells holds them all.
    std::shared_ptr<TDbRowSource> More = nullptr;

    int ColumnCount() const { return static_cast<int>(Columns.size()); }
    int RowCount() const {
        return Columns.empty() ? 0 : static_cast<int>(Cells.size() / Columns.size());
    }
    const Variant& At(int row, int column) const {
        return Cells[static_cast<std::size_t>(row) * Columns.size() +
                     static_cast<std::size_t>(column)];
    }
};

// The unread rest of a result, still in its database. Dropping it releases the statement.
class TDbRowSource {
public:
    virtual ~TDbRowSource() = default;
    // Appends up to maxRows whole rows to into.Cells; false once no rows are left. A failed
    // read raises, and raises again at every later call.
    virtual bool Fetch(TDbResultSet& into, int maxRows) = 0;
    // All rows of the result, read or not, counted in the same read as the rows; -1 when
    // unknown.
    virtual int TotalRows() const = 0;
};
