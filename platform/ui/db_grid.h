#pragma once
// TDBGrid: a grid over a data source. It shows the data set's rows; its columns are the ones
// designed in Columns (field, title, width, alignment) or, while Columns is empty, one column
// per field titled with the field's label. The grid's current row follows the data set's
// cursor both ways.

#include <memory>
#include <string>

#include "platform/core/collection.h"
#include "platform/ui/control.h"
#include "platform/ui/data_link.h"

class TDBGrid;

class TColumnTitle : public TPersistent {
    LUMETRA_CLASS(TColumnTitle, TPersistent)
public:
    TColumnTitle() = default;
    static void RegisterProperties(TClassBuilder<TColumnTitle>& b);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    void Assign(const TPersistent* source) override;
    std::function<void()> OnChange;

private:
    std::string caption_;
    TAlignment alignment_ = taLeftJustify;
};

class TColumn : public TCollectionItem {
    LUMETRA_CLASS(TColumn, TCollectionItem)
public:
    explicit TColumn(TCollection* collection);
    static void RegisterProperties(TClassBuilder<TColumn>& b);
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& value);
    TColumnTitle* Title() const { return title_.get(); }
    void SetTitle(TColumnTitle* value);
    // Pixels; -1 until set: the field's display width.
    int Width() const { return width_; }
    void SetWidth(int value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    void Assign(const TPersistent* source) override;
    std::string DisplayName() const override;

private:
    std::string fieldName_;
    std::unique_ptr<TColumnTitle> title_;
    int width_ = -1;
    TAlignment alignment_ = taLeftJustify;
    bool visible_ = true;
    bool readOnly_ = false;
};

class TDBGridColumns : public TCollection {
    LUMETRA_CLASS(TDBGridColumns, TCollection)
public:
    explicit TDBGridColumns(TDBGrid* grid);
    TColumn* Add() { return static_cast<TColumn*>(TCollection::Add()); }
    // Null for an item that is being destroyed (the collection reports changes meanwhile).
    TColumn* Items(int index) const { return dynamic_cast<TColumn*>(TCollection::Items(index)); }

protected:
    void Update(TCollectionItem* item) override;

private:
    TDBGrid* grid_;
};

using TDBGridOptions = std::uint32_t; // bits of TDBGridOption
enum TDBGridOption : std::uint8_t {
    dgEditing,
    dgAlwaysShowEditor,
    dgTitles,
    dgIndicator,
    dgColumnResize,
    dgColLines,
    dgRowLines,
    dgTabs,
    dgRowSelect,
    dgAlwaysShowSelection,
    dgConfirmDelete,
    dgCancelOnExit,
    dgMultiSelect
};
inline constexpr TDBGridOptions kDefaultGridOptions =
    (1u << dgEditing) | (1u << dgTitles) | (1u << dgIndicator) | (1u << dgColumnResize) |
    (1u << dgColLines) | (1u << dgRowLines) | (1u << dgTabs) | (1u << dgConfirmDelete) |
    (1u << dgCancelOnExit);

class TDBGrid : public TWinControl, private TDataLinkClient {
    LUMETRA_CLASS(TDBGrid, TWinControl)
public:
    explicit TDBGrid(TComponent* owner);
    ~TDBGrid() override;
    static void RegisterProperties(TClassBuilder<TDBGrid>& b);

    // The data-source component; its link comes from the registered factories.
    TComponent* DataSource() const { return dataSource_; }
    void SetDataSource(TComponent* value);
    // Shows a link directly (tests, or data not behind a component).
    void SetDataLink(std::unique_ptr<TDataSourceLink> link);
    TDataSourceLink* DataLink() const { return link_.get(); }

    TDBGridColumns* Columns() const { return columns_.get(); }
    void SetColumns(TDBGridColumns* value);
    TDBGridOptions Options() const { return options_; }
    void SetOptions(TDBGridOptions value);
    TFont* TitleFont() const { return titleFont_.get(); }
    void SetTitleFont(TFont* value);

    // What is shown: the designed columns, or the default ones.
    int ColumnCount() const;
    std::string ColumnTitle(int column) const;
    int ColumnWidth(int column) const;
    TAlignment ColumnAlignment(int column) const;
    // The field a shown column reads (-1: the data set has no such field).
    int ColumnField(int column) const;
    std::string CellText(int row, int column) const;
    int RowCount() const;
    int CurrentRow() const;
    // Moves the data set's cursor too.
    void SetCurrentRow(int row);

    // Plumbing.
    void ColumnsChanged();
    void RowActivated(int row);
    void CellClicked(int column);

    std::function<void(TObject* sender, TColumn* column)> OnCellClick;
    std::function<void(TObject* sender, TColumn* column)> OnTitleClick;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    TColor DefaultColor() const override { return clWindow; }

private:
    void DataSetChanged() override;
    void CurrentRowChanged(int row) override;
    void ApplyOptions();
    void ApplyColumns();
    TColumn* ShownColumn(int column) const;

    TComponent* dataSource_ = nullptr;
    std::unique_ptr<TDataSourceLink> link_;
    std::unique_ptr<TDBGridColumns> columns_;
    std::unique_ptr<TFont> titleFont_;
    TDBGridOptions options_ = kDefaultGridOptions;
    bool syncing_ = false;
    struct Model;
    Model* model_ = nullptr;
};
