#include "engine/preview_pages.h"

#include <algorithm>
#include <cmath>

#include "engine/outline.h"
#include "engine/picture_cache.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/picture.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/utils.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

constexpr std::string_view kRootName = "preparedreport";
constexpr std::string_view kPages = "previewpages";
constexpr std::string_view kAnchors = "anchors";
constexpr std::string_view kLogicalNumbers = "logicalpagenumbers";
constexpr std::string_view kCutted = "cutted";
constexpr std::string_view kOutline = "outline";
constexpr std::string_view kReport = "report";
constexpr std::string_view kSourcePages = "sourcepages";
constexpr std::string_view kDictionary = "dictionary";
constexpr std::string_view kPictureCache = "picturecache";
constexpr double kUnitsPerMM = 3.77953;

int roundEven(double x) {
    return static_cast<int>(std::nearbyint(x));
}

std::string boolText(bool v) {
    return v ? "1" : "0";
}

// The decimal index from position `from` on (at most five digits), -1 when there is none.
int digitsAt(std::string_view text, std::size_t from) {
    int value = 0, digits = 0;
    for (std::size_t i = from; i < text.size() && digits < 5; ++i, ++digits) {
        if (text[i] < '0' || text[i] > '9') break;
        value = value * 10 + (text[i] - '0');
    }
    return digits == 0 ? -1 : value;
}

std::string sourceName(int pageIndex, const std::string& objectName) {
    return "Page" + std::to_string(pageIndex) + "." + objectName;
}

bool isFullFormName(std::string_view name) {
    return SameText(name, "TpgwReportPage") || SameText(name, "TpgwDMPPage");
}

// An object of cls, owned (and parented) by owner when owner is a report object.
TpgwComponent* createObject(const TClassInfo& cls, TComponent* owner) {
    TPersistent* made = cls.Create(owner);
    auto* object = dynamic_cast<TpgwComponent*>(made);
    if (!object) {
        delete made;
        throw EClassNotFound("Class " + cls.ClassName() + " is not a report object");
    }
    return object;
}

// Copies the template object's properties, without its picture: pictures of prepared pages
// live in the picture cache.
void assignWithoutPicture(TpgwComponent* target, TpgwComponent* source) {
    auto* picture = dynamic_cast<TpgwPictureView*>(source);
    const bool stored = picture && picture->IsPictureStored();
    if (picture) picture->SetIsPictureStored(false);
    try {
        target->Assign(source);
    } catch (...) {
        if (picture) picture->SetIsPictureStored(stored);
        throw;
    }
    if (picture) picture->SetIsPictureStored(stored);
}

// An attribute of a compact element as a number; absent, the value of its source copy.
double attrOr(const TpgwXMLItem& item, std::string_view name, double fallback) {
    const std::string text = item.Prop(name);
    return text.empty() ? fallback : ParseFloatValue(text);
}

void deleteChildrenFrom(TpgwXMLItem* item, int first) {
    while (item->Count() > std::max(first, 0))
        delete item->Items(item->Count() - 1);
}

} // namespace

void InstallPreviewPages() {
    PreviewPagesClass() = [](TpgwReport* report) {
        return std::make_unique<TpgwPreviewPages>(report);
    };
    OutlineClass() = [](TpgwCustomPreviewPages* pages) {
        return std::make_unique<TpgwOutline>(pages);
    };
}

// What a read tree yields before it replaces the store's content.
struct TpgwPreviewPages::Loaded {
    std::unique_ptr<TpgwXMLDocument> doc;
    std::vector<std::unique_ptr<TpgwComponent>> sourcePages;
    TpgwDictionary dictionary;
    std::unique_ptr<TpgwPictureCache> pictureCache;
    std::string reportAttributes;
    bool hasReport = false;
};

TpgwPreviewPages::TpgwPreviewPages(TpgwReport* report)
    : TpgwCustomPreviewPages(report), xml_(std::make_unique<TpgwXMLDocument>()),
      pictureCache_(std::make_unique<TpgwPictureCache>()) {
    xml_->Root()->SetName(std::string(kRootName));
    CurPage = -1;
}

TpgwPreviewPages::~TpgwPreviewPages() {
    clearPageCache();
}

TpgwXMLItem* TpgwPreviewPages::Root() const {
    return xml_->Root();
}

TpgwOutline* TpgwPreviewPages::OutlineImpl() const {
    return dynamic_cast<TpgwOutline*>(Outline());
}

