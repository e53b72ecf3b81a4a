#include "export/txt_printer_init.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/dialog_building.h"
#include "engine/printers.h"
#include "export/txt_export.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/string_list.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/application.h"
#include "platform/ui/check_list_box.h"
#include "platform/ui/containers.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extra_controls.h"
#include "report/resources.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

constexpr int kMaxCopies = 9999;
// The printer picture's grey that is left out when it is drawn.
constexpr TColor kIconTransparent = RGB(128, 128, 128);

// The template's printer type; refused when the filter has no such type.
const TpgwTXTPrinterType& templateType(const TpgwTXTExport& filter, int index,
                                       const std::string& fileName) {
    const auto& types = filter.PrinterTypes();
    if (index < 0 || index >= static_cast<int>(types.size()))
        throw Exception("The printer-initialisation template \"" + fileName +
                        "\" is for printer type " + IntToStr(index) +
                        ", which does not exist (the types are numbered 0 to " +
                        IntToStr(static_cast<int>(types.size()) - 1) + ").");
    return types[static_cast<std::size_t>(index)];
}

int commandCount(const TpgwTXTPrinterType& type) {
    return std::clamp(type.CommandCount, 0, static_cast<int>(type.Commands.size()));
}

// A small printer seen from the front: a sheet in the feed, the body with its lamp, a sheet
// coming out.
void drawPrinterIcon(TBitmap& icon) {
    icon.SetSize(18, 16);
    TCanvas& c = icon.Canvas();
    c.Brush().SetColor(kIconTransparent);
    c.FillRect({0, 0, 18, 16});
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clWhite);
    c.Rectangle(5, 0, 13, 7);
    c.Brush().SetColor(RGB(200, 200, 200));
    c.Rectangle(1, 5, 17, 13);
    c.Pen().SetColor(RGB(96, 96, 96));
    c.MoveTo(2, 11);
    c.LineTo(16, 11);
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clWhite);
    c.Rectangle(4, 11, 14, 16);
    c.Brush().SetColor(RGB(0, 192, 0));
    c.FillRect({13, 7, 15, 9});
    icon.SetTransparentColor(kIconTransparent);
    icon.SetTransparent(true);
}

} // namespace

// ---- the template file -------------------------------------------------------------------------

void LoadPrinterInitTemplate(TpgwTXTExport& filter, const std::string& fileName) {
    TStringList lines;
    // As text: the picture reader of the same name would hand out a vector.
    lines.SetText(ReadFileBytes(std::string_view(fileName)));
    const int index = StrToInt(lines.Count() > 0 ? lines.Strings(0) : std::string());
    const TpgwTXTPrinterType& type = templateType(filter, index, fileName);

    // Everything is read before anything changes.
    const int count = std::min(commandCount(type), lines.Count() - 1);
    std::vector<bool> enabled;
    for (int i = 0; i < count; ++i)
        enabled.push_back(lines.Strings(i + 1).find("True") != std::string::npos);

    filter.SetPrinterTypeIndex(index);
    auto& commands = filter.PrinterTypes()[static_cast<std::size_t>(index)].Commands;
    for (int i = 0; i < count; ++i)
        commands[static_cast<std::size_t>(i)].Enabled = enabled[static_cast<std::size_t>(i)];
    filter.BuildInitString();
}

void SavePrinterInitTemplate(const TpgwTXTExport& filter, const std::string& fileName) {
    const TpgwTXTPrinterType& type = templateType(filter, filter.PrinterTypeIndex(), fileName);
    TStringList lines;
    lines.SetLineBreak("\r\n");
    lines.Add(IntToStr(filter.PrinterTypeIndex()));
    for (int i = 0; i < commandCount(type); ++i)
        lines.Add(type.Commands[static_cast<std::size_t>(i)].Enabled ? "True" : "False");
    lines.SaveToFile(fileName);
}

// ---- the dialog --------------------------------------------------------------------------------

TpgwPrnInit::TpgwPrnInit(TpgwTXTExport* owner) : TForm(owner), export_(owner) {
    if (!owner) throw EInvalidArgument("The print dialog needs the text export it works on.");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(380);
    SetClientHeight(341);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    buildControls();
    // The hide handler runs while a modal show unwinds: nothing may escape it.
    OnHide = [this](TObject* sender) { SafeCall([this, sender] { FormDeactivate(sender); }); };
    OpenHelpOnF1(*this, ClassName());
    FormCreate();
}

