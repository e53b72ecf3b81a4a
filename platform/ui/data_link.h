#pragma once
// What data-aware controls see of a data source: rows of fields as display text, a current
// row, and notifications when either changes. The data layer implements TDataSourceLink over
// its data sets and registers a factory at start-up, so platform/ui never depends on it.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/ui_types.h"

class TComponent;

// The control side: told by the link when the data changes.
class TDataLinkClient {
public:
    virtual ~TDataLinkClient();
    // Rows, fields or the open state changed: everything is read again.
    virtual void DataSetChanged() = 0;
    // The data set's cursor moved to another row (-1: none).
    virtual void CurrentRowChanged(int row) = 0;
};

class TDataSourceLink {
public:
    virtual ~TDataSourceLink();
    // False while the data set is closed; a closed link has no rows and no fields.
    virtual bool Active() const = 0;
    virtual int RowCount() const = 0;
    virtual int FieldCount() const = 0;
    virtual std::string FieldName(int field) const = 0;
    // The title a default column shows.
    virtual std::string DisplayLabel(int field) const { return FieldName(field); }
    // The width a default column gets, in characters.
    virtual int DisplayWidth(int field) const;
    virtual TAlignment FieldAlignment(int field) const;
    // The cell as the field displays it.
    virtual std::string CellText(int row, int field) const = 0;
    virtual int CurrentRow() const = 0;
    // Moves the data set's cursor; the link then reports CurrentRowChanged.
    virtual void SetCurrentRow(int row) = 0;

    // Case-insensitive; -1 when the data set has no such field.
    int FieldIndex(std::string_view name) const;

    void SetClient(TDataLinkClient* client) { client_ = client; }
    TDataLinkClient* Client() const { return client_; }

protected:
    void NotifyDataSetChanged();
    void NotifyCurrentRowChanged(int row);

private:
    TDataLinkClient* client_ = nullptr;
};

// Makes the link for a data-source component, or returns null for a component it does not
// know. Factories are asked in the order registered.
using TDataLinkFactory = std::function<std::unique_ptr<TDataSourceLink>(TComponent* dataSource)>;
void RegisterDataLinkFactory(TDataLinkFactory factory);
// Null when no factory knows the component.
std::unique_ptr<TDataSourceLink> CreateDataLink(TComponent* dataSource);