TpgwXMLItem* TpgwPreviewPages::pagesItem() {
    return Root()->FindItem(kPages);
}

TpgwXMLItem* TpgwPreviewPages::pageItem(int index) {
    TpgwXMLItem* item = pagesItem()->Items(index);
    xml_->LoadItem(item);
    return item;
}

TpgwXMLItem* TpgwPreviewPages::currentPageItem() {
    if (CurPage < 0 || CurPage >= GetCount())
        throw EListError("No current prepared page (" + std::to_string(CurPage) + ")");
    return pageItem(CurPage);
}

int TpgwPreviewPages::sourcePageIndex(const TpgwXMLItem& page) const {
    const int index = digitsAt(page.Name(), 4);
    if (index < 0 || index >= static_cast<int>(sourcePages_.size()))
        throw EListError("Prepared page \"" + page.Name() + "\" names source page " +
                         std::to_string(index) + ", which does not exist");
    return index;
}

bool TpgwPreviewPages::finalPassOfTwo() const {
    TpgwCustomEngine* engine = Engine();
    return engine && engine->DoublePass() && engine->FinalPass();
}

bool TpgwPreviewPages::useFileCache() const {
    return Report() && Report()->EngineOptions()->UseFileCache();
}

bool TpgwPreviewPages::legacyText() const {
    // A store that was never loaded writes and reads as the template format does.
    return loadedDocument_ ? xml_->LegacyText() : true;
}

void TpgwPreviewPages::clearPageCache() {
    pageCache_.clear();
}

// ---- pages -------------------------------------------------------------------------------------

int TpgwPreviewPages::GetCount() {
    return pagesItem()->Count();
}

void TpgwPreviewPages::Clear() {
    clearPageCache();
    sourcePages_.clear();
    xml_->Clear();
    dictionary_.Clear();
    pictureCache_->Clear();
    if (TpgwOutline* outline = OutlineImpl()) outline->Reset();
    loadedDocument_ = false;
    CurPage = -1;
    UnswappedBytes = 0;
    LogicalPageCount = 0;
}

void TpgwPreviewPages::Initialize() {
    TpgwReport* report = Report();
    if (!report) return;
    pictureCache_->SetUseFileCache(report->PreviewOptions()->PictureCacheInFile());
    pictureCache_->SetTempDir(report->EngineOptions()->TempDir());
    xml_->SetTempDir(report->EngineOptions()->TempDir());
}

void TpgwPreviewPages::AddObject(TpgwComponent* object) {
    if (object) addObject(object, currentPageItem());
}

void TpgwPreviewPages::addObject(TpgwComponent* object, TpgwXMLItem* parent) {
    if (!object->Visible() || !(object->ObjectTraits() & TpgwObjectTraits::ShownInPreview)) return;
    TpgwXMLItem* item = parent->Add();
    if (TpgwComponent* copy = object->SourceComponent()) {
        item->SetName(object->ObjectAlias());
        TpgwCustomEngine* engine = Engine();
        if (engine && engine->DoublePass() && !engine->FinalPass())
            item->SetText(object->BaseChangedAttributes(copy));
        else if (object->ObjectTraits() & TpgwObjectTraits::DiffAgainstDefault)
            item->SetText(object->FullAttributeText(copy));
        else
            item->SetText(object->ChangedAttributes(copy));
    } else {
        item->SetName(object->ClassName());
        item->SetText(object->FullAttributeText(nullptr));
    }
    UnswappedBytes += static_cast<std::int64_t>(item->Name().size() + item->Text().size() +
                                                sizeof(TpgwXMLItem) + 16);
    for (TpgwComponent* child : object->Objects())
        addObject(child, item);
}

void TpgwPreviewPages::AddPage(TpgwComponent* page) {
    if (useFileCache() &&
        UnswappedBytes > std::int64_t(Report()->EngineOptions()->MaxMemSize()) * 1048576) {
        swapOut();
        UnswappedBytes = 0;
    }
    ++CurPage;
    TpgwXMLItem* pages = pagesItem();
    if (CurPage < pages->Count() && PageAddMode == pamWriteOver) return;
    int source = -1;
    for (std::size_t i = 0; i < sourcePages_.size() && source < 0; ++i)
        if (sourcePages_[i]->SourceComponent() == page) source = static_cast<int>(i);
    if (source < 0) {
        --CurPage;
        throw EListError("The page has no source page in the prepared pages");
    }
    TpgwXMLItem* item = pages->Add();
    item->SetName("page" + std::to_string(source));
    // The first two pages stay in memory: the engine may still write onto them.
    if (pages->Count() > 2) item->SetUnloadable(true);
    PageAddMode = pamWriteOver;
    CurPage = pages->Count() - 1;
    IncLogicalPageNumber();
}