TpgwPrnInit::~TpgwPrnInit() {
    OnHide = nullptr;
}

void TpgwPrnInit::buildControls() {
    GroupBox1 = PlaceControl<TGroupBox>(this, this, 8, 4, 364, 60);
    Label4 = PlaceLabel(GroupBox1, this, 12, 26);
    CB1 = PlaceControl<TComboBox>(GroupBox1, this, 64, 22, 202, 22);
    CB1->SetStyle(csOwnerDrawFixed);
    CB1->SetItemHeight(16);
    CB1->OnDrawItem = [this](TWinControl* control, int index, const TRect& rect,
                             TOwnerDrawState state) { CB1DrawItem(control, index, rect, state); };
    CB1->OnClick = [this](TObject* sender) { CB1Click(sender); };
    PropButton = PlaceControl<TButton>(GroupBox1, this, 276, 20, 76, 25);
    PropButton->OnClick = [this](TObject* sender) { PropButtonClick(sender); };

    GroupBox3 = PlaceControl<TGroupBox>(this, this, 8, 70, 364, 52);
    Label2 = PlaceLabel(GroupBox3, this, 12, 24);
    E1 = PlaceControl<TEdit>(GroupBox3, this, 64, 20, 70, 21);
    E1->SetMaxLength(5);
    // Digits only; control characters (backspace) pass.
    E1->OnKeyPress = [](TObject*, char16_t& key) {
        if (key >= 32 && (key < u'0' || key > u'9')) key = 0;
    };
    UpDown1 = new TUpDown(this);
    UpDown1->SetThousands(false);
    UpDown1->SetMin(1);
    UpDown1->SetMax(kMaxCopies);
    UpDown1->SetPosition(1);
    UpDown1->SetAssociate(E1);

    GroupBox2 = PlaceControl<TGroupBox>(this, this, 8, 128, 364, 172);
    Label1 = PlaceLabel(GroupBox2, this, 12, 24);
    ComboBox1 = PlaceControl<TComboBox>(GroupBox2, this, 96, 20, 256, 21);
    ComboBox1->SetStyle(csDropDownList);
    ComboBox1->OnChange = [this](TObject* sender) { ComboBox1Change(sender); };
    CheckListBox1 = PlaceControl<TCheckListBox>(GroupBox2, this, 12, 50, 254, 112);
    CheckListBox1->OnClickCheck = [this](TObject* sender) { CheckListBox1ClickCheck(sender); };
    Button1 = PlaceControl<TButton>(GroupBox2, this, 276, 50, 76, 25);
    Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };
    Button2 = PlaceControl<TButton>(GroupBox2, this, 276, 81, 76, 25);
    Button2->OnClick = [this](TObject* sender) { Button2Click(sender); };

    OK = PlaceControl<TButton>(this, this, 216, 308, 75, 25);
    OK->SetModalResult(mrOk);
    OK->SetDefault(true);
    Cancel = PlaceControl<TButton>(this, this, 297, 308, 75, 25);
    Cancel->SetModalResult(mrCancel);
    Cancel->SetCancel(true);

    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->SetOptions((1u << ofHideReadOnly) | (1u << ofFileMustExist) |
                            (1u << ofEnableSizing));
    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->SetOptions((1u << ofHideReadOnly) | (1u << ofEnableSizing));

    Image1 = new TImage(this);
    Image1->SetParent(this);
    Image1->SetVisible(false);
    Image1->SetBounds(0, 0, 18, 16);
    drawPrinterIcon(Image1->Picture().Bitmap());
}

void TpgwPrnInit::FormCreate() {
    TpgwPrinters* printers = GetPrinters();
    for (const std::string& name : printers->Printers())
        CB1->Items().Add(name);
    CB1->SetItemIndex(printers->PrinterIndex());
    oldPrinterIndex_ = printers->PrinterIndex();

    for (const TpgwTXTPrinterType& type : export_->PrinterTypes())
        ComboBox1->Items().Add(type.Name);
    ComboBox1->SetItemIndex(export_->PrinterTypeIndex());
    showPrinterType();
    Localize();
}

