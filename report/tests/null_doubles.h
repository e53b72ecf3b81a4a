#pragma once
// An engine and a prepared-page store that do nothing: tests derive from them and override
// what they watch.

#include <string>

#include "report/abstract_bases.h"
#include "report/report.h"

class TNullPreviewPages : public TpgwCustomPreviewPages {
public:
    using TpgwCustomPreviewPages::TpgwCustomPreviewPages;
    int GetCount() override { return 0; }
    TpgwComponent* GetPage(int) override { return nullptr; }
    void GetPageSize(int, int&, int&) override {}
    void Clear() override {}
    void Initialize() override {}
    void AddObject(TpgwComponent*) override {}
    void AddPage(TpgwComponent*) override {}
    void AddSourcePage(TpgwComponent*) override {}
    void AddToSourcePage(TpgwComponent*) override {}
    void BeginPass() override {}
    void ClearFirstPassPages() override {}
    void CutObjects(int) override {}
    void Finish() override {}
    void IncLogicalPageNumber() override {}
    void ResetLogicalPageNumber() override {}
    void PasteObjects(double, double) override {}
    void ShiftAnchors(int, int) override {}
    void AddPicture(TpgwComponent*) override {}
    bool BandExists(TpgwComponent*) override { return false; }
    int GetCurPosition() override { return 0; }
    int GetAnchorCurPosition() override { return 0; }
    double GetLastY(double) override { return 0; }
    int GetLogicalPageNo() override { return 0; }
    int GetLogicalTotalPages() override { return 0; }
    void AddEmptyPage(int) override {}
    void DeletePage(int) override {}
    void ModifyPage(int, TpgwComponent*) override {}
    void DrawPage(int, TCanvas&, double, double, double, double) override {}
    void ObjectOver(int, int, int, TMouseButton, TShiftState, double, int, int, bool, TCursor&,
                    bool) override {}
    void AddFrom(TpgwReport*) override {}
    void LoadFromStream(TStream&, bool) override {}
    void SaveToStream(TStream&) override {}
    bool LoadFromFile(const std::string&, bool) override { return false; }
    void SaveToFile(const std::string&) override {}
    bool Print() override { return false; }
    bool Export(TpgwCustomExportFilter*) override { return false; }
};

class TNullEngine : public TpgwCustomEngine {
public:
    using TpgwCustomEngine::TpgwCustomEngine;
    void EndPage() override {}
    void NewColumn() override {}
    void NewPage() override {}
    void ShowBand(TpgwComponent*) override {}
    void ShowBandOfClass(const TClassInfo&) override {}
    double HeaderHeight() override { return 0; }
    double FooterHeight() override { return 0; }
    double FreeSpace() override { return 0; }
    Variant GetAggregateValue(const std::string&, const std::string&, TpgwComponent*,
                              int) override {
        return {};
    }
    bool Run() override { return true; }
};