void TpgwPreviewPages::swapOut() {
    TpgwXMLItem* pages = pagesItem();
    for (int i = pages->Count() - 2; i >= 0; --i) {
        TpgwXMLItem* item = pages->Items(i);
        if (item->Unloadable() && !item->Loaded()) break;
        xml_->UnloadItem(item);
    }
}

void TpgwPreviewPages::AddSourcePage(TpgwComponent* page) {
    if (!page) return;
    std::unique_ptr<TpgwComponent> copy(createObject(page->ClassType(), nullptr));
    copy->Assign(page);
    copy->SetName(page->Name());
    copy->SetSourceComponent(page);
    const int index = static_cast<int>(sourcePages_.size());
    for (TpgwComponent* child : page->Objects())
        copySourceObject(child, copy.get(), index);
    sourcePages_.push_back(std::move(copy));
}

void TpgwPreviewPages::copySourceObject(TpgwComponent* templ, TpgwComponent* copyParent,
                                        int pageIndex) {
    if (!(templ->ObjectTraits() & TpgwObjectTraits::ShownInPreview)) return;
    TpgwComponent* copy = createObject(templ->ClassType(), copyParent);
    assignWithoutPicture(copy, templ);
    copy->SetName(templ->Name());
    const std::string stem =
        dynamic_cast<TpgwBand*>(copy) ? "b" : LowerCase(copy->NameStem().substr(0, 1));
    copy->SetSourceComponent(templ);
    finishSourceCopy(templ, copy, stem, pageIndex);
    for (TpgwComponent* child : templ->Objects())
        copySourceObject(child, copy, pageIndex);
}

void TpgwPreviewPages::finishSourceCopy(TpgwComponent* templ, TpgwComponent* copy,
                                        const std::string& stem, int pageIndex) {
    templ->SetSourceComponent(copy);
    std::string alias;
    dictionary_.AddUnique(stem, sourceName(pageIndex, copy->Name()), alias, copy);
    if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(copy)) {
        memo->SetDataSet(nullptr);
        memo->SetDataField("");
    }
    if (copy->ObjectTraits() & TpgwObjectTraits::DiffAgainstDefault) {
        copy->SetNameStem(copy->ClassName());
    } else {
        TMemoryStream unused;
        TpgwXMLSerializer serializer(unused);
        serializer.SetOwner(copy->Page() ? copy->Page() : copy);
        copy->SetNameStem(serializer.ObjectToText(copy));
    }
    templ->SetObjectAlias(alias);
    copy->SetObjectAlias(alias);
}

void TpgwPreviewPages::AddToSourcePage(TpgwComponent* object) {
    if (!object) return;
    if (sourcePages_.empty()) throw EListError("There is no source page to add the object to");
    const int pageIndex = static_cast<int>(sourcePages_.size()) - 1;
    TpgwComponent* copy = createObject(object->ClassType(), sourcePages_.back().get());
    assignWithoutPicture(copy, object);
    copy->MakeUniqueName();
    const std::string stem = LowerCase(copy->NameStem().substr(0, 1));
    // The object lives only for the run: the copy does not point back at it.
    finishSourceCopy(object, copy, stem, pageIndex);
}

void TpgwPreviewPages::BeginPass() {
    const int count = GetCount();
    PassFirstPage = count - 1;
    if (count > 0) {
        PageFirstObject = pageItem(PassFirstPage)->Count();
        TpgwOutline* outline = OutlineImpl();
        FirstOutlineCount = outline ? outline->Root()->Count() : 0;
    }
    ResetLogicalPageNumber();
}

void TpgwPreviewPages::ClearFirstPassPages() {
    clearPageCache();
    TpgwXMLItem* root = Root();
    if (PassFirstPage == -1) {
        for (int i = root->Count() - 1; i >= 0; --i) {
            TpgwXMLItem* child = root->Items(i);
            if (!SameText(child->Name(), kAnchors) && !SameText(child->Name(), kLogicalNumbers))
                delete child;
        }
    } else {
        deleteChildrenFrom(pageItem(PassFirstPage), PageFirstObject);
        deleteChildrenFrom(pagesItem(), PassFirstPage + 1);
        if (TpgwOutline* outline = OutlineImpl())
            deleteChildrenFrom(outline->Root(), FirstOutlineCount);
    }
    // The current outline item may have gone with what was removed.
    if (TpgwOutline* outline = OutlineImpl()) outline->Reset();
    ResetLogicalPageNumber();
    CurPage = PassFirstPage;
    UnswappedBytes = 0;
}

