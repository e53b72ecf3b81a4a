#pragma once
// The print dialog of the dot-matrix text export and its ".pgi" printer-initialisation
// templates. The dialog works directly on the export that owns it: the printer type and the
// command switches change as they are chosen; the copies are the caller's to take on OK.
// A printer picked in the dialog becomes current at once and is put back unless it closes
// with OK.
//
// A template is text with CR LF line ends: the printer type's index, then one line per command
// of that type, "True" or "False".

#include <string>

#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"

class TCheckListBox;
class TGroupBox;
class TImage;
class TOpenDialog;
class TSaveDialog;
class TUpDown;
class TpgwTXTExport;

class TpgwPrnInit : public TForm {
    LUMETRA_CLASS(TpgwPrnInit, TForm)
public:
    // owner: the export worked on (required).
    explicit TpgwPrnInit(TpgwTXTExport* owner);
    ~TpgwPrnInit() override;

    // Lists the printers (the current one chosen and remembered) and the export's printer
    // types, then shows the selected type's commands and sets the texts.
    void FormCreate();
    void Localize();
    // The chosen printer type becomes the export's and its commands are listed.
    void ComboBox1Change(TObject* sender);
    // The toggled command's switch follows its box.
    void CheckListBox1ClickCheck(TObject* sender);
    // The chosen printer becomes current.
    void CB1Click(TObject* sender);
    void CB1DrawItem(TWinControl* control, int index, const TRect& rect, TOwnerDrawState state);
    void PropButtonClick(TObject* sender);
    // Load and save a template through the file dialogs; a failure is shown and changes
    // nothing.
    void Button1Click(TObject* sender);
    void Button2Click(TObject* sender);
    // Closing with anything but OK makes the remembered printer current again.
    void FormDeactivate(TObject* sender);

    // On OK the copies box's text is taken into UpDown1 (clamped to its range; text that is no
    // number keeps the last position).
    bool CloseQuery() override;

    TpgwTXTExport& Export() const { return *export_; }
    // The printer current when the dialog opened.
    int OldPrinterIndex() const { return oldPrinterIndex_; }

    TGroupBox* GroupBox1 = nullptr;
    TLabel* Label4 = nullptr;
    TComboBox* CB1 = nullptr;
    TButton* PropButton = nullptr;
    TGroupBox* GroupBox3 = nullptr;
    TLabel* Label2 = nullptr;
    TEdit* E1 = nullptr;
    TUpDown* UpDown1 = nullptr;
    TGroupBox* GroupBox2 = nullptr;
    TLabel* Label1 = nullptr;
    TComboBox* ComboBox1 = nullptr;
    TCheckListBox* CheckListBox1 = nullptr;
    TButton* Button1 = nullptr;
    TButton* Button2 = nullptr;
    TButton* OK = nullptr;
    TButton* Cancel = nullptr;
    TOpenDialog* OpenDialog1 = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;
    // Hidden; holds the printer picture of the printer list.
    TImage* Image1 = nullptr;

private:
    void buildControls();
    void showPrinterType();

    TpgwTXTExport* export_;
    int oldPrinterIndex_ = -1;
};

// Shows the print dialog modally, owned by the filter. The number of copies on OK, 0 otherwise.
int ShowPrinterInitDialog(TpgwTXTExport& filter);

// Reads a template into the filter's selected printer type and command switches, then rebuilds
// the initialisation string. Commands without a line keep their switch; a line enables its
// command when it contains "True". A first line that is no integer raises EConvertError, a type
// index the filter does not have raises Exception, an unreadable file EFOpenError; on any
// failure nothing changes.
void LoadPrinterInitTemplate(TpgwTXTExport& filter, const std::string& fileName);
// Writes the filter's selected printer type and its command switches, replacing the file only
// when complete. Raises Exception when the selected type does not exist and EFCreateError when
// the file cannot be written.
void SavePrinterInitTemplate(const TpgwTXTExport& filter, const std::string& fileName);
