#pragma once
// The e-mail export: no format of its own. Another registered filter runs in slave mode into
// temporary files (or the prepared report is saved as a .pp3 file), the files go out as the
// attachments of one e-mail and are deleted afterwards. The dialog gathers the message, the
// attached format and the account; the account and the recently used addresses and subjects
// can be kept in the settings store. An application takes over the sending through OnSendMail.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/form.h"
#include "report/abstract_bases.h"

class TButton;
class TCheckBox;
class TComboBox;
class TCustomIniFile;
class TEdit;
class TGroupBox;
class TLabel;
class TMemo;
class TPageControl;
class TStringList;
class TStrings;
class TTabSheet;

// Replaces or precedes the built-in sending: empty when the mail was sent, else the failure
// (then the built-in sending follows). Texts are UTF-8.
using TpgwOnSendMailEvent = std::function<std::string(
    const std::string& server, int port, const std::string& userField,
    const std::string& passwordField, const std::string& fromField, const std::string& toField,
    const std::string& subjectField, const std::string& companyField, const std::string& textField,
    const TStrings& fileNames, int timeout, bool confurmReading)>;

class TpgwMailExportDialog : public TForm {
    LUMETRA_CLASS(TpgwMailExportDialog, TForm)
public:
    explicit TpgwMailExportDialog(TComponent* owner);
    ~TpgwMailExportDialog() override;

    // Each empty required field (address, subject, sender address, host, port, in this order)
    // gets a bold label and brings its page forward; ReqLB shows whether one was missing. OK
    // closes the dialog only when none was.
    bool CheckFields();
    // The signature memo built from the sender's name, address and organization.
    void BuildSignature();
    // What the port and time-out edits let through.
    static bool DigitKey(char16_t key);
    // The filter carried by each item of ExportsCombo (none: the prepared report itself).
    std::vector<TpgwCustomExportFilter*> Formats;

    TButton* OkB = nullptr;
    TButton* CancelB = nullptr;
    TPageControl* PageControl1 = nullptr;
    TTabSheet* ExportSheet = nullptr;
    TGroupBox* MessageGroup = nullptr;
    TLabel* AddressLB = nullptr;
    TComboBox* AddressE = nullptr;
    TLabel* SubjectLB = nullptr;
    TComboBox* SubjectE = nullptr;
    TLabel* MessageLB = nullptr;
    TMemo* MessageM = nullptr;
    TCheckBox* ReadingCB = nullptr;
    TGroupBox* AttachGroup = nullptr;
    TLabel* FormatLB = nullptr;
    TComboBox* ExportsCombo = nullptr;
    TCheckBox* SettingCB = nullptr;
    TTabSheet* AccountSheet = nullptr;
    TGroupBox* MailGroup = nullptr;
    TLabel* FromNameLB = nullptr;
    TEdit* FromNameE = nullptr;
    TLabel* FromAddrLB = nullptr;
    TEdit* FromAddrE = nullptr;
    TLabel* OrgLB = nullptr;
    TEdit* OrgE = nullptr;
    TLabel* SignatureLB = nullptr;
    TMemo* SignatureM = nullptr;
    TButton* SignBuildBtn = nullptr;
    TCheckBox* RememberCB = nullptr;
    TGroupBox* AccountGroup = nullptr;
    TLabel* HostLB = nullptr;
    TEdit* HostE = nullptr;
    TLabel* PortLB = nullptr;
    TEdit* PortE = nullptr;
    TLabel* LoginLB = nullptr;
    TEdit* LoginE = nullptr;
    TLabel* PasswordLB = nullptr;
    TEdit* PasswordE = nullptr;
    TLabel* TimeoutLB = nullptr;
    TEdit* TimeoutE = nullptr;
    TLabel* ReqLB = nullptr;

private:
    void buildControls();
    void localize();
};

class TpgwMailExport : public TpgwCustomExportFilter {
    LUMETRA_CLASS(TpgwMailExport, TpgwCustomExportFilter)
public:
    explicit TpgwMailExport(TComponent* owner);
    explicit TpgwMailExport(UnlistedTag tag);
    ~TpgwMailExport() override;
    static void RegisterProperties(TClassBuilder<TpgwMailExport>& b);

