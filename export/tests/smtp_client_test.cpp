#include "export/smtp_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "export/net_utils.h"
#include "platform/core/files.h"
#include "platform/core/tests/run_tool.h"
#include "platform/core/tests/scoped_env.h"
#include "platform/core/tests/temp_dir.h"

extern char** environ;

namespace {

const std::string kPython = "/usr/bin/python3";
const std::string kScripts = std::string(LUMETRA_TESTDATA_DIR) + "/smtp/";

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i)
        lines.push_back(list.Strings(i));
    return lines;
}

std::vector<std::string> FileLines(const std::string& fileName) {
    std::vector<std::string> lines;
    std::string text = TempDir::ReadAll(fileName), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string CrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    return text;
}

// A python3 server script run for a test: started with its output folder as last argument,
// ready once it has written the port there; ended (SIGTERM) when the object goes.
class ScriptServer {
public:
    ScriptServer(const std::string& script, std::vector<std::string> args, const std::string& out)
        : out_(out) {
        // A port or transcript of an earlier server in the folder is no sign of this one.
        DeleteFile(out + "/port");
        DeleteFile(out + "/transcript");
        std::vector<std::string> argv{kPython, kScripts + script};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(out);
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        if (posix_spawn(&pid_, kPython.c_str(), nullptr, nullptr, raw.data(), environ) != 0) {
            pid_ = 0;
            return;
        }
        // Start-up takes a moment; a bounded number of looks, no time is asserted.
        for (int i = 0; i < 400 && !FileExists(out + "/port"); ++i) {
            if (Exited()) return;
            usleep(25000);
        }
        port_ = std::atoi(TempDir::ReadAll(out + "/port").c_str());
    }
    ~ScriptServer() {
        if (pid_ > 0 && !Exited()) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    int Port() const { return port_; }
    // Waits (a bounded number of looks) for a one-connection server to finish.
    bool WaitForExit() {
        for (int i = 0; i < 400; ++i) {
            if (Exited()) return true;
            usleep(25000);
        }
        return false;
    }
    std::vector<std::string> Transcript() const { return FileLines(out_ + "/transcript"); }

private:
    bool Exited() {
        if (pid_ <= 0) return true;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = 0;
        return pid_ == 0;
    }
    std::string out_;
    pid_t pid_ = 0;
    int port_ = 0;
};

bool HaveAiosmtpd() {
    return std::system((kPython + " -c 'import aiosmtpd' >/dev/null 2>&1").c_str()) == 0;
}

// A loopback port that nothing listens on.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class ScopedMailStamp {
public:
    explicit ScopedMailStamp(TpgwMailStamp stamp)
        : old_(TpgwSMTPClient::SetMailStampHook([stamp] { return stamp; })) {}
    ~ScopedMailStamp() { TpgwSMTPClient::SetMailStampHook(old_); }

private:
    TpgwMailStampHook old_;
};

// Address routines ---------------------------------------------------------------------------

