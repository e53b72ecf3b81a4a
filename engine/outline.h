#pragma once
// The document outline of prepared pages: nested "item" elements (text, page, top) under the
// store's "outline" element, walked through a current item.

#include <string>

#include "report/abstract_bases.h"

class TpgwXMLItem;

class TpgwOutline : public TpgwCustomOutline {
    LUMETRA_CLASS(TpgwOutline, TpgwCustomOutline)
public:
    explicit TpgwOutline(TpgwCustomPreviewPages* previewPages);
    ~TpgwOutline() override;

    int GetCount() override;
    // The new item records the store's current page and becomes the current item.
    void AddItem(const std::string& text, int top) override;
    // An index outside the current item's children raises EListError.
    void LevelDown(int index) override;
    void LevelRoot() override;
    void LevelUp() override;
    // page and top stay as they were when the item lacks them.
    void GetItem(int index, std::string& text, int& page, int& top) override;
    // Moves every item added after fromItem at its level (with their descendants) to the
    // store's current page, the first of them to newTop and the others by the same distance;
    // nothing when fromItem is none or the last of its level. The engine calls it after pasting
    // a kept block, when the current page is the one the block landed on.
    void ShiftItems(void* fromItem, int newTop) override;
    void ShiftItems(void* fromItem, int newTop, int targetPage);
    void* LastItem() override;

    // The store's "outline" element, made when first asked for.
    TpgwXMLItem* Root();
    TpgwXMLItem* ActiveOutlineItem();
    // Forgets the current item (the tree under it was replaced); the next use starts at Root.
    void Reset() { active_ = nullptr; }

private:
    TpgwXMLItem* active_ = nullptr;
};
