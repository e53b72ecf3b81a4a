#include "export/mail_export.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/dialog_building.h"
#include "export/export_filter.h"
#include "export/net_utils.h"
#include "export/smtp_client.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/ini_file.h"
#include "platform/core/persistent.h"
#include "platform/core/properties.h"
#include "platform/core/settings_store.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "platform/graphics/color.h"
#include "platform/graphics/font.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/options.h"
#include "report/registries.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/utils.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

constexpr const char* kDefaultStoreKey = "\\Software\\Quillmark";
constexpr const char* kProperties = "EmailExport.Properties";
constexpr const char* kRecentAddresses = "EmailExport.RecentAddresses";
constexpr const char* kRecentSubjects = "EmailExport.RecentSubjects";
// The prepared report is mailed with this fixed time-out.
constexpr int kPreparedReportTimeOut = 60;

constexpr int kFormWidth = 400;
constexpr int kSheetWidth = 384;
constexpr int kGroupWidth = kSheetWidth - 16;
constexpr int kPagesHeight = 340;

std::string joinLines(const TStrings& lines) {
    std::string text;
    for (int i = 0; i < lines.Count(); ++i)
        text += lines.Strings(i) + "\r\n";
    return text;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string trimLineBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// A remembered entry is the name of a key: text a key cannot hold is not remembered.
bool storableKey(std::string_view text) {
    const std::string key = Trim(text);
    return !key.empty() && key.find_first_of("=\r\n") == std::string::npos && key.front() != '[' &&
           key.front() != ';';
}

int toInt(const std::string& text, int fallback) {
    int value = 0;
    return TryStrToInt(Trim(text), value) ? value : fallback;
}

TLabel* label(TWinControl* parent, TComponent* owner, int left, int top) {
    return PlaceLabel(parent, owner, left, top);
}

void setBold(TLabel* label, bool bold) {
    TFontStyles style = label->Font()->Style();
    if (bold)
        style.Include(fsBold);
    else
        style.Exclude(fsBold);
    label->Font()->SetStyle(style);
}

// Puts a filter's four values back whatever happens in between.
class SavedFilterState {
public:
    explicit SavedFilterState(TpgwCustomExportFilter& filter)
        : filter_(filter), fileName_(filter.FileName()), slaveMode_(filter.SlaveMode()),
          showDialog_(filter.ShowDialog()), showProgress_(filter.ShowProgress()) {}
    ~SavedFilterState() {
        filter_.SetFileName(fileName_);
        filter_.SetSlaveMode(slaveMode_);
        filter_.SetShowDialog(showDialog_);
        filter_.SetShowProgress(showProgress_);
    }
    SavedFilterState(const SavedFilterState&) = delete;
    SavedFilterState& operator=(const SavedFilterState&) = delete;

private:
    TpgwCustomExportFilter& filter_;
    std::string fileName_;
    bool slaveMode_, showDialog_, showProgress_;
};

// Deletes the attached files when it goes: each entry's file is the part before "=", or the
// whole entry without one.
class AttachedFiles {
public:
    AttachedFiles() = default;
    ~AttachedFiles() {
        for (int i = 0; i < List.Count(); ++i) {
            const std::string& entry = List.Strings(i);
            const std::size_t eq = entry.find('=');
            const std::string file = eq == std::string::npos ? entry : entry.substr(0, eq);
            if (!file.empty()) DeleteFile(file);
        }
    }
    AttachedFiles(const AttachedFiles&) = delete;
    AttachedFiles& operator=(const AttachedFiles&) = delete;
    TStringList List;
};

} // namespace

// ---- the dialog --------------------------------------------------------------------------------

TpgwMailExportDialog::TpgwMailExportDialog(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    buildControls();
    localize();
    OpenHelpOnF1(*this, ClassName());
}

TpgwMailExportDialog::~TpgwMailExportDialog() = default;