void TpgwPreviewPages::CutObjects(int position) {
    TpgwXMLItem* page = currentPageItem();
    TpgwXMLItem* cutted = Root()->FindItem(kCutted);
    const int from = std::max(position, 0);
    while (page->Count() > from)
        cutted->AddItem(page->Items(from));
}

void TpgwPreviewPages::PasteObjects(double x, double y) {
    const int at = Root()->Find(kCutted);
    if (at < 0) return;
    std::unique_ptr<TpgwXMLItem> cutted(Root()->Items(at));
    if (cutted->Count() == 0) return;
    TpgwXMLItem* page = currentPageItem();
    // An absent position is the source copy's, not 0: the moved objects keep their distances.
    auto left = [&](const TpgwXMLItem& e) {
        TpgwComponent* copy = dictionary_.GetObject(e.Name());
        return attrOr(e, "l", copy ? copy->Left() : 0);
    };
    auto top = [&](const TpgwXMLItem& e) {
        TpgwComponent* copy = dictionary_.GetObject(e.Name());
        return attrOr(e, "t", copy ? copy->Top() : 0);
    };
    const double dx = x - left(*cutted->Items(0));
    const double dy = y - top(*cutted->Items(0));
    while (cutted->Count() > 0) {
        TpgwXMLItem* e = cutted->Items(0);
        e->SetProp("l", FloatToStr(left(*e) + dx));
        e->SetProp("t", FloatToStr(top(*e) + dy));
        page->AddItem(e);
    }
}

void TpgwPreviewPages::Finish() {
    clearPageCache();
    for (auto& page : sourcePages_) {
        page->SetSourceComponent(nullptr);
        for (TpgwComponent* object : page->AllObjects())
            object->SetSourceComponent(nullptr);
    }
}

// ---- logical page numbers ----------------------------------------------------------------------

void TpgwPreviewPages::IncLogicalPageNumber() {
    if (finalPassOfTwo()) return;
    ++LogicalPageCount;
    TpgwXMLItem* item = Root()->FindItem(kLogicalNumbers)->Add();
    item->SetName("page");
    item->SetText("n=\"" + std::to_string(LogicalPageCount) + "\"");
}

void TpgwPreviewPages::ResetLogicalPageNumber() {
    // Nothing counted since the last reset: the run is closed already, its totals stay.
    if (finalPassOfTwo() || LogicalPageCount == 0) return;
    TpgwXMLItem* list = Root()->FindItem(kLogicalNumbers);
    for (int i = std::min(CurPage, list->Count() - 1); i > PassFirstPage && i >= 0; --i) {
        TpgwXMLItem* item = list->Items(i);
        item->SetProp("t", std::to_string(LogicalPageCount));
        if (item->Prop("n") == "1") break;
    }
    LogicalPageCount = 0;
}

int TpgwPreviewPages::GetLogicalPageNo() {
    const int at = Root()->Find(kLogicalNumbers);
    if (at >= 0 && CurPage >= 0 && CurPage < Root()->Items(at)->Count())
        return StrToIntDef(Root()->Items(at)->Items(CurPage)->Prop("n"), 0);
    return CurPage - RunFirstPage + 1;
}

int TpgwPreviewPages::GetLogicalTotalPages() {
    const int at = Root()->Find(kLogicalNumbers);
    if (at >= 0 && CurPage >= 0 && CurPage < Root()->Items(at)->Count())
        return StrToIntDef(Root()->Items(at)->Items(CurPage)->Prop("t"), 0);
    return (Engine() ? Engine()->TotalPages() : 0) - RunFirstPage;
}

// ---- anchors -----------------------------------------------------------------------------------

void TpgwPreviewPages::AddAnchor(const std::string& text) {
    TpgwXMLItem* item = Root()->FindItem(kAnchors)->Add();
    item->SetName("item");
    const int top = Engine() ? roundEven(Engine()->CurY()) : 0;
    item->SetText("text=\"" + EncodeXMLText(text) + "\" page=\"" + std::to_string(CurPage) +
                  "\" top=\"" + std::to_string(top) + "\"");
}

