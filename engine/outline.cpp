#include "engine/outline.h"

#include "engine/preview_pages.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "report/xml_document.h"

namespace {

void shiftItem(TpgwXMLItem* item, int distance, int targetPage) {
    item->SetProp("page", std::to_string(targetPage));
    item->SetProp("top", std::to_string(StrToIntDef(item->Prop("top"), 0) + distance));
    for (int i = 0; i < item->Count(); ++i)
        shiftItem(item->Items(i), distance, targetPage);
}

} // namespace

TpgwOutline::TpgwOutline(TpgwCustomPreviewPages* previewPages) : TpgwCustomOutline(previewPages) {}

TpgwOutline::~TpgwOutline() = default;

TpgwXMLItem* TpgwOutline::Root() {
    auto* pages = dynamic_cast<TpgwPreviewPages*>(PreviewPages());
    if (!pages) throw EInvalidOperation("The outline belongs to no prepared-page store");
    return pages->Root()->FindItem("outline");
}

TpgwXMLItem* TpgwOutline::ActiveOutlineItem() {
    if (!active_) active_ = Root();
    return active_;
}

int TpgwOutline::GetCount() {
    return ActiveOutlineItem()->Count();
}

void TpgwOutline::AddItem(const std::string& text, int top) {
    TpgwXMLItem* item = ActiveOutlineItem()->Add();
    item->SetName("item");
    const int page = PreviewPages() ? PreviewPages()->CurPage : 0;
    item->SetText("text=\"" + EncodeXMLText(text) + "\" page=\"" + std::to_string(page) +
                  "\" top=\"" + std::to_string(top) + "\"");
    active_ = item;
}

void TpgwOutline::LevelDown(int index) {
    active_ = ActiveOutlineItem()->Items(index);
}

void TpgwOutline::LevelRoot() {
    active_ = Root();
}

void TpgwOutline::LevelUp() {
    TpgwXMLItem* active = ActiveOutlineItem();
    if (active != Root() && active->Parent()) active_ = active->Parent();
}

void TpgwOutline::GetItem(int index, std::string& text, int& page, int& top) {
    TpgwXMLItem* item = ActiveOutlineItem()->Items(index);
    text = item->Prop("text");
    if (std::string s = item->Prop("page"); !s.empty()) page = StrToInt(s);
    if (std::string s = item->Prop("top"); !s.empty()) top = StrToInt(s);
}

void TpgwOutline::ShiftItems(void* fromItem, int newTop) {
    ShiftItems(fromItem, newTop, PreviewPages() ? PreviewPages()->CurPage : 0);
}

void TpgwOutline::ShiftItems(void* fromItem, int newTop, int targetPage) {
    auto* from = static_cast<TpgwXMLItem*>(fromItem);
    TpgwXMLItem* parent = from ? from->Parent() : nullptr;
    if (!parent) return;
    const int first = parent->IndexOf(from) + 1;
    if (first <= 0 || first >= parent->Count()) return;
    const int distance = newTop - StrToIntDef(parent->Items(first)->Prop("top"), 0);
    for (int i = first; i < parent->Count(); ++i)
        shiftItem(parent->Items(i), distance, targetPage);
}

void* TpgwOutline::LastItem() {
    TpgwXMLItem* active = ActiveOutlineItem();
    return active->Count() > 0 ? active->Items(active->Count() - 1) : nullptr;
}