void TpgwMailExportDialog::buildControls() {
    PageControl1 = PlaceControl<TPageControl>(this, this, 8, 8, kSheetWidth, kPagesHeight);
    ExportSheet = new TTabSheet(this);
    ExportSheet->SetPageControl(PageControl1);
    AccountSheet = new TTabSheet(this);
    AccountSheet->SetPageControl(PageControl1);

    // The message and the attached format.
    MessageGroup = PlaceControl<TGroupBox>(ExportSheet, this, 8, 4, kGroupWidth, 224);
    AddressLB = label(MessageGroup, this, 12, 24);
    AddressE = PlaceControl<TComboBox>(MessageGroup, this, 90, 20, kGroupWidth - 102, 21);
    AddressE->SetShowHint(true);
    SubjectLB = label(MessageGroup, this, 12, 52);
    SubjectE = PlaceControl<TComboBox>(MessageGroup, this, 90, 48, kGroupWidth - 102, 21);
    MessageLB = label(MessageGroup, this, 12, 78);
    MessageM = PlaceControl<TMemo>(MessageGroup, this, 12, 94, kGroupWidth - 24, 100);
    MessageM->SetScrollBars(ssVertical);
    ReadingCB = PlaceControl<TCheckBox>(MessageGroup, this, 12, 200, kGroupWidth - 24, 17);

    AttachGroup = PlaceControl<TGroupBox>(ExportSheet, this, 8, 234, kGroupWidth, 56);
    FormatLB = label(AttachGroup, this, 12, 26);
    ExportsCombo = PlaceControl<TComboBox>(AttachGroup, this, 90, 22, 150, 21);
    ExportsCombo->SetStyle(csDropDownList);
    SettingCB = PlaceControl<TCheckBox>(AttachGroup, this, 250, 24, kGroupWidth - 260, 17);

    // The sender and the connection.
    MailGroup = PlaceControl<TGroupBox>(AccountSheet, this, 8, 4, kGroupWidth, 188);
    FromNameLB = label(MailGroup, this, 12, 24);
    FromNameE = PlaceControl<TEdit>(MailGroup, this, 110, 20, kGroupWidth - 122, 21);
    FromAddrLB = label(MailGroup, this, 12, 52);
    FromAddrE = PlaceControl<TEdit>(MailGroup, this, 110, 48, kGroupWidth - 122, 21);
    OrgLB = label(MailGroup, this, 12, 80);
    OrgE = PlaceControl<TEdit>(MailGroup, this, 110, 76, kGroupWidth - 122, 21);
    SignatureLB = label(MailGroup, this, 12, 106);
    SignatureM = PlaceControl<TMemo>(MailGroup, this, 110, 104, kGroupWidth - 122, 56);
    SignatureM->SetScrollBars(ssVertical);
    SignBuildBtn = PlaceControl<TButton>(MailGroup, this, 12, 128, 75, 25);
    SignBuildBtn->OnClick = [this](TObject*) { BuildSignature(); };
    RememberCB = PlaceControl<TCheckBox>(MailGroup, this, 12, 166, kGroupWidth - 24, 17);

    AccountGroup = PlaceControl<TGroupBox>(AccountSheet, this, 8, 198, kGroupWidth, 104);
    HostLB = label(AccountGroup, this, 12, 24);
    HostE = PlaceControl<TEdit>(AccountGroup, this, 70, 20, 160, 21);
    PortLB = label(AccountGroup, this, 244, 24);
    PortE = PlaceControl<TEdit>(AccountGroup, this, 292, 20, kGroupWidth - 304, 21);
    PortE->SetText("25");
    LoginLB = label(AccountGroup, this, 12, 52);
    LoginE = PlaceControl<TEdit>(AccountGroup, this, 70, 48, 110, 21);
    PasswordLB = label(AccountGroup, this, 190, 52);
    PasswordE = PlaceControl<TEdit>(AccountGroup, this, 250, 48, kGroupWidth - 262, 21);
    PasswordE->SetPasswordChar('*');
    TimeoutLB = label(AccountGroup, this, 12, 80);
    TimeoutE = PlaceControl<TEdit>(AccountGroup, this, 70, 76, 60, 21);
    TimeoutE->SetText("60");
    for (TEdit* edit : {PortE, TimeoutE})
        edit->OnKeyPress = [](TObject*, char16_t& key) {
            if (!DigitKey(key)) key = 0;
        };
    PageControl1->SetActivePage(ExportSheet);

    const int buttonsTop = PageControl1->Top() + kPagesHeight + 8;
    ReqLB = label(this, this, 12, buttonsTop + 6);
    ReqLB->Font()->SetColor(clRed);
    ReqLB->SetVisible(false);
    OkB = PlaceControl<TButton>(this, this, kFormWidth - 2 * 75 - 14, buttonsTop, 75, 25);
    OkB->SetDefault(true);
    OkB->OnClick = [this](TObject*) {
        if (CheckFields()) SetModalResult(mrOk);
    };
    CancelB = PlaceControl<TButton>(this, this, kFormWidth - 75 - 8, buttonsTop, 75, 25);
    CancelB->SetModalResult(mrCancel);
    CancelB->SetCancel(true);
    SetClientWidth(kFormWidth);
    SetClientHeight(buttonsTop + 25 + 8);
}

