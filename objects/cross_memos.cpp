// The "Memos" property: the inner memos' formatting (with the objects dropped into them), the
// cell functions and the sort orders, as an XML document rooted at "cross".

#include <string>
#include <string_view>
#include <vector>

#include "objects/cross_view.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/persistent.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/color.h"
#include "report/component.h"
#include "report/memo_view.h"
#include "report/resources.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

using MemoList = TpgwCustomCrossView::MemoList;

// The list elements in the order the document holds them.
constexpr const char* kCellMemos = "cellmemos";
constexpr const char* kCellHeaderMemos = "cellheadermemos";
constexpr const char* kColumnMemos = "columnmemos";
constexpr const char* kColumnTotalMemos = "columntotalmemos";
constexpr const char* kCornerMemos = "cornermemos";
constexpr const char* kRowMemos = "rowmemos";
constexpr const char* kRowTotalMemos = "rowtotalmemos";
constexpr const char* kCellFunctions = "cellfunctions";
constexpr const char* kColumnSort = "columnsort";
constexpr const char* kRowSort = "rowsort";

// The tables hold 32 entries; the level setters refuse more, this guards the loops anyway.
int tableCount(int count) {
    return count < kCrossMaxLevels ? count : kCrossMaxLevels;
}

void writeMemo(TpgwCustomMemoView* memo, TpgwXMLItem& list) {
    // A serializer per memo: its owner (what names resolve against) is the memo itself.
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SaveComponent(memo, true, list.Add(), true);
}

// An "item" element has no attribute name: its raw text is the number.
void writeItem(int value, TpgwXMLItem& list) {
    TpgwXMLItem* item = list.Add();
    item->SetName("item");
    item->SetText(std::to_string(value));
}

// Entry index of a list element, none when the element or the entry is missing.
TpgwXMLItem* entry(TpgwXMLItem* list, int index) {
    if (!list || index >= list->Count()) return nullptr;
    return list->Items(index);
}

class TMemosReader {
public:
    TMemosReader(TpgwXMLItem& root, bool legacyText) : root_(root), legacyText_(legacyText) {}

    TpgwXMLItem* List(std::string_view name) const {
        const int i = root_.Find(name);
        return i < 0 ? nullptr : root_.Items(i);
    }

    // The entry's number, checked against the enumeration's last value. A bad entry leaves
    // value as it was and is listed.
    template <class Enum>
    void ReadItem(TpgwXMLItem* list, int index, int last, const char* what, Enum& value) {
        TpgwXMLItem* item = entry(list, index);
        if (!item) {
            value = static_cast<Enum>(0);
            return;
        }
        try {
            const int v = StrToInt(Trim(item->Text()));
            if (v < 0 || v > last)
                throw EConvertError(std::to_string(v) + " is not a valid " + what + " (entry " +
                                    std::to_string(index) + " of \"" + list->Name() + "\")");
            value = static_cast<Enum>(v);
        } catch (const Exception& e) {
            Errors.push_back(e.Message());
        }
    }

    // Entries beyond the list's memos are ignored; a memo without an entry keeps its state.
    void ReadMemos(std::string_view name, const MemoList& memos) {
        TpgwXMLItem* list = List(name);
        for (std::size_t i = 0; i < memos.size(); ++i)
            ReadMemo(memos[i].get(), entry(list, static_cast<int>(i)));
    }

    void ReadMemo(TpgwCustomMemoView* memo, TpgwXMLItem* item) {
        if (!item) return;
        const TClassInfo* cls = GetClass(item->Name());
        if (!cls || !cls->InheritsFrom(TpgwComponent::StaticClass())) {
            // Left as it was rather than reset with nothing to load.
            Errors.push_back(GetResources().GetText("xrCantFindClass") + " " + item->Name());
            return;
        }
        // What the entry does not state takes these values.
        memo->SetColor(clNone);
        memo->Frame()->SetColor(clBlack);
        memo->Frame()->SetWidth(1);
        memo->Frame()->SetTyp(0);
        memo->Font()->SetStyle(TFontStyles());
        memo->SetHAlign(haLeft);
        memo->SetVAlign(vaTop);
        // The entry holds the memo's objects; the ones there are replaced, not added to.
        if (!memo->Objects().empty()) {
            memo->Clear();
            ObjectsFreed = true;
        }
        TMemoryStream unused;
        TpgwXMLSerializer serializer(unused);
        serializer.SetLegacyText(legacyText_);
        try {
            serializer.LoadComponent(memo, item);
        } catch (const Exception& e) {
            Errors.push_back(e.Message());
        } catch (const std::exception& e) {
            Errors.push_back(e.what());
        }
        for (int i = 0; i < serializer.Errors().Count(); ++i)
            Errors.push_back(serializer.Errors().Strings(i));
    }

