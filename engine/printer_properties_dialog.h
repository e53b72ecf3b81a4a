#pragma once
// The printer's set-up dialog: the paper source and two-sided printing for the next document.
// The spooler has no driver dialog of its own, so this small form stands in for it.

#include <functional>
#include <string>
#include <vector>

#include "engine/printers.h"
#include "platform/ui/form.h"

class TButton;
class TLabel;
class TListBox;

struct TpgwPrinterPropertiesRequest {
    std::string PrinterName;
    std::vector<TpgwPrinterItem> Bins; // the printer's, the automatic bin first
    std::vector<int> DuplexModes;      // DMDUP_* the printer offers
    // In: the current choice; out: the confirmed one.
    int Bin = DMBIN_AUTO;
    int Duplex = DMDUP_SIMPLEX;
};

class TpgwPrinterPropertiesForm : public TForm {
    LUMETRA_CLASS(TpgwPrinterPropertiesForm, TForm)
public:
    // Lists the request's bins and duplex modes with its current choice selected (the first
    // entry when the printer lacks it).
    TpgwPrinterPropertiesForm(TComponent* owner, const TpgwPrinterPropertiesRequest& request);
    ~TpgwPrinterPropertiesForm() override;

    // Writes the selection into request.
    void GetChoice(TpgwPrinterPropertiesRequest& request) const;

    TLabel* BinL = nullptr;
    TListBox* BinLB = nullptr;
    TLabel* DuplexL = nullptr;
    TListBox* DuplexLB = nullptr;
    TButton* OkB = nullptr;
    TButton* CancelB = nullptr;

private:
    std::vector<int> binCodes_;
    std::vector<int> duplexCodes_;
};

// Shows the dialog modally; true when confirmed. Goes through the installed handler when there
// is one (tests answer without a window).
bool ExecutePrinterPropertiesDialog(TpgwPrinterPropertiesRequest& request);

using TpgwPrinterPropertiesHandler = std::function<bool(TpgwPrinterPropertiesRequest&)>;
// Installs a handler and returns the one it replaces; an empty one restores the dialog.
TpgwPrinterPropertiesHandler SetPrinterPropertiesHandler(TpgwPrinterPropertiesHandler handler);