TEST(SmtpAddressTest, BareAddressAndAddressHeader) {
    struct Case {
        const char* text;
        const char* bare;
        const char* header;
    } const cases[] = {
        {"a@example.org", "a@example.org", "<a@example.org>"},
        {"Name <a@example.org>", "a@example.org", "=?utf-8?B?TmFtZSA=?=<a@example.org>"},
        {"<a@example.org>", "a@example.org", "<a@example.org>"},
        {"John Smith john@example.org", "john@example.org",
         "=?utf-8?B?Sm9obiBTbWl0aA==?=<john@example.org>"},
        {"Nobody", "", "=?utf-8?B?Tm9ib2R5?="},
        {"", "", ""},
        {"Jürgen <j@example.de>", "j@example.de", "=?utf-8?B?SsO8cmdlbiA=?=<j@example.de>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TpgwSMTPClient::BareAddress(c.text), c.bare) << c.text;
        EXPECT_EQ(TpgwSMTPClient::AddressHeader(c.text), c.header) << c.text;
    }
    EXPECT_EQ(TpgwSMTPClient::EncodeHeaderText(""), "");
    const std::string longText(300, 'x');
    const std::string word = TpgwSMTPClient::EncodeHeaderText(longText);
    EXPECT_EQ(word, "=?utf-8?B?" + Base64Encode(longText) + "?=") << "one word however long";
}

TEST(SmtpAddressTest, SplitRecipients) {
    using V = std::vector<std::string>;
    const std::pair<const char*, V> cases[] = {
        {"a@x.org, b@y.org", V{"a@x.org", "b@y.org"}},
        {"Bob b@y.org", V{"Bob", "b@y.org"}},
        {"\"Smith, John\" <j@x.org>", V{"Smith, John", "<j@x.org>"}},
        {"\"say \"\"hi\"\"\"", V{"say \"hi\""}},
        {"a@x.org,", V{"a@x.org", ""}},
        {"  a@x.org ,, b@y.org  ", V{"a@x.org", "", "b@y.org"}},
        {"", V{}},
    };
    for (const auto& [text, items] : cases)
        EXPECT_EQ(TpgwSMTPClient::SplitRecipients(text), items) << text;
}

// The message --------------------------------------------------------------------------------

TEST(SmtpMessageTest, GoldenMessage) {
    ScopedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    ScopedMailStamp stamp({EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0), 4000000000u,
                           "----------TESTBOUNDARY01"});
    TempDir dir;
    TempDir::WriteAll(dir / "empty.bin", "");
    std::string bytes57;
    for (int i = 0; i < 57; ++i)
        bytes57 += static_cast<char>('A' + i);
    TempDir::WriteAll(dir / "b57.bin", bytes57);

    TpgwSMTPClient client(nullptr);
    client.SetMailFrom("Jörg Muster <joerg@example.org>");
    client.SetMailTo("a@example.org, Bob b@example.net");
    client.SetMailCc("Carl <c@example.org>, d@example.org");
    client.SetMailBcc("hidden@example.org");
    client.SetMailSubject("Befund März");
    client.SetOrganization("Klinik Süd");
    client.SetConfirmReading(true);
    client.SetMailText("Hallo\r\n.\r\n.x starts with a dot\nLast line é");
    client.MailFiles()->Add(dir / "empty.bin");
    client.MailFiles()->Add(dir / "missing.pdf=gone.pdf");
    client.MailFiles()->Add(dir / "b57.bin=Fifty seven.bin");

    const std::string from = "=?utf-8?B?SsO2cmcgTXVzdGVyIA==?=<joerg@example.org>";
    const std::string b = "----------TESTBOUNDARY01";
    EXPECT_EQ(client.BuildMessage(),
              CrLf({"Date: Tue, 05 Mar 2024 13:07:09 GMT",
                    "From: " + from,
                    "Reply-To: " + from,
                    "Organization: =?utf-8?B?S2xpbmlrIFPDvGQ=?=",
                    "X-Priority: 3 (Normal)",
                    "X-Confirm-Reading-To: " + from,
                    "Return-Receipt-To: " + from,
                    "Message-ID: <4000000000.20240305140709@example.org>",
                    "To: <a@example.org>,=?utf-8?B?Qm9i?=,<b@example.net>",
                    "CC: =?utf-8?B?Q2FybCA=?=<c@example.org>,<d@example.org>",
                    "Subject: =?utf-8?B?QmVmdW5kIE3DpHJ6?=",
                    "MIME-Version: 1.0",
                    "Content-Type: multipart/mixed; boundary=\"" + b + "\"",
                    "",
                    "--" + b,
                    "Content-Type: text/plain; charset=utf-8",
                    "Content-Transfer-Encoding: 8bit",
                    "",
                    "Hallo",
                    "..",
                    "..x starts with a dot",
                    "Last line é",
                    "--" + b,
                    "Content-Type: application/octet-stream; name=\"empty.bin\"",
                    "Content-Transfer-Encoding: base64",
                    "Content-Disposition: attachment; filename=\"empty.bin\"",
                    "",
                    "",
                    "--" + b,
                    "Content-Type: application/octet-stream; name=\"Fifty seven.bin\"",
                    "Content-Transfer-Encoding: base64",
                    "Content-Disposition: attachment; filename=\"Fifty seven.bin\"",
                    "",
                    "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVpbXF1eX2BhYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5",
                    "",
                    "",
                    "--" + b + "--",
                    "."}));
}

