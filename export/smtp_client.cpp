#include "export/smtp_client.h"

#include <cctype>
#include <chrono>
#include <exception>

#include "export/md5.h"
#include "export/net_utils.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/client_socket.h"
#include "report/resources.h"
#include "report/small_windows.h"

namespace {

// Where the dialogue stands: the command whose reply comes next.
enum class Step {
    Greeting,
    Ehlo,
    Helo,
    AuthLogin,
    AuthUser,
    AuthPassword,
    MailFrom,
    Recipient,
    Data,
    Message,
    Quit,
    Done
};

constexpr std::string_view kCrLf = "\r\n";
constexpr int kUtf8CodePage = 65001;

TpgwMailStampHook& StampHook() {
    static TpgwMailStampHook hook;
    return hook;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Lines split at CR LF, CR or LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string Digits(int value, int width) {
    std::string s = std::to_string(value);
    return std::string(s.size() < static_cast<std::size_t>(width) ? width - s.size() : 0, '0') + s;
}

std::string CompactTime(TDateTime t) {
    int y, mo, d, h, mi, s, ms;
    DecodeDate(t, y, mo, d);
    DecodeTime(t, h, mi, s, ms);
    return Digits(y, 4) + Digits(mo, 2) + Digits(d, 2) + Digits(h, 2) + Digits(mi, 2) +
           Digits(s, 2);
}

// The file and the name it has in the mail of one attachment entry.
struct Attachment {
    std::string file;
    std::string name;
};

Attachment ParseAttachment(const std::string& entry) {
    const std::size_t eq = entry.find('=');
    if (eq != std::string::npos) return {entry.substr(0, eq), entry.substr(eq + 1)};
    return {entry, ExtractFileName(entry)};
}

void AppendBase64Lines(std::string& out, std::string_view bytes) {
    // 57 bytes make one 76-character line; the last piece is shorter, empty when the size is
    // a multiple of 57, so that every file ends with a line shorter than a full one.
    std::size_t pos = 0;
    for (;;) {
        const std::size_t n = std::min<std::size_t>(57, bytes.size() - pos);
        out += Base64Encode(bytes.substr(pos, n));
        out += kCrLf;
        pos += n;
        if (n < 57) break;
    }
}

} // namespace

struct TpgwSMTPClient::State {
    Step step = Step::Done;
    std::string buffer;    // received bytes not yet making a whole line
    std::string lastReply; // the last reply line
    int code = 0;
    std::vector<std::string> recipients;
    std::size_t nextRecipient = 0;
    int acceptedRecipients = 0;
    std::string message;
    bool stop = false;
    bool authenticated = false;
    TpgwProgress* progress = nullptr;
    // Cleared when the client goes, so that a send running in a pumped event sees it.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

TpgwSMTPClient::TpgwSMTPClient(TComponent* owner)
    : TComponent(owner), state_(std::make_unique<State>()),
      mailFiles_(std::make_unique<TStringList>()), errors_(std::make_unique<TStringList>()),
      log_(std::make_unique<TStringList>()) {}

TpgwSMTPClient::~TpgwSMTPClient() {
    Stop();
    *state_->alive = false;
    delete state_->progress;
}

void TpgwSMTPClient::RegisterProperties(TClassBuilder<TpgwSMTPClient>& b) {
    using C = TpgwSMTPClient;
    b.Add("Active", &C::Active, &C::SetActive).Default(0);
    b.Add("Host", TypeInfoString(), &C::Host, &C::SetHost);
    b.Add("Port", &C::Port, &C::SetPort).Default(25);
    b.Add("TimeOut", &C::TimeOut, &C::SetTimeOut).Default(60);
    b.Add("User", TypeInfoString(), &C::User, &C::SetUser);
    b.Add("Password", TypeInfoString(), &C::Password, &C::SetPassword);
    b.Add("MailFrom", TypeInfoString(), &C::MailFrom, &C::SetMailFrom);
    b.Add("MailTo", TypeInfoString(), &C::MailTo, &C::SetMailTo);
    b.Add("MailCc", TypeInfoString(), &C::MailCc, &C::SetMailCc);
    b.Add("MailBcc", TypeInfoString(), &C::MailBcc, &C::SetMailBcc);
    b.Add("MailSubject", TypeInfoString(), &C::MailSubject, &C::SetMailSubject);
    b.Add("MailText", TypeInfoString(), &C::MailText, &C::SetMailText);
    b.Add("ShowProgress", &C::ShowProgress, &C::SetShowProgress).Default(0);
    b.Add("Organization", TypeInfoString(), &C::Organization, &C::SetOrganization);
    b.Add("ConfirmReading", &C::ConfirmReading, &C::SetConfirmReading).Default(0);
}

void TpgwSMTPClient::SetActive(bool value) {
    if (value)
        Connect();
    else
        Disconnect();
}

void TpgwSMTPClient::SetMailFiles(TStrings* v) {
    if (v)
        mailFiles_->Assign(*v);
    else
        mailFiles_->Clear();
}

void TpgwSMTPClient::Disconnect() {
    if (socket_) socket_->Close();
    active_ = false;
}

void TpgwSMTPClient::Stop() {
    state_->stop = true;
    Disconnect();
}

TpgwMailStampHook TpgwSMTPClient::SetMailStampHook(TpgwMailStampHook hook) {
    TpgwMailStampHook old = std::move(StampHook());
    StampHook() = std::move(hook);
    return old;
}

// Address routines -----------------------------------------------------------------------

std::string TpgwSMTPClient::BareAddress(std::string_view text) {
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos) return {};
    std::size_t left = at;
    while (left > 0 && text[left - 1] != '<' && text[left - 1] != ' ')
        --left;
    std::size_t right = at;
    while (right < text.size() && text[right] != '>' && text[right] != ' ')
        ++right;
    return std::string(text.substr(left, right - left));
}

std::string TpgwSMTPClient::EncodeHeaderText(std::string_view text) {
    if (text.empty()) return {};
    return "=?utf-8?B?" + Base64Encode(text) + "?=";
}

std::string TpgwSMTPClient::AddressHeader(std::string_view text) {
    const std::size_t l = text.find('<');
    const std::size_t a = text.find('@');
    const std::size_t g = text.find('>');
    std::string_view name;
    std::string address;
    if (l != std::string_view::npos && a != std::string_view::npos && g != std::string_view::npos &&
        l < a && a < g) {
        name = text.substr(0, l);
        address = std::string(text.substr(l));
    } else if (a == std::string_view::npos) {
        name = text;
    } else {
        const std::size_t blank = text.substr(0, a).rfind(' ');
        if (blank != std::string_view::npos) name = text.substr(0, blank);
        const std::size_t from = blank == std::string_view::npos ? 0 : blank + 1;
        address = "<" + std::string(text.substr(from)) + ">";
    }
    return EncodeHeaderText(name) + address;
}

std::vector<std::string> TpgwSMTPClient::SplitRecipients(std::string_view text) {
    // The class library's comma text: commas and blanks separate, double quotes group.
    TStringList list;
    list.SetDelimiter(',');
    list.SetQuoteChar('"');
    list.SetDelimitedText(text);
    std::vector<std::string> items;
    for (int i = 0; i < list.Count(); ++i)
        items.push_back(list.Strings(i));
    return items;
}

// The message ------------------------------------------------------------------------------

std::string TpgwSMTPClient::BuildMessage() const {
    TpgwMailStamp stamp;
    if (StampHook()) {
        stamp = StampHook()();
    } else {
        stamp.Time = Now();
        stamp.Tick = GetTickCount();
    }
    if (stamp.Boundary.empty()) {
        std::string hash = MD5Hex(DateTimeToStr(stamp.Time)).substr(0, 14);
        for (char& c : hash)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        stamp.Boundary = "----------" + hash;
    }
    const std::string& b = stamp.Boundary;

    std::string m;
    auto line = [&m](std::string_view text) {
        m += text;
        m += kCrLf;
    };
    line("Date: " + LocalTimeToMailDate(stamp.Time));
    line("From: " + AddressHeader(mailFrom_));
    line("Reply-To: " + AddressHeader(mailFrom_));
    if (!organization_.empty()) line("Organization: " + EncodeHeaderText(organization_));
    line("X-Priority: 3 (Normal)");
    if (confirmReading_) {
        line("X-Confirm-Reading-To: " + AddressHeader(mailFrom_));
        line("Return-Receipt-To: " + AddressHeader(mailFrom_));
    }
    std::string domain;
    if (const std::size_t at = mailFrom_.find('@'); at != std::string::npos) {
        const std::size_t gt = mailFrom_.find('>', at);
        domain = mailFrom_.substr(at, gt == std::string::npos ? std::string::npos : gt - at);
    }
    line("Message-ID: <" + std::to_string(stamp.Tick) + "." + CompactTime(stamp.Time) + domain +
         ">");
    std::string to;
    const std::vector<std::string> toItems = SplitRecipients(mailTo_);
    for (std::size_t i = 0; i < toItems.size(); ++i)
        to += (i ? "," : "") + AddressHeader(toItems[i]);
    line("To: " + to);
    if (!mailCc_.empty()) {
        // Each address of its own, as in To; Bcc addresses only get their RCPT commands.
        std::string cc;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = mailCc_.find(',', start);
            std::string_view item = std::string_view(mailCc_).substr(
                start, comma == std::string::npos ? std::string::npos : comma - start);
            while (!item.empty() && item.front() == ' ')
                item.remove_prefix(1);
            while (!item.empty() && item.back() == ' ')
                item.remove_suffix(1);
            if (start > 0) cc += ",";
            cc += AddressHeader(item);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        line("CC: " + cc);
    }
    line("Subject: " + EncodeHeaderText(mailSubject_));
    line("MIME-Version: 1.0");
    line("Content-Type: multipart/mixed; boundary=\"" + b + "\"");
    line("");
    line("--" + b);
    line("Content-Type: text/plain; charset=utf-8");
    line("Content-Transfer-Encoding: 8bit");
    line("");
    // Every line that starts with "." gets another one, so none ends the data early.
    for (std::string_view bodyLine : SplitLines(mailText_)) {
        if (!bodyLine.empty() && bodyLine.front() == '.') m += '.';
        line(bodyLine);
    }
    for (int i = 0; i < mailFiles_->Count(); ++i) {
        const Attachment a = ParseAttachment(mailFiles_->Strings(i));
        if (!FileExists(a.file)) continue;
        const std::string bytes = ReadFileBytes(a.file);
        line("--" + b);
        line("Content-Type: " + MimeTypeOfFile(a.file) + "; name=\"" + a.name + "\"");
        line("Content-Transfer-Encoding: base64");
        line("Content-Disposition: attachment; filename=\"" + a.name + "\"");
        line("");
        AppendBase64Lines(m, bytes);
    }
    line("");
    line("--" + b + "--");
    line(".");
    return m;
}

// Sending ----------------------------------------------------------------------------------

bool TpgwSMTPClient::checkInput() {
    // Header lines are written from these texts as they stand: a line break would start a
    // header of the text's choosing.
    const std::pair<const char*, const std::string*> fields[] = {{"MailFrom", &mailFrom_},
                                                                 {"MailTo", &mailTo_},
                                                                 {"MailCc", &mailCc_},
                                                                 {"MailBcc", &mailBcc_}};
    for (const auto& [name, value] : fields)
        if (HasLineBreak(*value))
            errors_->Add(std::string("Line break in an address or name of ") + name + ": " +
                         std::string(SplitLines(*value).front()));
    for (int i = 0; i < mailFiles_->Count(); ++i) {
        const Attachment a = ParseAttachment(mailFiles_->Strings(i));
        if (HasLineBreak(a.name))
            errors_->Add("Line break in the name of the attachment " + a.file);
    }
    if (errors_->Count() > 0) return false;
    std::vector<std::string>& rcpt = state_->recipients;
    rcpt.clear();
    for (const std::string* list : {&mailTo_, &mailCc_, &mailBcc_})
        for (const std::string& item : SplitRecipients(*list))
            if (std::string address = BareAddress(item); !address.empty())
                rcpt.push_back(std::move(address));
    if (rcpt.empty()) {
        errors_->Add("No recipient address");
        return false;
    }
    return true;
}

void TpgwSMTPClient::finishLog() {
    log_->Add("---" + DateTimeToStr(Now()));
    for (int i = 0; i < errors_->Count(); ++i)
        log_->Add(errors_->Strings(i));
    if (!logFile_.empty()) log_->SaveToFile(logFile_, kUtf8CodePage);
}

void TpgwSMTPClient::Connect() {
    if (active_) return; // one send at a time, also from an event pumped during a send
    State& st = *state_;
    log_->Clear();
    if (!logFile_.empty() && FileExists(logFile_)) log_->LoadFromFile(logFile_);
    log_->Add(DateTimeToStr(Now()));
    errors_->Clear();
    if (!checkInput()) {
        finishLog();
        return;
    }
    active_ = true;
    st.stop = false;
    st.step = Step::Greeting;
    st.buffer.clear();
    st.lastReply.clear();
    st.code = 0;
    st.nextRecipient = 0;
    st.acceptedRecipients = 0;
    st.authenticated = false;
    st.message.clear();

    socket_ = std::make_unique<TClientSocket>();
    socket_->SetHost(host_);
    socket_->SetPort(port_);
    socket_->OnConnect = [this](TClientSocket&) { socketConnect(); };
    socket_->OnRead = [this](TClientSocket&) { socketRead(); };
    socket_->OnDisconnect = [this](TClientSocket&) { socketDisconnect(); };
    socket_->OnError = [this](TClientSocket&, int& code) { socketError(code); };

    const std::shared_ptr<bool> alive = st.alive;
    try {
        if (showProgress_) {
            st.progress = new TpgwProgress(nullptr);
            st.progress->Execute(100, GetResources().GetTextById(8924) + " " + mailTo_, true,
                                 false);
        }
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        socket_->Open();
        while (active_ && !st.stop) {
            if (st.progress)
                st.progress->Tick();
            else
                PumpMessages();
            if (!*alive) return;
            if (!active_ || st.stop) break;
            if (Clock::now() - start > std::chrono::seconds(timeOut_)) {
                errors_->Add("Timeout expired (" + std::to_string(timeOut_) + ")");
                break;
            }
            // Back at once when the server answers.
            socket_->WaitForEvent(100);
            if (!*alive) return;
        }
    } catch (...) {
        if (!*alive) throw;
        delete st.progress;
        st.progress = nullptr;
        Disconnect();
        throw;
    }
    delete st.progress;
    st.progress = nullptr;
    Disconnect();
    finishLog();
}

void TpgwSMTPClient::sendCommand(const std::string& command, bool secret) {
    log_->Add(">" + (secret ? std::string("****") : command + std::string(kCrLf)));
    socket_->SendText(command + std::string(kCrLf));
}

void TpgwSMTPClient::socketConnect() {
    // The greeting comes first: nothing is said before it.
    state_->step = Step::Greeting;
}

void TpgwSMTPClient::socketRead() {
    State& st = *state_;
    st.buffer += socket_->ReceiveText();
    std::size_t lf;
    while (active_ && (lf = st.buffer.find('\n')) != std::string::npos) {
        std::string line = st.buffer.substr(0, lf);
        st.buffer.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        st.lastReply = line;
        log_->Add("<" + line);
        int code = 0;
        try {
            code = StrToInt(line.substr(0, 3));
        } catch (const std::exception& e) {
            giveUp("");
            errors_->Add(std::string("Data receive error: ") + e.what());
            return;
        }
        // "ddd-" lines lead up to the "ddd " line that ends the reply.
        if (line.size() > 3 && line[3] == '-') continue;
        st.code = code;
        handleReply(code, line);
    }
}

void TpgwSMTPClient::giveUp(const std::string& line) {
    if (!line.empty()) errors_->Add(line);
    if (socket_->Connected()) sendCommand("QUIT");
    state_->step = Step::Done;
    active_ = false;
}

std::string TpgwSMTPClient::heloDomain() const {
    // The sender's domain alone: the text after "@" may go on with "> " and a name.
    const std::string address = BareAddress(mailFrom_);
    return address.empty() ? "localhost" : address.substr(address.find('@') + 1);
}

void TpgwSMTPClient::sendMailFrom() {
    state_->step = Step::MailFrom;
    sendCommand("MAIL FROM: <" + BareAddress(mailFrom_) + ">");
}

void TpgwSMTPClient::sendNextRecipient() {
    State& st = *state_;
    st.step = Step::Recipient;
    sendCommand("RCPT TO: <" + st.recipients[st.nextRecipient++] + ">");
}

void TpgwSMTPClient::handleReply(int code, const std::string& line) {
    State& st = *state_;
    const bool positive = code / 100 == 2;
    switch (st.step) {
    case Step::Greeting:
        if (code != 220) return giveUp(line);
        st.step = Step::Ehlo;
        return sendCommand("EHLO " + heloDomain());
    case Step::Ehlo:
        if (code == 500 || code == 502) {
            st.step = Step::Helo;
            return sendCommand("HELO " + heloDomain());
        }
        if (!positive) return giveUp(line);
        if (!user_.empty()) {
            st.step = Step::AuthLogin;
            sendCommand("AUTH LOGIN");
            return;
        }
        return sendMailFrom();
    case Step::Helo:
        // A server that knows only HELO offers no authentication; it decides on MAIL FROM.
        if (!positive) return giveUp(line);
        return sendMailFrom();
    case Step::AuthLogin:
        if (code != 334) return giveUp(line);
        st.step = Step::AuthUser;
        return sendCommand(Base64Encode(user_), true);
    case Step::AuthUser:
        if (code != 334) return giveUp(line);
        st.step = Step::AuthPassword;
        return sendCommand(Base64Encode(password_), true);
    case Step::AuthPassword:
        if (code != 235) return giveUp(line);
        st.authenticated = true;
        return sendMailFrom();
    case Step::MailFrom:
        if (!positive) return giveUp(line);
        return sendNextRecipient();
    case Step::Recipient:
        // A refused recipient is listed; the mail still goes to the others.
        if (positive)
            ++st.acceptedRecipients;
        else
            errors_->Add(line);
        if (st.nextRecipient < st.recipients.size()) return sendNextRecipient();
        if (st.acceptedRecipients == 0) return giveUp("");
        try {
            st.message = BuildMessage();
        } catch (const std::exception& e) {
            giveUp("");
            errors_->Add(std::string("Data receive error: ") + e.what());
            return;
        }
        st.step = Step::Data;
        return sendCommand("DATA");
    case Step::Data:
        if (code != 354) return giveUp(line);
        st.step = Step::Message;
        log_->Add("message(skipped)");
        socket_->SendText(st.message);
        st.message.clear();
        return;
    case Step::Message:
        if (!positive) return giveUp(line);
        st.step = Step::Quit;
        return sendCommand("QUIT");
    case Step::Quit:
        st.step = Step::Done;
        active_ = false;
        return;
    case Step::Done:
        return;
    }
}

void TpgwSMTPClient::socketDisconnect() {
    State& st = *state_;
    // After the message was taken a missing goodbye costs nothing.
    if (st.step != Step::Quit && st.step != Step::Done) {
        if (st.lastReply.empty())
            errors_->Add(SocketErrorText(10054));
        else if (st.lastReply.find("221") == std::string::npos)
            errors_->Add(st.lastReply);
    }
    st.step = Step::Done;
    active_ = false;
}

void TpgwSMTPClient::socketError(int& errorCode) {
    State& st = *state_;
    if (st.step != Step::Quit && st.step != Step::Done) {
        if (!st.lastReply.empty()) errors_->Add(st.lastReply);
        errors_->Add(SocketErrorText(errorCode));
    }
    errorCode = 0;
    st.step = Step::Done;
    active_ = false;
}
