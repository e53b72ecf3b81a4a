#pragma once
// The store of prepared pages. Every output page is an element of one XML tree whose objects
// are written compactly: under the alias of their source copy (a copy of the template object
// made when the run starts) and with only the attributes that differ from that copy. Pictures
// go to a picture cache; with the file cache, pages beyond the first two are swapped to a
// temporary file once the text added exceeds MaxMemSize megabytes. Pages are built back as page
// objects on demand, through a small most-recently-used cache. The whole store is saved to and
// loaded from prepared-report files (".pp3").

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/dictionary.h"
#include "platform/graphics/geometry.h"
#include "report/abstract_bases.h"

class TpgwOutline;
class TpgwPictureCache;
class TpgwXMLDocument;
class TpgwXMLItem;

// Installs TpgwPreviewPages and TpgwOutline as the store and outline classes of new reports.
void InstallPreviewPages();

enum TpgwPageAddMode : std::uint8_t { pamAppend, pamWriteOver };

class TpgwPreviewPages : public TpgwCustomPreviewPages {
public:
    explicit TpgwPreviewPages(TpgwReport* report);
    ~TpgwPreviewPages() override;

    // ---- pages
    int GetCount() override;
    // The page built from its element, owned by the store (valid until the page cache drops
    // it); none when there are no pages. A bad index or a page naming a source page that does
    // not exist raises EListError; an unknown class name raises EClassNotFound.
    TpgwComponent* GetPage(int index) override;
    // (0, 0) for an index out of range.
    void GetPageSize(int index, int& width, int& height) override;
    void Clear() override;
    void Initialize() override;
    void AddObject(TpgwComponent* object) override;
    void AddPage(TpgwComponent* page) override;
    void AddSourcePage(TpgwComponent* page) override;
    void AddToSourcePage(TpgwComponent* object) override;
    void BeginPass() override;
    void ClearFirstPassPages() override;
    void CutObjects(int position) override;
    void Finish() override;
    void IncLogicalPageNumber() override;
    void ResetLogicalPageNumber() override;
    void PasteObjects(double x, double y) override;
    // Moves the anchors after index to the current page (where a kept block landed: the next
    // page, or the same page for another column), the first of them to top and the others by
    // the same distance.
    void ShiftAnchors(int index, int top) override;
    void ShiftAnchors(int index, int top, int targetPage);
    void AddPicture(TpgwComponent* picture) override;
    bool BandExists(TpgwComponent* band) override;
    int GetCurPosition() override;
    int GetAnchorCurPosition() override;
    double GetLastY(double x) override;
    int GetLogicalPageNo() override;
    int GetLogicalTotalPages() override;
    void AddEmptyPage(int index) override;
    void DeletePage(int index) override;
    void ModifyPage(int index, TpgwComponent* page) override;
    void AddFrom(TpgwReport* report) override;

    // ---- output (page_output.cpp)
    // Draws page index with its origin at (offsetX, offsetY) in pixels. On a printer canvas only
    // printable objects are drawn; on any other the drawing is clipped to the paper.
    void DrawPage(int index, TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                  double offsetY) override;
    // The preview's hit test at (x, y): cursor, hints and status texts of the object there, and
    // on a click its link, its script's click event or the drill-down of its group.
    void ObjectOver(int index, int x, int y, TMouseButton button, TShiftState shift, double scale,
                    int offsetX, int offsetY, bool click, TCursor& cursor,
                    bool doubleClick) override;
    // Prints on the current printer in the print options' mode. False when no printer is
    // installed, the current one is not valid or the print dialog was cancelled; a bad page
    // range raises before anything is sent, and a failing job is aborted and raises.
    bool Print() override;
    // Hands the pages to filter. False without a filter, when its options dialog was cancelled
    // or when the export raised (the message goes by the engine options' silent mode).
    bool Export(TpgwCustomExportFilter* filter) override;

