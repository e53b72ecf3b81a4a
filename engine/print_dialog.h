#pragma once
// The print dialog: printer, pages, copies and collation, print mode with the sheet to print on,
// odd or even pages, order, duplex and printing to a file. It starts from the report's print
// options and writes them back on OK; a printer picked in it becomes current at once and is put
// back when the dialog is cancelled.

#include <vector>

#include "platform/ui/form.h"

class TButton;
class TCheckBox;
class TComboBox;
class TCustomControl;
class TEdit;
class TGroupBox;
class TLabel;
class TRadioButton;
class TSaveDialog;
class TSpeedButton;
class TpgwReport;

class TpgwPrintDialog : public TForm {
    LUMETRA_CLASS(TpgwPrintDialog, TForm)
public:
    explicit TpgwPrintDialog(TComponent* owner);
    ~TpgwPrintDialog() override;

    // Set by the caller before showing.
    TpgwReport* Report = nullptr;
    // The duplex choice: 0 default, 1 vertical, 2 horizontal, 3 simplex; read back after OK.
    int Duplex = 0;

    // OK stays open, with a message, while the copies box holds no number of 1 or more; then the
    // file dialog runs when printing to a file, and cancelling it cancels the whole dialog.
    bool CloseQuery() override;

    // Not wired to a control: toggles the collate box.
    void CollateLClick(TObject* sender);

    TGroupBox* Label12 = nullptr;
    TLabel* NameL = nullptr;
    TComboBox* PrintersCB = nullptr;
    TButton* PropButton = nullptr;
    TLabel* WhereL = nullptr;
    TLabel* WhereL1 = nullptr;
    TCheckBox* FileCB = nullptr;
    TGroupBox* Label1 = nullptr;
    TRadioButton* AllRB = nullptr;
    TRadioButton* CurPageRB = nullptr;
    TRadioButton* PageNumbersRB = nullptr;
    TEdit* PageNumbersE = nullptr;
    TLabel* DescrL = nullptr;
    TGroupBox* Label2 = nullptr;
    TLabel* CopiesL = nullptr;
    TEdit* CopiesE = nullptr;
    TSpeedButton* CopiesUpB = nullptr;
    TSpeedButton* CopiesDownB = nullptr;
    TCheckBox* CollateCB = nullptr;
    TCustomControl* CopiesPB = nullptr;
    TGroupBox* ScaleGB = nullptr;
    TComboBox* PrintModeCB = nullptr;
    TLabel* PagSizeL = nullptr;
    TComboBox* PagPageSizeCB = nullptr;
    TGroupBox* OtherGB = nullptr;
    TLabel* PrintL = nullptr;
    TComboBox* PrintPagesCB = nullptr;
    TLabel* DuplexL = nullptr;
    TComboBox* DuplexCB = nullptr;
    TLabel* OrderL = nullptr;
    TComboBox* OrderCB = nullptr;
    TCheckBox* SwapCB = nullptr;
    TButton* OkB = nullptr;
    TButton* CancelB = nullptr;
    TSaveDialog* FileDlg = nullptr;

    // The paper code behind each entry of the sheet list; entry 0 ("default") stands for the
    // user-defined code.
    const std::vector<int>& SheetCodes() const { return sheetCodes_; }

private:
    void buildControls();
    void fillSheets();
    void printerChanged();
    void printModeChanged();
    void propertiesClick();
    void formShow();
    void formHide();
    void stepCopies(int delta);
    int sheetPosition(int paperCode) const;
    int selectedSheetCode() const;
    bool copiesValid(int& copies) const;

    std::vector<int> sheetCodes_;
    int oldPrinterIndex_ = -1;
};

// Shows the dialog for report from the duplex choice given, which it writes back; true on OK.
bool ShowPrintDialog(TpgwReport& report, int& duplex);
// Makes ShowPrintDialog the print run's dialog.
void InstallPrintDialog();