    std::vector<std::string> Errors;
    bool ObjectsFreed = false;

private:
    TpgwXMLItem& root_;
    bool legacyText_;
};

} // namespace

void TpgwCustomCrossView::WriteMemos(TStream& stream) {
    TpgwXMLDocument doc;
    TpgwXMLItem& root = *doc.Root();
    root.SetName("cross");
    for (const char* name :
         {kCellMemos, kCellHeaderMemos, kColumnMemos, kColumnTotalMemos, kCornerMemos, kRowMemos,
          kRowTotalMemos, kCellFunctions, kColumnSort, kRowSort})
        root.Add()->SetName(name);
    auto list = [&root](const char* name) { return root.Items(root.Find(name)); };

    for (int i = 0; i < tableCount(cellLevels_); ++i)
        writeItem(cellFunctions_[static_cast<std::size_t>(i)], *list(kCellFunctions));
    for (const auto& memo : cellHeaderMemos_)
        writeMemo(memo.get(), *list(kCellHeaderMemos));
    for (const auto& memo : cellMemos_)
        writeMemo(memo.get(), *list(kCellMemos));
    for (std::size_t i = 0; i < columnMemos_.size(); ++i) {
        writeMemo(columnMemos_[i].get(), *list(kColumnMemos));
        if (i < columnTotalMemos_.size())
            writeMemo(columnTotalMemos_[i].get(), *list(kColumnTotalMemos));
        if (static_cast<int>(i) < kCrossMaxLevels) writeItem(columnSort_[i], *list(kColumnSort));
    }
    for (std::size_t i = 0; i < rowMemos_.size(); ++i) {
        writeMemo(rowMemos_[i].get(), *list(kRowMemos));
        if (i < rowTotalMemos_.size()) writeMemo(rowTotalMemos_[i].get(), *list(kRowTotalMemos));
        if (static_cast<int>(i) < kCrossMaxLevels) writeItem(rowSort_[i], *list(kRowSort));
    }
    for (const auto& memo : cornerMemos_)
        writeMemo(memo.get(), *list(kCornerMemos));
    doc.SaveToStream(stream);
}

void TpgwCustomCrossView::ReadMemos(TStream& stream) {
    TpgwXMLDocument doc;
    // A document that cannot be read changes nothing.
    doc.LoadFromStream(stream);
    TMemosReader reader(*doc.Root(), doc.LegacyText());

    TpgwXMLItem* functions = reader.List(kCellFunctions);
    for (int i = 0; i < tableCount(cellLevels_); ++i)
        reader.ReadItem(functions, i, cfCount, "cell function",
                        cellFunctions_[static_cast<std::size_t>(i)]);
    reader.ReadMemos(kCellHeaderMemos, cellHeaderMemos_);
    reader.ReadMemos(kCellMemos, cellMemos_);

    auto readDimension = [&reader](const MemoList& memos, const MemoList& totals,
                                   const char* memoList, const char* totalList,
                                   const char* sortList, auto& sort) {
        TpgwXMLItem* memoItems = reader.List(memoList);
        TpgwXMLItem* totalItems = reader.List(totalList);
        TpgwXMLItem* sortItems = reader.List(sortList);
        for (std::size_t i = 0; i < memos.size(); ++i) {
            const int index = static_cast<int>(i);
            reader.ReadMemo(memos[i].get(), entry(memoItems, index));
            if (i < totals.size()) reader.ReadMemo(totals[i].get(), entry(totalItems, index));
            if (index < kCrossMaxLevels)
                reader.ReadItem(sortItems, index, csoGrouping, "sort order", sort[i]);
        }
    };
    readDimension(columnMemos_, columnTotalMemos_, kColumnMemos, kColumnTotalMemos, kColumnSort,
                  columnSort_);
    readDimension(rowMemos_, rowTotalMemos_, kRowMemos, kRowTotalMemos, kRowSort, rowSort_);
    reader.ReadMemos(kCornerMemos, cornerMemos_);

    // The last drawing's lists may name objects that were just replaced; the next one
    // rebuilds them.
    if (reader.ObjectsFreed) {
        drawnObjects_.clear();
        if (verticalLines_) verticalLines_->Clear();
        if (horizontalLines_) horizontalLines_->Clear();
    }

    if (reader.Errors.empty()) return;
    if (TpgwCustomReport* report = Report()) {
        for (const std::string& message : reader.Errors)
            report->Errors().Add(Name() + ": " + message);
        return;
    }
    // Outside a report the caller hears of it, after everything readable was read.
    std::string text;
    for (const std::string& message : reader.Errors)
        text += (text.empty() ? "" : "\r\n") + Name() + ": " + message;
    throw Exception(text);
}
