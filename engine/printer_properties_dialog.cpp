#include "engine/printer_properties_dialog.h"

#include <algorithm>

#include "platform/ui/std_controls.h"
#include "report/resources.h"

namespace {
TpgwPrinterPropertiesHandler& handler() {
    static TpgwPrinterPropertiesHandler h;
    return h;
}

// The names the print dialog gives the duplex modes.
std::string duplexName(int code) {
    switch (code) {
    case DMDUP_VERTICAL:
        return "垂直";
    case DMDUP_HORIZONTAL:
        return "水平";
    default:
        return "单面";
    }
}

int positionOf(const std::vector<int>& codes, int code) {
    const auto it = std::find(codes.begin(), codes.end(), code);
    return it == codes.end() ? 0 : static_cast<int>(it - codes.begin());
}

template <class T> T* place(TForm* form, int left, int top, int width, int height) {
    auto* control = new T(form);
    control->SetParent(form);
    control->SetBounds(left, top, width, height);
    return control;
}
} // namespace

TpgwPrinterPropertiesForm::TpgwPrinterPropertiesForm(TComponent* owner,
                                                     const TpgwPrinterPropertiesRequest& request)
    : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(330);
    SetClientHeight(190);
    SetCaption(request.PrinterName + " - 属性");

    BinL = place<TLabel>(this, 8, 8, 150, 15);
    BinL->SetCaption("纸张来源:");
    BinLB = place<TListBox>(this, 8, 26, 150, 120);
    for (const TpgwPrinterItem& bin : request.Bins) {
        BinLB->Items().Add(bin.Name);
        binCodes_.push_back(bin.Code);
    }
    BinLB->SetItemIndex(positionOf(binCodes_, request.Bin));

    DuplexL = place<TLabel>(this, 172, 8, 150, 15);
    DuplexL->SetCaption("双面打印:");
    DuplexLB = place<TListBox>(this, 172, 26, 150, 120);
    duplexCodes_ = request.DuplexModes;
    if (std::find(duplexCodes_.begin(), duplexCodes_.end(), DMDUP_SIMPLEX) == duplexCodes_.end())
        duplexCodes_.insert(duplexCodes_.begin(), DMDUP_SIMPLEX);
    for (int code : duplexCodes_)
        DuplexLB->Items().Add(duplexName(code));
    DuplexLB->SetItemIndex(positionOf(duplexCodes_, request.Duplex));

    OkB = place<TButton>(this, 166, 156, 75, 25);
    OkB->SetCaption(GetResources().GetTextById(1));
    OkB->SetModalResult(mrOk);
    OkB->SetDefault(true);
    CancelB = place<TButton>(this, 247, 156, 75, 25);
    CancelB->SetCaption(GetResources().GetTextById(2));
    CancelB->SetModalResult(mrCancel);
    CancelB->SetCancel(true);
    DoCreate();
}

TpgwPrinterPropertiesForm::~TpgwPrinterPropertiesForm() = default;

void TpgwPrinterPropertiesForm::GetChoice(TpgwPrinterPropertiesRequest& request) const {
    const int bin = BinLB->ItemIndex();
    if (bin >= 0 && bin < static_cast<int>(binCodes_.size())) request.Bin = binCodes_[bin];
    const int duplex = DuplexLB->ItemIndex();
    if (duplex >= 0 && duplex < static_cast<int>(duplexCodes_.size()))
        request.Duplex = duplexCodes_[duplex];
}

TpgwPrinterPropertiesHandler SetPrinterPropertiesHandler(TpgwPrinterPropertiesHandler h) {
    TpgwPrinterPropertiesHandler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

bool ExecutePrinterPropertiesDialog(TpgwPrinterPropertiesRequest& request) {
    if (handler()) return handler()(request);
    TpgwPrinterPropertiesForm form(nullptr, request);
    if (form.ShowModal() != mrOk) return false;
    form.GetChoice(request);
    return true;
}