int TpgwPreviewPages::GetAnchorPage(const std::string& text) {
    const int at = Root()->Find(kAnchors);
    if (at < 0) return 1;
    TpgwXMLItem* anchors = Root()->Items(at);
    for (int i = anchors->Count() - 1; i >= 0; --i) {
        TpgwXMLItem* item = anchors->Items(i);
        if (AnsiSameText(item->Prop("text"), text)) return StrToIntDef(item->Prop("page"), 0) + 1;
    }
    return 1;
}

void TpgwPreviewPages::ShiftAnchors(int index, int top) {
    ShiftAnchors(index, top, CurPage);
}

void TpgwPreviewPages::ShiftAnchors(int index, int top, int targetPage) {
    const int at = Root()->Find(kAnchors);
    if (at < 0) return;
    TpgwXMLItem* anchors = Root()->Items(at);
    const int first = std::max(index + 1, 0);
    if (first >= anchors->Count()) return;
    const int d = top - StrToIntDef(anchors->Items(first)->Prop("top"), 0);
    for (int i = first; i < anchors->Count(); ++i) {
        TpgwXMLItem* item = anchors->Items(i);
        item->SetProp("page", std::to_string(targetPage));
        item->SetProp("top", std::to_string(StrToIntDef(item->Prop("top"), 0) + d));
    }
}

int TpgwPreviewPages::GetAnchorCurPosition() {
    const int at = Root()->Find(kAnchors);
    return (at < 0 ? 0 : Root()->Items(at)->Count()) - 1;
}

// ---- questions about the current page ----------------------------------------------------------

void TpgwPreviewPages::AddPicture(TpgwComponent* picture) {
    if (auto* view = dynamic_cast<TpgwPictureView*>(picture)) pictureCache_->AddPicture(view);
}

bool TpgwPreviewPages::BandExists(TpgwComponent* band) {
    if (!band || CurPage < 0 || CurPage >= GetCount()) return false;
    const bool anyOfClass =
        dynamic_cast<TpgwPageFooter*>(band) || dynamic_cast<TpgwColumnFooter*>(band);
    TpgwXMLItem* page = currentPageItem();
    for (int i = 0; i < page->Count(); ++i) {
        TpgwComponent* copy = dictionary_.GetObject(page->Items(i)->Name());
        if (!copy) continue;
        if (copy->SourceComponent() == band) return true;
        if (anyOfClass && &copy->ClassType() == &band->ClassType()) return true;
    }
    return false;
}

int TpgwPreviewPages::GetCurPosition() {
    if (CurPage < 0 || CurPage >= GetCount()) return 0;
    return currentPageItem()->Count();
}

double TpgwPreviewPages::GetLastY(double x) {
    if (CurPage < 0 || CurPage >= GetCount()) return 0;
    TpgwXMLItem* page = currentPageItem();
    double result = 0;
    for (int i = 0; i < page->Count(); ++i) {
        const TpgwXMLItem& e = *page->Items(i);
        auto* band = dynamic_cast<TpgwBand*>(dictionary_.GetObject(e.Name()));
        if (!band || dynamic_cast<TpgwPageFooter*>(band) || dynamic_cast<TpgwOverlay*>(band))
            continue;
        const double left = attrOr(e, "l", band->Left());
        if (x == 0 || std::fabs(left - x) < 0.001 || dynamic_cast<TpgwPageHeader*>(band) ||
            dynamic_cast<TpgwReportTitle*>(band))
            result = std::max(result, attrOr(e, "t", band->Top()) + attrOr(e, "h", band->Height()));
    }
    return result;
}

// ---- editing pages -----------------------------------------------------------------------------

void TpgwPreviewPages::AddEmptyPage(int index) {
    TpgwXMLItem* pages = pagesItem();
    if (pages->Count() == 0) return;
    const std::string name = pages->Items(index)->Name();
    auto* item = new TpgwXMLItem();
    item->SetName(name);
    pages->InsertItem(index, item);
    clearPageCache();
}

void TpgwPreviewPages::DeletePage(int index) {
    TpgwXMLItem* pages = pagesItem();
    if (pages->Count() < 2) return;
    delete pages->Items(index);
    clearPageCache();
    CurPage = std::min(CurPage, pages->Count() - 1);
}

void TpgwPreviewPages::ModifyPage(int index, TpgwComponent* page) {
    TpgwXMLItem* pages = pagesItem();
    TpgwXMLItem* old = pages->Items(index);
    if (!page) return;
    auto item = std::make_unique<TpgwXMLItem>();
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SaveComponent(page, true, item.get(), true);
    pages->InsertItem(index, item.release());
    delete old;
    clearPageCache();
}