    std::string FilterCaption() const override;
    // The dialog; 1 goes on, 2 cancels. The settings store is read and written here only.
    int AskOptions() override;
    // Exports, mails and deletes the temporary files; always false, so the driver hands over no
    // pages.
    bool OpenOutput() override;
    // Nothing: the work is done when the output opens.
    void WriteItem(TpgwComponent* /*object*/) override {}
    // One mail; the error text (empty when sent). OnSendMail first, then the built-in client
    // unless the handler sent it.
    std::string SendMail(const std::string& server, int port, const std::string& userField,
                         const std::string& passwordField, const std::string& fromField,
                         const std::string& toField, const std::string& subjectField,
                         const std::string& companyField, const std::string& textField,
                         const TStrings& fileNames, int timeout, bool confurmReading);

    const std::string& Address() const { return address_; }
    void SetAddress(const std::string& v) { address_ = v; }
    const std::string& Subject() const { return subject_; }
    void SetSubject(const std::string& v) { subject_ = v; }
    TStrings* Lines() const;
    void SetLines(TStrings* v);
    bool ShowExportDialog() const { return showExportDialog_; }
    void SetShowExportDialog(bool v) { showExportDialog_ = v; }
    const std::string& FromMail() const { return fromMail_; }
    void SetFromMail(const std::string& v) { fromMail_ = v; }
    const std::string& FromName() const { return fromName_; }
    void SetFromName(const std::string& v) { fromName_ = v; }
    const std::string& FromCompany() const { return fromCompany_; }
    void SetFromCompany(const std::string& v) { fromCompany_ = v; }
    TStrings* Signature() const;
    void SetSignature(TStrings* v);
    const std::string& SmtpHost() const { return smtpHost_; }
    void SetSmtpHost(const std::string& v) { smtpHost_ = v; }
    int SmtpPort() const { return smtpPort_; }
    void SetSmtpPort(int v) { smtpPort_ = v; }
    const std::string& Login() const { return login_; }
    void SetLogin(const std::string& v) { login_ = v; }
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& v) { password_ = v; }
    bool UseIniFile() const { return useIniFile_; }
    void SetUseIniFile(bool v) { useIniFile_ = v; }
    const std::string& LogFile() const { return logFile_; }
    void SetLogFile(const std::string& v) { logFile_ = v; }
    int TimeOut() const { return timeOut_; }
    void SetTimeOut(int v) { timeOut_ = v; }
    bool ConfurmReading() const { return confurmReading_; }
    void SetConfurmReading(bool v) { confurmReading_ = v; }
    // The filter whose output is attached; none: the prepared report itself.
    TpgwCustomExportFilter* ExportFilter() const { return exportFilter_; }
    void SetExportFilter(TpgwCustomExportFilter* filter);

    TpgwOnSendMailEvent OnSendMail;

    // The message text: Lines, then Signature, each line followed by CR LF.
    std::string Body() const;
    // The formats the dialog offers, in registry order: every registered filter but the plain
    // dot-matrix text export and the e-mail export.
    static std::vector<TpgwCustomExportFilter*> AttachableFilters();

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void init();
    // The report's settings store, or the registry store on the default key without a report.
    std::unique_ptr<TCustomIniFile> openStore();
    void readStore(TCustomIniFile& store, TpgwMailExportDialog& dialog);
    void writeStore(TCustomIniFile& store, TpgwMailExportDialog& dialog);
    std::string attachmentName() const;
    std::string sendThroughFilter(TpgwCustomExportFilter& filter);
    std::string sendPreparedReport();

    std::unique_ptr<TStringList> lines_, signature_;
    std::string address_, subject_, fromMail_, fromName_, fromCompany_, smtpHost_, login_,
        password_, logFile_;
    TpgwCustomExportFilter* exportFilter_ = nullptr;
    int smtpPort_ = 25;
    int timeOut_ = 60;
    bool showExportDialog_ = true;
    bool useIniFile_ = true;
    bool confurmReading_ = false;
    // The dialog was shown for this run: the driver has switched ShowDialog off by the time the
    // output opens, and the attached format's dialog follows what the user was shown.
    bool askedThisRun_ = false;
};

// Registers TpgwMailExport.
void RegisterMailExport();