TEST(SmtpMessageTest, MinimalMessageAndTheBoundaryMadeFromTheTime) {
    ScopedMailStamp stamp({EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0), 7, ""});
    TpgwSMTPClient client(nullptr);
    client.SetMailFrom("sender");
    client.SetMailTo("a@example.org");
    const std::string m = client.BuildMessage();
    EXPECT_NE(m.find("\r\nMessage-ID: <7.20240305140709>\r\n"), std::string::npos) << m;
    EXPECT_NE(m.find("\r\nSubject: \r\n"), std::string::npos) << "empty subject";
    EXPECT_EQ(m.find("Organization:"), std::string::npos);
    EXPECT_EQ(m.find("Return-Receipt-To:"), std::string::npos);
    EXPECT_EQ(m.find("CC:"), std::string::npos);
    std::smatch boundary;
    ASSERT_TRUE(std::regex_search(m, boundary, std::regex("boundary=\"(-{10}[0-9A-F]{14})\"")));
    EXPECT_NE(m.find("\r\n--" + boundary[1].str() + "--\r\n.\r\n"), std::string::npos);
    // Long base64 lines come in 76 characters.
    TempDir dir;
    TempDir::WriteAll(dir / "big.bin", std::string(200, '\x7f'));
    client.MailFiles()->Add(dir / "big.bin");
    const std::string withFile = client.BuildMessage();
    const std::string line76 = Base64Encode(std::string(57, '\x7f'));
    EXPECT_NE(withFile.find("\r\n\r\n" + line76 + "\r\n" + line76 + "\r\n" + line76 + "\r\n" +
                            Base64Encode(std::string(29, '\x7f')) + "\r\n\r\n--"),
              std::string::npos);
}

// Against scripted servers ---------------------------------------------------------------------

class SmtpDialogueTest : public ::testing::Test {
protected:
    // One send to a bad_server.py in the given mode.
    std::unique_ptr<TpgwSMTPClient> Send(const std::string& mode, const std::string& to,
                                         int timeOut = 20) {
        server_ = std::make_unique<ScriptServer>("bad_server.py", std::vector<std::string>{mode},
                                                 dir_.Path());
        auto client = std::make_unique<TpgwSMTPClient>(nullptr);
        client->SetPort(server_->Port());
        client->SetMailFrom("Sender <sender@example.org>");
        client->SetMailTo(to);
        client->SetMailSubject("Test");
        client->SetMailText("Body");
        client->SetTimeOut(timeOut);
        client->SetActive(true);
        EXPECT_FALSE(client->Active());
        server_->WaitForExit();
        return client;
    }
    std::vector<std::string> Transcript() const { return server_->Transcript(); }

    TempDir dir_;
    std::unique_ptr<ScriptServer> server_;
};

TEST_F(SmtpDialogueTest, EachCommandOnceAfterTheReplyToTheLast) {
    using V = std::vector<std::string>;
    const V full{"EHLO example.org",
                 "MAIL FROM: <sender@example.org>",
                 "RCPT TO: <a@example.org>",
                 "DATA",
                 ".",
                 "QUIT"};
    V helo = full;
    helo.insert(helo.begin() + 1, "HELO example.org");
    const std::pair<const char*, V> cases[] = {
        {"plain", full}, {"early", full}, {"multi", full}, {"split", full}, {"noehlo", helo},
    };
    for (const auto& [mode, transcript] : cases) {
        SCOPED_TRACE(mode);
        auto client = Send(mode, "a@example.org");
        EXPECT_EQ(Lines(client->Errors()), V{});
        EXPECT_EQ(Transcript(), transcript);
    }
}