void TpgwPreviewPages::AddFrom(TpgwReport* report) {
    TpgwCustomPreviewPages* other = report ? report->PreviewPages() : nullptr;
    if (!other || other == this) return;
    const int before = GetCount();
    const int count = other->GetCount();
    for (int i = 0; i < count; ++i) {
        TpgwComponent* page = other->GetPage(i);
        if (!page) continue;
        TpgwXMLItem* item = pagesItem()->Add();
        TMemoryStream unused;
        TpgwXMLSerializer serializer(unused);
        serializer.SaveComponent(page, true, item, true);
    }
    TpgwCustomOutline* from = other->Outline();
    TpgwOutline* to = OutlineImpl();
    if (from && to) {
        from->LevelRoot();
        to->LevelRoot();
        std::function<void()> copyLevel = [&] {
            const int n = from->GetCount();
            for (int i = 0; i < n; ++i) {
                std::string text;
                int page = 0, top = 0;
                from->GetItem(i, text, page, top);
                CurPage = before + page;
                to->AddItem(text, top);
                from->LevelDown(i);
                copyLevel();
                from->LevelUp();
                to->LevelUp();
            }
        };
        copyLevel();
        from->LevelRoot();
        to->LevelRoot();
    }
    CurPage = GetCount() - 1;
    clearPageCache();
}

void TpgwPreviewPages::UpdatePageDimensions(TpgwComponent* page, double height, double width) {
    for (auto& source : sourcePages_)
        if (source->SourceComponent() == page)
            if (auto* reportPage = dynamic_cast<TpgwReportPage*>(source.get()))
                reportPage->SetPaperDimensions(256, width / kUnitsPerMM, height / kUnitsPerMM);
}

// ---- building pages ----------------------------------------------------------------------------

void TpgwPreviewPages::GetPageSize(int index, int& width, int& height) {
    width = height = 0;
    if (index < 0 || index >= GetCount()) return;
    TpgwXMLItem* item = pagesItem()->Items(index);
    TpgwComponent* page = nullptr;
    if (!isFullFormName(item->Name())) {
        const int source = digitsAt(item->Name(), 4);
        if (source < 0 || source >= static_cast<int>(sourcePages_.size())) return;
        page = sourcePages_[static_cast<std::size_t>(source)].get();
    } else {
        page = GetPage(index);
    }
    if (!page) return;
    width = roundEven(page->Width());
    height = roundEven(page->Height());
}

TpgwComponent* TpgwPreviewPages::GetPage(int index) {
    if (GetCount() == 0) return nullptr;
    const bool running = Engine() && Engine()->Running();
    auto cached = std::find_if(pageCache_.begin(), pageCache_.end(),
                               [&](const auto& entry) { return entry.first == index; });
    if (!running && cached != pageCache_.end()) {
        pageCache_.splice(pageCache_.begin(), pageCache_, cached);
        return pageCache_.front().second.get();
    }
    std::unique_ptr<TpgwComponent> page = buildPage(pageItem(index));
    if (cached != pageCache_.end()) pageCache_.erase(cached);
    pageCache_.emplace_front(index, std::move(page));
    const int limit = Report() ? Report()->PreviewOptions()->PagesInCache() : 50;
    while (pageCache_.size() > 1 && static_cast<int>(pageCache_.size()) > limit) {
        const int dropped = pageCache_.back().first;
        pageCache_.pop_back();
        if (useFileCache() && dropped >= 0 && dropped < GetCount()) {
            TpgwXMLItem* item = pagesItem()->Items(dropped);
            if (item->Unloadable()) xml_->UnloadItem(item);
        }
    }
    return pageCache_.front().second.get();
}

std::unique_ptr<TpgwComponent> TpgwPreviewPages::buildPage(TpgwXMLItem* item) {
    std::unique_ptr<TpgwComponent> page;
    if (isFullFormName(item->Name())) {
        const TClassInfo* cls = GetClass(item->Name());
        if (!cls) throw EClassNotFound("Class " + item->Name() + " not found");
        page.reset(createObject(*cls, nullptr));
        TMemoryStream unused;
        TpgwXMLSerializer serializer(unused);
        serializer.SetLegacyText(legacyText());
        serializer.SetOwner(page.get());
        serializer.LoadComponent(page.get(), item);
    } else {
        TpgwComponent* source =
            sourcePages_[static_cast<std::size_t>(sourcePageIndex(*item))].get();
        page.reset(createObject(source->ClassType(), nullptr));
        page->Assign(source);
        buildObjects(item, page.get());
    }
    page->AlignChildren();
    return page;
}