void TpgwMailExportDialog::localize() {
    SetCaption(res("8900"));
    OkB->SetCaption(GetResources().GetTextById(1));
    CancelB->SetCaption(GetResources().GetTextById(2));
    ExportSheet->SetCaption(res("8901"));
    MessageGroup->SetCaption(res("8912"));
    AddressLB->SetCaption(res("8904"));
    AddressE->SetHint("Address or addresses delimited by comma");
    SubjectLB->SetCaption(res("8922"));
    MessageLB->SetCaption(res("8913"));
    ReadingCB->SetCaption(res("8989"));
    AttachGroup->SetCaption(res("8905"));
    FormatLB->SetCaption(res("8906"));
    SettingCB->SetCaption(res("8919"));
    AccountSheet->SetCaption(res("8902"));
    MailGroup->SetCaption(res("8911"));
    FromNameLB->SetCaption(res("8908"));
    FromAddrLB->SetCaption(res("8907"));
    OrgLB->SetCaption(res("8914"));
    SignatureLB->SetCaption(res("8920"));
    SignBuildBtn->SetCaption(res("8921"));
    RememberCB->SetCaption(res("8917"));
    AccountGroup->SetCaption(res("8903"));
    HostLB->SetCaption(res("8909"));
    PortLB->SetCaption(res("8916"));
    LoginLB->SetCaption(res("8910"));
    PasswordLB->SetCaption(res("8915"));
    TimeoutLB->SetCaption("Time out");
    ReqLB->SetCaption(res("8918"));
}

bool TpgwMailExportDialog::DigitKey(char16_t key) {
    return (key >= u'0' && key <= u'9') || key == u'\b';
}

bool TpgwMailExportDialog::CheckFields() {
    for (TLabel* l : {AddressLB, SubjectLB, MessageLB, FormatLB, FromNameLB, FromAddrLB, OrgLB,
                      SignatureLB, HostLB, PortLB, LoginLB, PasswordLB, TimeoutLB})
        setBold(l, false);
    struct Required {
        std::string text;
        TLabel* label;
        TTabSheet* sheet;
    };
    const Required required[] = {{AddressE->Text(), AddressLB, ExportSheet},
                                 {SubjectE->Text(), SubjectLB, ExportSheet},
                                 {FromAddrE->Text(), FromAddrLB, AccountSheet},
                                 {HostE->Text(), HostLB, AccountSheet},
                                 {PortE->Text(), PortLB, AccountSheet}};
    bool missing = false;
    for (const Required& field : required) {
        if (!field.text.empty()) continue;
        setBold(field.label, true);
        PageControl1->SetActivePage(field.sheet);
        missing = true;
    }
    ReqLB->SetVisible(missing);
    return !missing;
}