    // ---- files
    // The new tree is read and checked completely before it replaces the pages: malformed input
    // raises the reader's error and leaves the store as it was.
    void LoadFromStream(TStream& stream, bool partialLoad) override;
    void SaveToStream(TStream& stream) override;
    // Loads partially: page elements are read from the file when first needed. A missing file
    // returns false (raises the file error with exceptionIfNotFound).
    bool LoadFromFile(const std::string& fileName, bool exceptionIfNotFound) override;
    // Atomic: a failed save leaves an earlier file as it was.
    void SaveToFile(const std::string& fileName) override;

    // ---- anchors and endless pages
    void AddAnchor(const std::string& text);
    // 1-based page of the last anchor of that text (case-insensitive); 1 when there is none.
    int GetAnchorPage(const std::string& text);
    void UpdatePageDimensions(TpgwComponent* page, double height, double width);

    // ---- state
    // The current page is the base's CurPage (-1 when empty).
    int RunFirstPage = 0;
    TpgwPageAddMode PageAddMode = pamAppend;
    int PassFirstPage = -1;
    int PageFirstObject = 0;
    int FirstOutlineCount = 0;
    int LogicalPageCount = 0;
    std::int64_t UnswappedBytes = 0;
    // The copy being printed; 0 outside printing and exporting.
    int PrintedCopy = 0;
    // The scale handed to text objects: 1 but while a page is printed scaled to its sheet.
    long double PrintScale = 1;
    // The duplex choice of the last confirmed print dialog (0 none, 1 vertical, 2 horizontal,
    // 3 simplex); it wins over the pages' own.
    int PrintDuplex = 0;

    TpgwDictionary& Dictionary() { return dictionary_; }
    TpgwPictureCache& PictureCache() { return *pictureCache_; }
    TpgwXMLDocument& XML() { return *xml_; }
    TpgwXMLItem* Root() const;
    const std::vector<std::unique_ptr<TpgwComponent>>& SourcePages() const { return sourcePages_; }
    TpgwOutline* OutlineImpl() const;
    int PageCacheCount() const { return static_cast<int>(pageCache_.size()); }
    // Drops the built pages (printing and export go through a report page by page).
    void ClearPageCache() { clearPageCache(); }

private:
    struct Loaded;
    class PrintRun;

    // DrawPage, with the device area drawing can reach when the caller knows it (a printer
    // sheet); objects that do not come near it are skipped.
    void drawPage(int index, TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                  double offsetY, const TRect* visible);

    TpgwXMLItem* pagesItem();
    // The element of page index, read back when it was swapped out; EListError when out of range.
    TpgwXMLItem* pageItem(int index);
    TpgwXMLItem* currentPageItem();
    int sourcePageIndex(const TpgwXMLItem& page) const;
    void addObject(TpgwComponent* object, TpgwXMLItem* parent);
    void copySourceObject(TpgwComponent* templ, TpgwComponent* copyParent, int pageIndex);
    void finishSourceCopy(TpgwComponent* templ, TpgwComponent* copy, const std::string& stem,
                          int pageIndex);
    std::unique_ptr<TpgwComponent> buildPage(TpgwXMLItem* item);
    void buildObjects(TpgwXMLItem* item, TpgwComponent* parent);
    void swapOut();
    void clearPageCache();
    bool finalPassOfTwo() const;
    bool useFileCache() const;
    void fillSaveElements();
    std::unique_ptr<Loaded> takeOver(std::unique_ptr<TpgwXMLDocument> doc);
    void commit(Loaded& loaded);
    bool legacyText() const;

    std::unique_ptr<TpgwXMLDocument> xml_;
    std::unique_ptr<TpgwPictureCache> pictureCache_;
    TpgwDictionary dictionary_;
    std::vector<std::unique_ptr<TpgwComponent>> sourcePages_;
    // Most recently used first: page index and built page.
    std::list<std::pair<int, std::unique_ptr<TpgwComponent>>> pageCache_;
    bool loadedDocument_ = false;
};