void TpgwPreviewPages::buildObjects(TpgwXMLItem* item, TpgwComponent* parent) {
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SetLegacyText(legacyText());
    serializer.SetOwner(parent);
    for (int i = 0; i < item->Count(); ++i) {
        TpgwXMLItem* e = item->Items(i);
        TpgwComponent* object = nullptr;
        if (TpgwComponent* copy = dictionary_.GetObject(e->Name())) {
            object = serializer.ObjectFromText(parent, copy->NameStem() + " " + e->Text(), true);
            object->SetName(copy->Name());
            if (auto* picture = dynamic_cast<TpgwPictureView*>(object);
                picture && picture->Picture()->Empty())
                pictureCache_->GetPicture(picture);
        } else {
            object = serializer.ObjectFromText(parent, e->Name() + " " + e->Text(), true);
        }
        if (object) buildObjects(e, object);
    }
}

// ---- files -------------------------------------------------------------------------------------

void TpgwPreviewPages::fillSaveElements() {
    TpgwXMLItem* root = Root();
    TpgwXMLItem* report = root->FindItem(kReport);
    report->Clear();
    if (TpgwReport* r = Report()) {
        TpgwXMLItem* item = report->Add();
        item->SetName(r->ClassName());
        item->SetText(
            "DotMatrixReport=\"" + boolText(r->DotMatrixReport()) +
            "\" PreviewOptions.OutlineVisible=\"" +
            boolText(r->PreviewOptions()->OutlineVisible()) + "\" PreviewOptions.OutlineWidth=\"" +
            std::to_string(r->PreviewOptions()->OutlineWidth()) + "\" ReportOptions.Name=\"" +
            EncodeXMLText(r->ReportOptions()->Name()) + "\"");
    }
    TpgwXMLItem* sources = root->FindItem(kSourcePages);
    sources->Clear();
    for (auto& page : sourcePages_) {
        TMemoryStream unused;
        TpgwXMLSerializer serializer(unused);
        serializer.SaveComponent(page.get(), true, sources->Add(), true);
    }
    TpgwXMLItem* dictionary = root->FindItem(kDictionary);
    dictionary->Clear();
    dictionary_.ForEach([&](const std::string& alias, const std::string& source) {
        TpgwXMLItem* item = dictionary->Add();
        item->SetName(alias);
        item->SetText("name=\"" + source + "\"");
    });
    TpgwXMLItem* pictures = root->FindItem(kPictureCache);
    pictures->Clear();
    pictureCache_->SaveToXML(pictures);
}

void TpgwPreviewPages::SaveToStream(TStream& stream) {
    // The save-time elements copy what the store holds elsewhere: they go once written.
    auto release = [this] {
        for (std::string_view name : {kSourcePages, kDictionary, kPictureCache})
            if (int at = Root()->Find(name); at >= 0) Root()->Items(at)->Clear();
    };
    try {
        fillSaveElements();
        xml_->SaveToStream(stream);
    } catch (...) {
        release();
        throw;
    }
    release();
}

void TpgwPreviewPages::SaveToFile(const std::string& fileName) {
    TSafeFileWriter file(fileName);
    SaveToStream(file);
    file.Commit();
}

void TpgwPreviewPages::LoadFromStream(TStream& stream, bool partialLoad) {
    auto doc = std::make_unique<TpgwXMLDocument>();
    doc->SetTempDir(xml_->TempDir());
    const std::int64_t start = stream.Position();
    if (partialLoad) {
        // The document reads swapped pages back later: it needs a stream of its own.
        auto copy = std::make_unique<TMemoryStream>();
        const std::int64_t count = stream.Size() - start;
        if (count > 0) copy->CopyFrom(stream, count);
        copy->SetPosition(0);
        doc->LoadFromStream(std::move(copy), true);
    } else {
        doc->LoadFromStream(stream);
    }
    if (!SameText(doc->Root()->Name(), kRootName)) throw TpgwInvalidXMLException(start);
    std::unique_ptr<Loaded> loaded = takeOver(std::move(doc));
    commit(*loaded);
}