void TpgwMailExportDialog::BuildSignature() {
    TStrings& lines = SignatureM->Lines();
    lines.BeginUpdate();
    lines.Clear();
    lines.Add("--");
    lines.Add(res("8923") + ",");
    if (!FromNameE->Text().empty()) lines.Add("  " + FromNameE->Text());
    if (!FromAddrE->Text().empty()) lines.Add("  mailto: " + FromAddrE->Text());
    if (!OrgE->Text().empty()) lines.Add("  " + OrgE->Text());
    lines.EndUpdate();
}

// ---- the filter --------------------------------------------------------------------------------

TpgwMailExport::TpgwMailExport(TComponent* owner) : TpgwCustomExportFilter(owner) {
    init();
}

TpgwMailExport::TpgwMailExport(UnlistedTag tag) : TpgwCustomExportFilter(tag) {
    init();
}

TpgwMailExport::~TpgwMailExport() {
    SetExportFilter(nullptr);
}

void TpgwMailExport::init() {
    lines_ = std::make_unique<TStringList>();
    signature_ = std::make_unique<TStringList>();
}

void TpgwMailExport::RegisterProperties(TClassBuilder<TpgwMailExport>& b) {
    using F = TpgwMailExport;
    b.Add("Address", TypeInfoString(), &F::Address, &F::SetAddress);
    b.Add("Subject", TypeInfoString(), &F::Subject, &F::SetSubject);
    b.Add("Lines", &F::Lines, &F::SetLines);
    b.Add("ShowExportDialog", &F::ShowExportDialog, &F::SetShowExportDialog).Default(1);
    b.Add("FromMail", TypeInfoString(), &F::FromMail, &F::SetFromMail);
    b.Add("FromName", TypeInfoString(), &F::FromName, &F::SetFromName);
    b.Add("FromCompany", TypeInfoString(), &F::FromCompany, &F::SetFromCompany);
    b.Add("Signature", &F::Signature, &F::SetSignature);
    b.Add("SmtpHost", TypeInfoString(), &F::SmtpHost, &F::SetSmtpHost);
    b.Add("SmtpPort", &F::SmtpPort, &F::SetSmtpPort).Default(25);
    b.Add("Login", TypeInfoString(), &F::Login, &F::SetLogin);
    b.Add("Password", TypeInfoString(), &F::Password, &F::SetPassword);
    b.Add("UseIniFile", &F::UseIniFile, &F::SetUseIniFile).Default(1);
    b.Add("LogFile", TypeInfoString(), &F::LogFile, &F::SetLogFile);
    b.Add("TimeOut", &F::TimeOut, &F::SetTimeOut).Default(60);
    b.Add("ConfurmReading", &F::ConfurmReading, &F::SetConfurmReading).Default(0);
}

std::string TpgwMailExport::FilterCaption() const {
    return res("EmailExport");
}

TStrings* TpgwMailExport::Lines() const {
    return lines_.get();
}

void TpgwMailExport::SetLines(TStrings* v) {
    if (v) lines_->Assign(*v);
}

TStrings* TpgwMailExport::Signature() const {
    return signature_.get();
}

void TpgwMailExport::SetSignature(TStrings* v) {
    if (v) signature_->Assign(*v);
}

void TpgwMailExport::SetExportFilter(TpgwCustomExportFilter* filter) {
    if (filter == exportFilter_) return;
    if (exportFilter_) exportFilter_->RemoveFreeNotification(this);
    exportFilter_ = filter;
    if (exportFilter_) exportFilter_->FreeNotification(this);
}

void TpgwMailExport::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == exportFilter_) exportFilter_ = nullptr;
    TpgwCustomExportFilter::Notification(component, operation);
}

std::string TpgwMailExport::Body() const {
    return joinLines(*lines_) + joinLines(*signature_);
}

