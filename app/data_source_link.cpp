#include "app/data_source_link.h"

#include <unordered_map>
#include <vector>

#include "platform/data/data_set.h"
#include "platform/data/data_source.h"

namespace {

class TDataSourceGridLink final : public TDataSourceLink {
public:
    explicit TDataSourceGridLink(TDataSource* source) : source_(source) {
        linkId_ = source_->AddDataLink([this](TDataEvent e) { Heard(e); });
    }
    // A source that is going away has dropped its links already.
    ~TDataSourceGridLink() override {
        if (!source_->HasState(csDestroying)) source_->RemoveDataLink(linkId_);
    }

    bool Active() const override {
        TDataSet* ds = source_->DataSet();
        return ds && ds->Active() && source_->Enabled();
    }
    int RowCount() const override { return Active() ? source_->DataSet()->RecordCount() : 0; }
    int FieldCount() const override { return Active() ? source_->DataSet()->FieldCount() : 0; }
    std::string FieldName(int field) const override { return Field(field)->FieldName(); }
    std::string DisplayLabel(int field) const override { return Field(field)->DisplayName(); }
    int DisplayWidth(int field) const override { return Field(field)->DisplayWidth(); }
    TAlignment FieldAlignment(int field) const override {
        switch (Field(field)->DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftAutoInc:
        case ftLargeint:
        case ftFMTBcd:
            return taRightJustify;
        default:
            return taLeftJustify;
        }
    }
    std::string CellText(int row, int field) const override {
        if (!Active() || row < 0 || row >= RowCount() || field < 0 || field >= FieldCount())
            return {};
        auto it = cache_.find(row);
        if (it == cache_.end()) it = cache_.emplace(row, ReadRow(row)).first;
        return it->second.at(static_cast<std::size_t>(field));
    }
    int CurrentRow() const override {
        return Active() && !source_->DataSet()->IsEmpty() ? source_->DataSet()->RecNo() - 1 : -1;
    }
    void SetCurrentRow(int row) override {
        if (Active()) source_->DataSet()->SetRecNo(row + 1);
    }

private:
    TField* Field(int field) const { return source_->DataSet()->Fields()[field]; }

    // The data set reads fields of its current row only: visit the row and come back. The
    // visit is silent for this link; rows are kept once read, as the grid asks cell by cell.
    std::vector<std::string> ReadRow(int row) const {
        TDataSet* ds = source_->DataSet();
        const int back = ds->RecNo();
        const bool bof = ds->Bof(), eof = ds->Eof();
        reading_ = true;
        std::vector<std::string> texts;
        try {
            if (back != row + 1) {
                ds->SetRecNo(row + 1);
                texts = RowTexts(*ds);
                // Back where the cursor stood, Bof and Eof included (a loop may be under way).
                if (back > 0) ds->SetRecNo(back);
                if (bof) ds->Prior();
                if (eof) ds->Next();
            } else {
                texts = RowTexts(*ds);
            }
        } catch (...) {
            reading_ = false;
            throw;
        }
        reading_ = false;
        if (cache_.size() > 4096) cache_.clear();
        return texts;
    }

    static std::vector<std::string> RowTexts(const TDataSet& ds) {
        std::vector<std::string> texts;
        texts.reserve(static_cast<std::size_t>(ds.FieldCount()));
        for (const auto& f : ds.Fields())
            texts.push_back(f->DisplayText());
        return texts;
    }

    void Heard(TDataEvent e) {
        if (reading_) return;
        switch (e) {
        case TDataEvent::deScrolled:
            NotifyCurrentRowChanged(CurrentRow());
            break;
        case TDataEvent::deClosing:
            break;
        case TDataEvent::deOpened:
        case TDataEvent::deClosed:
        case TDataEvent::deDataSetChanged:
            cache_.clear();
            NotifyDataSetChanged();
            break;
        }
    }

    TDataSource* source_;
    int linkId_ = 0;
    mutable bool reading_ = false;
    mutable std::unordered_map<int, std::vector<std::string>> cache_;
};

} // namespace

std::unique_ptr<TDataSourceLink> MakeDataSourceLink(TDataSource* source) {
    return std::make_unique<TDataSourceGridLink>(source);
}

void RegisterDataSourceLinks() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterDataLinkFactory([](TComponent* c) -> std::unique_ptr<TDataSourceLink> {
        auto* source = dynamic_cast<TDataSource*>(c);
        return source ? MakeDataSourceLink(source) : nullptr;
    });
}