bool TpgwPreviewPages::LoadFromFile(const std::string& fileName, bool exceptionIfNotFound) {
    if (!exceptionIfNotFound && !FileExists(fileName)) return false;
    auto doc = std::make_unique<TpgwXMLDocument>();
    doc->SetTempDir(xml_->TempDir());
    doc->LoadFromFile(fileName);
    if (!SameText(doc->Root()->Name(), kRootName)) throw TpgwInvalidXMLException(0);
    std::unique_ptr<Loaded> loaded = takeOver(std::move(doc));
    commit(*loaded);
    return true;
}

std::unique_ptr<TpgwPreviewPages::Loaded>
TpgwPreviewPages::takeOver(std::unique_ptr<TpgwXMLDocument> doc) {
    auto loaded = std::make_unique<Loaded>();
    TpgwXMLItem* root = doc->Root();
    root->FindItem(kPages);
    const bool legacy = doc->LegacyText();

    if (int at = root->Find(kReport); at >= 0 && root->Items(at)->Count() > 0) {
        loaded->hasReport = true;
        loaded->reportAttributes = root->Items(at)->Items(0)->Text();
    }

    if (int at = root->Find(kSourcePages); at >= 0) {
        TpgwXMLItem* sources = root->Items(at);
        for (int i = 0; i < sources->Count(); ++i) {
            TpgwXMLItem* item = sources->Items(i);
            const TClassInfo* cls = SameText(item->Name(), "TpgwDMPPage")
                                        ? GetClass("TpgwDMPPage")
                                        : &TpgwReportPage::StaticClass();
            if (!cls) throw EClassNotFound("Class " + item->Name() + " not found");
            std::unique_ptr<TpgwComponent> page(createObject(*cls, nullptr));
            TMemoryStream unused;
            TpgwXMLSerializer serializer(unused);
            serializer.SetLegacyText(legacy);
            serializer.SetOwner(page.get());
            serializer.LoadComponent(page.get(), item);
            if (serializer.Errors().Count() > 0)
                throw EClassNotFound("Source page " + std::to_string(i) + ": " +
                                     serializer.Errors().Strings(0));
            for (TpgwComponent* object : page->AllObjects())
                object->SetNameStem(serializer.ObjectToText(object));
            loaded->sourcePages.push_back(std::move(page));
        }
        sources->Clear();
    }

    if (int at = root->Find(kDictionary); at >= 0) {
        TpgwXMLItem* entries = root->Items(at);
        for (int i = 0; i < entries->Count(); ++i) {
            TpgwXMLItem* item = entries->Items(i);
            const std::string source = item->Prop("name");
            const std::size_t dot = source.find('.');
            const int pageIndex =
                SameText(std::string_view(source).substr(0, 4), "Page") ? digitsAt(source, 4) : -1;
            if (dot == std::string::npos || pageIndex < 0)
                throw EConvertError("Invalid dictionary entry \"" + item->Name() + "\": \"" +
                                    source + "\"");
            if (pageIndex >= static_cast<int>(loaded->sourcePages.size()))
                throw EListError("Dictionary entry \"" + item->Name() + "\" names source page " +
                                 std::to_string(pageIndex) + ", which does not exist");
            TpgwComponent* object =
                loaded->sourcePages[static_cast<std::size_t>(pageIndex)]->FindObject(
                    std::string_view(source).substr(dot + 1));
            loaded->dictionary.Add(item->Name(), source, object);
        }
        entries->Clear();
    }

    loaded->pictureCache = std::make_unique<TpgwPictureCache>();
    loaded->pictureCache->SetUseFileCache(pictureCache_->UseFileCache());
    if (TpgwReport* r = Report()) loaded->pictureCache->SetTempDir(r->EngineOptions()->TempDir());
    if (int at = root->Find(kPictureCache); at >= 0) {
        loaded->pictureCache->LoadFromXML(root->Items(at));
        root->Items(at)->Clear();
    }
    loaded->doc = std::move(doc);
    return loaded;
}

void TpgwPreviewPages::commit(Loaded& loaded) {
    Clear();
    xml_ = std::move(loaded.doc);
    sourcePages_ = std::move(loaded.sourcePages);
    dictionary_ = std::move(loaded.dictionary);
    pictureCache_ = std::move(loaded.pictureCache);
    loadedDocument_ = true;
    if (loaded.hasReport && Report()) {
        TMemoryStream unused;
        TpgwXMLSerializer serializer(unused);
        serializer.SetLegacyText(xml_->LegacyText());
        serializer.XMLToProperties(loaded.reportAttributes, Report());
    }
    CurPage = GetCount() - 1;
}