std::vector<TpgwCustomExportFilter*> TpgwMailExport::AttachableFilters() {
    std::vector<TpgwCustomExportFilter*> filters;
    TpgwExportFilterCollection& all = GetExportFilters();
    for (int i = 0; i < all.Count(); ++i) {
        TpgwCustomExportFilter* filter = all.Items(i);
        const std::string name = filter->ClassName();
        if (name != "TpgwTXTExport" && name != "TpgwMailExport") filters.push_back(filter);
    }
    return filters;
}

// ---- the dialog and the settings store ---------------------------------------------------------

std::unique_ptr<TCustomIniFile> TpgwMailExport::openStore() {
    if (TpgwReport* report = Report()) return report->OpenIniFile();
    return std::make_unique<TRegistryIniFile>(kDefaultStoreKey, HKEY_CURRENT_USER);
}

void TpgwMailExport::readStore(TCustomIniFile& store, TpgwMailExportDialog& d) {
    // A value the store lacks keeps what the program set: a run that remembered nothing but the
    // chosen format must not blank the account next time.
    auto read = [&](const char* key, const std::string& current) {
        return store.ValueExists(kProperties, key) ? store.ReadString(kProperties, key, "")
                                                   : current;
    };
    d.FromNameE->SetText(read("FromName", fromName_));
    d.FromAddrE->SetText(read("FromAddress", fromMail_));
    d.OrgE->SetText(read("Organization", fromCompany_));
    if (store.ValueExists(kProperties, "Signature"))
        d.SignatureM->Lines().SetText(store.ReadString(kProperties, "Signature", ""));
    else
        d.SignatureM->Lines().Assign(*signature_);
    d.HostE->SetText(read("SmtpHost", smtpHost_));
    d.PortE->SetText(read("SmtpPort", IntToStr(smtpPort_)));
    d.LoginE->SetText(store.ValueExists(kProperties, "Login")
                          ? Base64Decode(store.ReadString(kProperties, "Login", ""))
                          : login_);
    d.PasswordE->SetText(store.ValueExists(kProperties, "Password")
                             ? Base64Decode(store.ReadString(kProperties, "Password", ""))
                             : password_);
    d.TimeoutE->SetText(read("Timeout", IntToStr(timeOut_)));
    const int last = store.ReadInteger(kProperties, "LastUsedExport", 0);
    d.ExportsCombo->SetItemIndex(last >= 0 && last < d.ExportsCombo->Items().Count() ? last : 0);
    for (const std::string& entry : store.ReadSection(kRecentAddresses))
        d.AddressE->Items().Add(entry);
    for (const std::string& entry : store.ReadSection(kRecentSubjects))
        d.SubjectE->Items().Add(entry);
}

void TpgwMailExport::writeStore(TCustomIniFile& store, TpgwMailExportDialog& d) {
    if (d.RememberCB->Checked()) {
        store.WriteString(kProperties, "FromName", fromName_);
        store.WriteString(kProperties, "FromAddress", fromMail_);
        store.WriteString(kProperties, "Organization", fromCompany_);
        store.WriteString(kProperties, "Signature", trimLineBreaks(joinLines(*signature_)));
        store.WriteString(kProperties, "SmtpHost", smtpHost_);
        store.WriteString(kProperties, "SmtpPort", IntToStr(smtpPort_));
        store.WriteString(kProperties, "Login", Base64Encode(login_));
        store.WriteString(kProperties, "Password", Base64Encode(password_));
        store.WriteString(kProperties, "Timeout", IntToStr(timeOut_));
    }
    store.WriteInteger(kProperties, "LastUsedExport", d.ExportsCombo->ItemIndex());
    if (storableKey(address_)) store.WriteString(kRecentAddresses, Trim(address_), "");
    if (storableKey(subject_)) store.WriteString(kRecentSubjects, Trim(subject_), "");
}