TEST_F(SmtpDialogueTest, RefusedRecipients) {
    using V = std::vector<std::string>;
    // One of two refused: listed, and the mail goes to the other.
    auto some = Send("reject", "good@example.org, bad@example.org");
    EXPECT_EQ(Lines(some->Errors()), V{"550 5.1.1 <bad@example.org>: user unknown"});
    EXPECT_EQ(Transcript(), (V{"EHLO example.org", "MAIL FROM: <sender@example.org>",
                               "RCPT TO: <good@example.org>", "RCPT TO: <bad@example.org>", "DATA",
                               ".", "QUIT", "CLOSED"}));

    // Every recipient refused: QUIT at once, and no waiting for the server (which keeps the
    // connection open after QUIT: a client that waited would run into its time-out).
    auto all = Send("reject", "bad@example.org", 3);
    EXPECT_EQ(Lines(all->Errors()), V{"550 5.1.1 <bad@example.org>: user unknown"});
    EXPECT_EQ(Transcript(), (V{"EHLO example.org", "MAIL FROM: <sender@example.org>",
                               "RCPT TO: <bad@example.org>", "QUIT", "CLOSED"}));
}

TEST_F(SmtpDialogueTest, FailuresEndUpInTheErrorList) {
    using V = std::vector<std::string>;
    auto silent = Send("silent", "a@example.org", 2);
    EXPECT_EQ(Lines(silent->Errors()), V{"Timeout expired (2)"});
    EXPECT_EQ(Transcript(), V{"CLOSED"}) << "nothing is said before the greeting";

    auto dropped = Send("close", "a@example.org");
    EXPECT_EQ(Lines(dropped->Errors()), V{"250 mail.example.org"}) << "the last reply";

    TpgwSMTPClient refused(nullptr);
    refused.SetPort(ClosedPort());
    refused.SetMailTo("a@example.org");
    refused.Open();
    EXPECT_EQ(Lines(refused.Errors()), V{"Connection refused.(10061)"});
}

TEST_F(SmtpDialogueTest, LineBreaksInHeaderTextsAreRefusedBeforeConnecting) {
    TempDir files;
    TempDir::WriteAll(files / "a.bin", "x");
    struct Case {
        const char* what;
        std::function<void(TpgwSMTPClient&)> set;
        const char* error;
    } const cases[] = {
        {"to", [](TpgwSMTPClient& c) { c.SetMailTo("a@example.org\r\nBcc: x@example.org"); },
         "Line break in an address or name of MailTo: a@example.org"},
        {"from", [](TpgwSMTPClient& c) { c.SetMailFrom("Eve\n<e@example.org>"); },
         "Line break in an address or name of MailFrom: Eve"},
        {"cc", [](TpgwSMTPClient& c) { c.SetMailCc("c@example.org\r"); },
         "Line break in an address or name of MailCc: c@example.org"},
        {"attachment",
         [&](TpgwSMTPClient& c) { c.MailFiles()->Add(files / "a.bin=a\r\nX-Evil: 1"); }, nullptr},
        {"no address", [](TpgwSMTPClient& c) { c.SetMailTo("Just A Name"); },
         "No recipient address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A listening server would record a connection; a closed port would give 10061.
        TpgwSMTPClient client(nullptr);
        client.SetPort(ClosedPort());
        client.SetMailTo("a@example.org");
        c.set(client);
        client.Open();
        ASSERT_EQ(client.Errors().Count(), 1);
        if (c.error)
            EXPECT_EQ(client.Errors().Strings(0), c.error);
        else
            EXPECT_EQ(
                client.Errors().Strings(0).rfind("Line break in the name of the attachment ", 0),
                0u)
                << client.Errors().Strings(0);
    }
}

// Against a real server ---------------------------------------------------------------------

class SmtpServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HaveAiosmtpd()) return;
        dir_ = new TempDir;
        server_ = new ScriptServer("mail_server.py", {}, dir_->Path());
    }
    static void TearDownTestSuite() {
        delete server_;
        delete dir_;
        server_ = nullptr;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (!server_) GTEST_SKIP() << "aiosmtpd is not installed for " << kPython;
        ASSERT_GT(server_->Port(), 0) << "the mail server did not start";
    }
    // Sends and returns the number of the stored message (0: none stored).
    int Send(TpgwSMTPClient& client) {
        client.SetPort(server_->Port());
        const int before = Stored();
        client.Open();
        return Stored() > before ? before + 1 : 0;
    }
    static int Stored() {
        int n = 0;
        while (FileExists(*dir_ / (std::to_string(n + 1) + ".json")))
            ++n;
        return n;
    }
    static std::string Envelope(int n) {
        return TempDir::ReadAll(*dir_ / (std::to_string(n) + ".json"));
    }
    static std::string MessageFile(int n) { return *dir_ / (std::to_string(n) + ".eml"); }

    static TempDir* dir_;
    static ScriptServer* server_;
};

