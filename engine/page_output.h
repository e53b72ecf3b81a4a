#pragma once
// What drawing, printing and exporting prepared pages (TpgwPreviewPages::DrawPage, Print,
// Export and ObjectOver, page_output.cpp) need from the pieces around them: the print dialog,
// which its module installs; the page navigation and hint switch of the preview control; and
// the opener of the links report objects carry, which tests replace.

#include <functional>
#include <string>
#include <utility>

class TpgwReport;

// ---- print dialog ------------------------------------------------------------------------------

// Shows the print dialog for report, starting from the duplex choice (0 none, 1 vertical,
// 2 horizontal, 3 simplex), which it writes back; true when the dialog was confirmed. The
// dialog writes the rest of its choice into the report's print options and the printer layer.
using TpgwPrintDialogRunner = std::function<bool(TpgwReport& report, int& duplex)>;
// Installs runner and returns the one it replaces. Without one, Print goes on as if the dialog
// had been confirmed without a change.
TpgwPrintDialogRunner SetPrintDialogRunner(TpgwPrintDialogRunner runner);

// ---- preview control ---------------------------------------------------------------------------

// What page output asks of the report's preview control beyond TpgwCustomPreview: the preview
// control implements it beside that base, and ObjectOver and Export find it on the report's
// Preview. A preview without it is left where it is and shows no report hints.
class TpgwPreviewNavigation {
public:
    virtual ~TpgwPreviewNavigation();
    // The page shown, 1-based.
    virtual int PageNo() const = 0;
    virtual void SetPageNo(int pageNo) = 0;
    // Scrolls to the point top (report units) of page pageNo (1-based).
    virtual void SetPosition(int pageNo, int top) = 0;
    // Whether the hints of report objects become the control's hint.
    virtual bool UseReportHints() const = 0;
    // Hides the panel that shows progress texts over the pages.
    virtual void HideMessage() = 0;
};

// ---- links -------------------------------------------------------------------------------------

// Opens what a link names: an address or a document file. Whether something took it.
using TpgwLinkOpener = std::function<bool(const std::string& target)>;
// Installs opener and returns the one it replaces; an empty one restores the default, which
// hands the target to the desktop's handler (xdg-open).
TpgwLinkOpener SetLinkOpener(TpgwLinkOpener opener);

// Replaces the opener for a scope (tests).
class TScopedLinkOpener {
public:
    explicit TScopedLinkOpener(TpgwLinkOpener opener) : old_(SetLinkOpener(std::move(opener))) {}
    ~TScopedLinkOpener() { SetLinkOpener(std::move(old_)); }
    TScopedLinkOpener(const TScopedLinkOpener&) = delete;
    TScopedLinkOpener& operator=(const TScopedLinkOpener&) = delete;

private:
    TpgwLinkOpener old_;
};

// Whether a click may open target: http, https and mailto addresses, and document files that
// exist (a plain path or a file: address). Programs and scripts never are, whatever their name:
// a file with an execute permission, or with the extension of a program, script, launcher or
// installer.
bool IsOpenableLink(const std::string& target);

// Opens target through the installed opener when IsOpenableLink allows it; false otherwise.
bool OpenLink(const std::string& target);