void TpgwPrnInit::Localize() {
    SetCaption(text(8400));
    OK->SetCaption(text(1));
    Cancel->SetCaption(text(2));
    GroupBox1->SetCaption(text(8401));
    Label4->SetCaption(text(8402));
    PropButton->SetCaption(text(8403));
    GroupBox3->SetCaption(text(8404));
    Label2->SetCaption(text(8405));
    GroupBox2->SetCaption(text(8406));
    Label1->SetCaption(text(8407));
    // The same words as the preview's open and save buttons.
    Button1->SetCaption(text(103));
    Button2->SetCaption(text(105));
    const auto extension = [](std::string ext) {
        return ext.starts_with('.') ? ext.substr(1) : ext;
    };
    OpenDialog1->SetDefaultExt(extension(text(8408)));
    OpenDialog1->SetFilter(text(8409));
    SaveDialog1->SetDefaultExt(extension(text(8410)));
    SaveDialog1->SetFilter(text(8411));
}

void TpgwPrnInit::showPrinterType() {
    CheckListBox1->Items().Clear();
    const int index = ComboBox1->ItemIndex();
    const auto& types = export_->PrinterTypes();
    if (index < 0 || index >= static_cast<int>(types.size())) return;
    const TpgwTXTPrinterType& type = types[static_cast<std::size_t>(index)];
    const int count = commandCount(type);
    CheckListBox1->Items().BeginUpdate();
    for (int i = 0; i < count; ++i)
        CheckListBox1->Items().Add(type.Commands[static_cast<std::size_t>(i)].Name);
    CheckListBox1->Items().EndUpdate();
    for (int i = 0; i < count; ++i)
        CheckListBox1->SetChecked(i, type.Commands[static_cast<std::size_t>(i)].Enabled);
}

void TpgwPrnInit::ComboBox1Change(TObject*) {
    const int index = ComboBox1->ItemIndex();
    if (index < 0) return;
    export_->SetPrinterTypeIndex(index);
    showPrinterType();
}

void TpgwPrnInit::CheckListBox1ClickCheck(TObject*) {
    const int type = ComboBox1->ItemIndex();
    auto& types = export_->PrinterTypes();
    if (type < 0 || type >= static_cast<int>(types.size())) return;
    auto& commands = types[static_cast<std::size_t>(type)].Commands;
    const int count = std::min(CheckListBox1->Items().Count(), static_cast<int>(commands.size()));
    // The list does not say which item was toggled: every switch follows its box.
    for (int i = 0; i < count; ++i)
        commands[static_cast<std::size_t>(i)].Enabled = CheckListBox1->Checked(i);
}

void TpgwPrnInit::CB1Click(TObject*) {
    if (CB1->ItemIndex() >= 0) GetPrinters()->SelectPrinter(CB1->ItemIndex());
}

void TpgwPrnInit::CB1DrawItem(TWinControl*, int index, const TRect& rect, TOwnerDrawState) {
    TCanvas& c = *CB1->Canvas();
    c.FillRect(rect);
    if (index < 0 || index >= CB1->Items().Count()) return;
    c.Draw(rect.Left + 2, rect.Top, Image1->Picture().Bitmap());
    c.SetBackgroundMode(bmTransparent);
    c.TextOut(rect.Left + 24, rect.Top + 1, CB1->Items().Strings(index));
}

void TpgwPrnInit::PropButtonClick(TObject*) {
    if (TpgwCustomPrinter* printer = GetPrinters()->Printer()) printer->ShowPropertiesDialog();
}

void TpgwPrnInit::Button1Click(TObject*) {
    if (!OpenDialog1->Execute()) return;
    SafeCall([this] {
        LoadPrinterInitTemplate(*export_, OpenDialog1->FileName());
        ComboBox1->SetItemIndex(export_->PrinterTypeIndex());
        showPrinterType();
    });
}

void TpgwPrnInit::Button2Click(TObject*) {
    if (!SaveDialog1->Execute()) return;
    SafeCall([this] { SavePrinterInitTemplate(*export_, SaveDialog1->FileName()); });
}

bool TpgwPrnInit::CloseQuery() {
    if (!TForm::CloseQuery()) return false;
    if (ModalResult() != mrOk) return true;
    int copies = 0;
    if (ParseUpDownValue(E1->Text(), copies)) UpDown1->SetPosition(copies);
    return true;
}

void TpgwPrnInit::FormDeactivate(TObject*) {
    if (ModalResult() != mrOk) GetPrinters()->SelectPrinter(oldPrinterIndex_);
}

int ShowPrinterInitDialog(TpgwTXTExport& filter) {
    auto dialog = std::make_unique<TpgwPrnInit>(&filter);
    if (dialog->ShowModal() != mrOk) return 0;
    return dialog->UpDown1->Position();
}