int TpgwMailExport::AskOptions() {
    askedThisRun_ = false;
    TpgwMailExportDialog d(nullptr);
    d.AttachGroup->SetVisible(!SlaveMode());
    d.Formats = AttachableFilters();
    for (TpgwCustomExportFilter* filter : d.Formats)
        d.ExportsCombo->Items().Add(filter->FilterCaption());
    d.Formats.push_back(nullptr);
    d.ExportsCombo->Items().Add(res("PagewrightFile"));
    d.SettingCB->SetChecked(showExportDialog_);
    d.RememberCB->SetVisible(useIniFile_);

    std::unique_ptr<TCustomIniFile> store;
    if (useIniFile_) store = openStore();
    if (store && store->SectionExists(kProperties)) {
        readStore(*store, d);
    } else {
        d.FromNameE->SetText(fromName_);
        d.FromAddrE->SetText(fromMail_);
        d.OrgE->SetText(fromCompany_);
        d.SignatureM->Lines().Assign(*signature_);
        d.HostE->SetText(smtpHost_);
        d.PortE->SetText(IntToStr(smtpPort_));
        d.LoginE->SetText(login_);
        d.PasswordE->SetText(password_);
        d.TimeoutE->SetText(IntToStr(timeOut_));
        const auto it = std::find(d.Formats.begin(), d.Formats.end(), exportFilter_);
        d.ExportsCombo->SetItemIndex(
            exportFilter_ && it != d.Formats.end() ? static_cast<int>(it - d.Formats.begin()) : 0);
    }
    d.AddressE->SetText(address_);
    d.SubjectE->SetText(subject_);
    d.MessageM->Lines().Assign(*lines_);
    d.ReadingCB->SetChecked(confurmReading_);

    const int result = d.ShowModal();
    if (result != mrOk) return result;
    address_ = d.AddressE->Text();
    subject_ = d.SubjectE->Text();
    lines_->Assign(d.MessageM->Lines());
    confurmReading_ = d.ReadingCB->Checked();
    fromName_ = d.FromNameE->Text();
    fromMail_ = d.FromAddrE->Text();
    fromCompany_ = d.OrgE->Text();
    signature_->Assign(d.SignatureM->Lines());
    smtpHost_ = d.HostE->Text();
    smtpPort_ = toInt(d.PortE->Text(), smtpPort_);
    login_ = d.LoginE->Text();
    password_ = d.PasswordE->Text();
    timeOut_ = toInt(d.TimeoutE->Text(), timeOut_);
    showExportDialog_ = d.SettingCB->Checked();
    const int chosen = d.ExportsCombo->ItemIndex();
    SetExportFilter(chosen >= 0 && chosen < static_cast<int>(d.Formats.size())
                        ? d.Formats[static_cast<std::size_t>(chosen)]
                        : nullptr);
    if (store) writeStore(*store, d);
    askedThisRun_ = true;
    return result;
}

// ---- export and mail ---------------------------------------------------------------------------

std::string TpgwMailExport::attachmentName() const {
    std::string name;
    TpgwCustomExportFilter* filter = exportFilter_;
    if (filter && !filter->FileName().empty()) {
        name = ExtractFileName(NormalizeSlashes(filter->FileName()));
    } else if (TpgwReport* report = Report()) {
        name = report->ReportOptions()->Name();
        if (name.empty())
            name = ChangeFileExt(ExtractFileName(NormalizeSlashes(report->FileName())), "");
    }
    if (filter && filter->FileName().empty()) name += filter->FileExtension();
    return name;
}

