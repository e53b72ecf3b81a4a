#pragma once
// What a provider hands to a data set: the columns of a result and all its rows (the data
// sets here are static cursors, so the rows are read once at open).

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

struct TDbResultSet {
    std::vector<TDbColumn> Columns;
    // Row-major: row r, column c is Cells[r * Columns.size() + c].
    std::vector<Variant> Cells;

    int ColumnCount() const { return static_cast<int>(Columns.size()); }
    int RowCount() const {
        return Columns.empty() ? 0 : static_cast<int>(Cells.size() / Columns.size());
    }
    const Variant& At(int row, int column) const {
        return Cells[static_cast<std::size_t>(row) * Columns.size() +
                     static_cast<std::size_t>(column)];
    }
};