TempDir* SmtpServerTest::dir_ = nullptr;
ScriptServer* SmtpServerTest::server_ = nullptr;

TEST_F(SmtpServerTest, BinaryAttachmentArrivesAndEveryRecipientIsInTheEnvelope) {
    TempDir files;
    std::string pdf = "%PDF-1.4\n";
    for (int i = 0; i < 40; ++i)
        for (int c = 0; c < 256; ++c)
            pdf += static_cast<char>(c);
    pdf += "\r\n.\r\n..\n.\nstream\r\n%%EOF";
    TempDir::WriteAll(files / "out.tmp", pdf);

    TpgwSMTPClient client(nullptr);
    client.SetMailFrom("Jörg <joerg@example.org>");
    client.SetMailTo("to@example.org");
    client.SetMailCc("cc@example.org");
    client.SetMailBcc("bcc@example.org");
    client.SetMailSubject("Befund März");
    client.SetMailText(".hidden\r\nline\r\n.\r\nend");
    client.MailFiles()->Add(files / "out.tmp=Befund.pdf");
    client.SetShowProgress(true);
    const int n = Send(client);
    EXPECT_EQ(Lines(client.Errors()), std::vector<std::string>{});
    ASSERT_GT(n, 0);
    const std::string envelope = Envelope(n);
    EXPECT_NE(envelope.find(
                  "\"rcpt_tos\": [\"to@example.org\", \"cc@example.org\", \"bcc@example.org\"]"),
              std::string::npos)
        << envelope;
    EXPECT_NE(envelope.find("\"mail_from\": \"joerg@example.org\""), std::string::npos);

    int status = 0;
    const std::string out = RunTool(kPython + " " + kScripts + "extract_message.py " +
                                        MessageFile(n) + " " + files.Path(),
                                    &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_TRUE(TempDir::ReadAll(files / "part1") == pdf) << "the attachment changed on the way";
    EXPECT_EQ(TempDir::ReadAll(files / "names.txt"), "Befund.pdf");
    // The parser hands lines over with LF ends.
    EXPECT_EQ(TempDir::ReadAll(files / "text.txt"), ".hidden\nline\n.\nend");
    const std::string headers = TempDir::ReadAll(files / "headers.txt");
    EXPECT_NE(headers.find("Subject: Befund März\n"), std::string::npos) << headers;
    EXPECT_NE(headers.find("CC: cc@example.org\n"), std::string::npos) << headers;
    EXPECT_EQ(headers.find("bcc@example.org"), std::string::npos) << headers;
}

TEST_F(SmtpServerTest, LoginWithTheCredentialsKeptOutOfTheGrowingLog) {
    TempDir files;
    const std::string logFile = files / "smtp.log";
    for (int i = 0; i < 2; ++i) {
        TpgwSMTPClient client(nullptr);
        client.SetUser("mailer");
        client.SetPassword("s3cret");
        client.SetMailFrom("me@example.org");
        client.SetMailTo("you@example.org");
        client.SetLogFile(logFile);
        const int n = Send(client);
        EXPECT_EQ(Lines(client.Errors()), std::vector<std::string>{});
        ASSERT_GT(n, 0);
        EXPECT_NE(Envelope(n).find("\"authenticated\": true"), std::string::npos) << Envelope(n);
    }
    const std::string log = TempDir::ReadAll(logFile);
    for (const char* secret : {"s3cret", "mailer", "bWFpbGVy", "czNjcmV0"})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << " in\n" << log;
    int hidden = 0, ends = 0;
    for (const std::string& line : FileLines(logFile)) {
        hidden += line.rfind(">****", 0) == 0;
        ends += line.rfind("---", 0) == 0;
    }
    EXPECT_EQ(hidden, 4) << log;
    EXPECT_EQ(ends, 2) << "the log file keeps the first send:\n" << log;
    EXPECT_NE(log.find(">AUTH LOGIN"), std::string::npos);
    EXPECT_NE(log.find("message(skipped)"), std::string::npos);
}

} // namespace