std::string TpgwMailExport::sendThroughFilter(TpgwCustomExportFilter& filter) {
    const std::string displayName = attachmentName();
    const bool showDialog = (ShowDialog() || askedThisRun_) && showExportDialog_;
    SavedFilterState saved(filter);
    // A filter that takes the name it is given writes into the temporary folder too, never
    // over the file its FileName names (which is deleted after sending).
    const std::string reserved = MakeTempFileName();
    std::remove(reserved.c_str());
    filter.SetFileName(ChangeFileExt(reserved, filter.FileExtension()));
    filter.SetSlaveMode(true);
    filter.SetShowDialog(showDialog);
    filter.SetShowProgress(ShowProgress());
    TpgwReport* report = Report();
    if (!report || !report->ExportTo(&filter)) return {};

    AttachedFiles attached;
    if (TStringList* outputs = filter.OutputFiles()) {
        // The main document goes with its pictures, under the mail's name for it.
        const std::string main = filter.FileName();
        bool mainListed = false;
        for (int i = 0; i < outputs->Count(); ++i) {
            const std::string& file = outputs->Strings(i);
            if (file == main) {
                mainListed = true;
                attached.List.Add(file + "=" + displayName);
            } else {
                attached.List.Add(file);
            }
        }
        if (!mainListed && FileExists(main)) attached.List.Insert(0, main + "=" + displayName);
    } else {
        attached.List.Add(filter.FileName() + "=" + displayName);
    }
    // A run that wrote nothing has reported its own failure: a mail without it is not sent.
    bool anyFile = false;
    for (int i = 0; i < attached.List.Count(); ++i) {
        const std::string& entry = attached.List.Strings(i);
        anyFile = anyFile || FileExists(entry.substr(0, entry.find('=')));
    }
    if (!anyFile) return {};
    return SendMail(smtpHost_, smtpPort_, login_, password_, fromMail_, address_, subject_,
                    fromCompany_, Body(), attached.List, timeOut_, confurmReading_);
}

std::string TpgwMailExport::sendPreparedReport() {
    TpgwReport* report = Report();
    if (!report || !report->PreviewPages()) return {};
    AttachedFiles attached;
    const std::string fileName = MakeTempFileName();
    attached.List.Add(fileName + "=" + attachmentName() + ".pp3");
    report->PreviewPages()->SaveToFile(fileName);
    return SendMail(smtpHost_, smtpPort_, login_, password_, fromMail_, address_, subject_,
                    fromCompany_, Body(), attached.List, kPreparedReportTimeOut, false);
}

bool TpgwMailExport::OpenOutput() {
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{askedThisRun_};
    std::string error;
    if (TpgwCustomExportFilter* filter = exportFilter_) {
        error = sendThroughFilter(*filter);
    } else {
        error = sendPreparedReport();
    }
    if (!error.empty()) ReportExportFailure(Report(), trimLineBreaks(error));
    return false;
}

std::string TpgwMailExport::SendMail(const std::string& server, int port,
                                     const std::string& userField, const std::string& passwordField,
                                     const std::string& fromField, const std::string& toField,
                                     const std::string& subjectField,
                                     const std::string& companyField, const std::string& textField,
                                     const TStrings& fileNames, int timeout, bool confurmReading) {
    if (OnSendMail) {
        std::string result =
            OnSendMail(server, port, userField, passwordField, fromField, toField, subjectField,
                       companyField, textField, fileNames, timeout, confurmReading);
        if (result.empty()) return result;
    }
    TpgwSMTPClient client(nullptr);
    client.SetHost(server);
    client.SetPort(port);
    client.SetUser(userField);
    client.SetPassword(passwordField);
    client.SetMailFrom(fromField);
    client.SetMailTo(toField);
    client.SetMailSubject(subjectField);
    client.SetOrganization(companyField);
    client.SetMailText(replaceAll(textField, "\\n", "\r\n"));
    TStringList files;
    files.Assign(fileNames);
    client.SetMailFiles(&files);
    client.SetShowProgress(ShowProgress());
    client.SetTimeOut(timeout);
    client.SetConfirmReading(confurmReading);
    client.SetLogFile(logFile_);
    client.SetActive(true);
    return joinLines(client.Errors());
}

void RegisterMailExport() {
    RegisterClasses<TpgwMailExport>();
}
