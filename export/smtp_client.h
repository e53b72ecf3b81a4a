#pragma once
// Sending one e-mail with file attachments to an SMTP server: the dialogue runs step by step
// from the socket's events while the calling (GUI) thread pumps its events, the MIME multipart
// message is built here, and failures end up as lines of the error list, never as exceptions.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/date_time.h"
#include "platform/core/string_list.h"

class TClientSocket;
class TpgwProgress;

// What makes each message unique: the time in its Date and Message-ID headers, the tick count
// in its Message-ID and the boundary of its parts (empty: made from the time).
struct TpgwMailStamp {
    TDateTime Time = 0;
    std::uint32_t Tick = 0;
    std::string Boundary;
};
using TpgwMailStampHook = std::function<TpgwMailStamp()>;

class TpgwSMTPClient : public TComponent {
    LUMETRA_CLASS(TpgwSMTPClient, TComponent)
public:
    explicit TpgwSMTPClient(TComponent* owner);
    // Stops a send in progress.
    ~TpgwSMTPClient() override;
    static void RegisterProperties(TClassBuilder<TpgwSMTPClient>& b);

    // Setting it runs a whole send and returns when it is over; clearing it disconnects.
    bool Active() const { return active_; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Connect();
    void Disconnect();
    void Stop();

    const std::string& Host() const { return host_; }
    void SetHost(const std::string& v) { host_ = v; }
    int Port() const { return port_; }
    void SetPort(int v) { port_ = v; }
    // The longest time of one send, in seconds.
    int TimeOut() const { return timeOut_; }
    void SetTimeOut(int v) { timeOut_ = v; }
    // Empty: no authentication.
    const std::string& User() const { return user_; }
    void SetUser(const std::string& v) { user_ = v; }
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& v) { password_ = v; }
    // UTF-8 texts (the 16-bit texts of the mail, kept as UTF-8 here).
    const std::string& MailFrom() const { return mailFrom_; }
    void SetMailFrom(const std::string& v) { mailFrom_ = v; }
    // Recipients separated by commas.
    const std::string& MailTo() const { return mailTo_; }
    void SetMailTo(const std::string& v) { mailTo_ = v; }
    const std::string& MailCc() const { return mailCc_; }
    void SetMailCc(const std::string& v) { mailCc_ = v; }
    const std::string& MailBcc() const { return mailBcc_; }
    void SetMailBcc(const std::string& v) { mailBcc_ = v; }
    const std::string& MailSubject() const { return mailSubject_; }
    void SetMailSubject(const std::string& v) { mailSubject_ = v; }
    const std::string& MailText() const { return mailText_; }
    void SetMailText(const std::string& v) { mailText_ = v; }
    // Each entry a file name, or a file name, "=" and the name shown in the mail.
    TStringList* MailFiles() const { return mailFiles_.get(); }
    void SetMailFiles(TStrings* v);
    bool ShowProgress() const { return showProgress_; }
    void SetShowProgress(bool v) { showProgress_ = v; }
    const std::string& Organization() const { return organization_; }
    void SetOrganization(const std::string& v) { organization_ = v; }
    bool ConfirmReading() const { return confirmReading_; }
    void SetConfirmReading(bool v) { confirmReading_ = v; }
    // The dialogue log's file; empty for none. A log file grows with every send.
    const std::string& LogFile() const { return logFile_; }
    void SetLogFile(const std::string& v) { logFile_ = v; }

    // Empty after a successful send.
    TStringList& Errors() { return *errors_; }
    TStringList& Log() { return *log_; }

    // The message as it goes to the server after DATA: headers, the text part, the attachments
    // in Base64 and the closing "." line, every line ending in CR LF. A file that exists but
    // cannot be read raises.
    std::string BuildMessage() const;

    // The address inside a text ("Name <a@b.c>", "a@b.c", "Name a@b.c"); empty without "@".
    static std::string BareAddress(std::string_view text);
    // A From/To header value: the name as an encoded word followed by "<address>".
    static std::string AddressHeader(std::string_view text);
    // "=?utf-8?B?...?=" of the text; empty for an empty text.
    static std::string EncodeHeaderText(std::string_view text);
    // Items separated by commas and blanks; a double-quoted item may hold both ("" is a quote).
    static std::vector<std::string> SplitRecipients(std::string_view text);
    // Replaces the time, tick count and boundary of the messages built from now on; an empty
    // hook restores the real ones. Returns the hook it replaced.
    static TpgwMailStampHook SetMailStampHook(TpgwMailStampHook hook);

private:
    struct State;
    void socketConnect();
    void socketRead();
    void socketDisconnect();
    void socketError(int& errorCode);
    void handleReply(int code, const std::string& line);
    void sendCommand(const std::string& command, bool secret = false);
    std::string heloDomain() const;
    void sendMailFrom();
    void sendNextRecipient();
    void giveUp(const std::string& line);
    bool checkInput();
    void finishLog();
    std::unique_ptr<State> state_;
    std::unique_ptr<TClientSocket> socket_;
    std::unique_ptr<TStringList> mailFiles_, errors_, log_;
    std::string host_ = "127.0.0.1";
    std::string user_, password_, mailFrom_, mailTo_, mailCc_, mailBcc_, mailSubject_, mailText_,
        organization_, logFile_;
    int port_ = 25;
    int timeOut_ = 60;
    bool active_ = false;
    bool showProgress_ = false;
    bool confirmReading_ = false;
};
