// The e-mail export over the prepared fixture: what it attaches for each format (recorded by an
// OnSendMail handler, so no server is needed), what it leaves in the temporary folder and in the
// attached filter, its dialog with the settings store in a folder of the test's own, and one
// mail through the SMTP client to a local server.

#include "export/mail_export.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/html_export.h"
#include "export/net_utils.h"
#include "export/pdf_export.h"
#include "export/tests/page_export_fixture.h"
#include "export/text_export.h"
#include "export/txt_export.h"
#include "platform/core/files.h"
#include "platform/core/settings_store.h"
#include "platform/core/string_list.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/graphics/font.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"

namespace {

using Step = std::function<void(TpgwMailExportDialog&)>;

// Each step runs from the dialog's own event loop after the one before; a dialog the steps
// leave open fails the test and is cancelled.
void queueSteps(std::vector<Step> steps, std::size_t i = 0) {
    Application()->QueueCall([steps = std::move(steps), i]() mutable {
        auto* d = dynamic_cast<TpgwMailExportDialog*>(ModalForm());
        if (!d) {
            if (i < steps.size()) ADD_FAILURE() << "the dialog is not shown for step " << i;
            return;
        }
        if (i >= steps.size()) {
            ADD_FAILURE() << "the dialog is still open";
            d->CancelB->Click();
            return;
        }
        steps[i](*d);
        queueSteps(std::move(steps), i + 1);
    });
}

// An environment variable pointed elsewhere while it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* before = std::getenv(name)) before_ = before;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (before_)
            ::setenv(name_, before_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> before_;
};

// One mail as the OnSendMail handler saw it; the attachments' bytes are read while they exist.
struct SentMail {
    std::string server, user, password, from, to, subject, company, text;
    int port = 0, timeout = 0;
    bool confirm = false;
    std::vector<std::string> entries;
    std::map<std::string, std::string> contents; // by the name shown in the mail
};

std::vector<std::string> lines(const TStrings& strings) {
    std::vector<std::string> out;
    for (int i = 0; i < strings.Count(); ++i)
        out.push_back(strings.Strings(i));
    return out;
}

bool isBold(TLabel* label) {
    return label->Font()->Style().Contains(fsBold);
}

// A loopback TCP socket: listening (connections are counted) or closed again (refusing).
class LoopbackPort {
public:
    explicit LoopbackPort(bool listening) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        if (listening) {
            ::listen(fd_, 4);
            ::fcntl(fd_, F_SETFL, O_NONBLOCK);
        } else {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LoopbackPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;
    int Port() const { return port_; }
    bool Connected() {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) return false;
        ::close(client);
        return true;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

class MailExport : public PreparedExportFixture {
protected:
    void SetUp() override {
        PreparedExportFixture::SetUp();
        RegisterMailExport();
        mail.SetReport(report.get());
        mail.SetShowDialog(false);
        mail.SetAddress("doctor@example.org");
        mail.SetSubject("Exam report");
        mail.SetFromMail("ward@example.org");
        mail.SetSmtpHost("127.0.0.1");
        mail.Lines()->Add("Please find the report attached.");
        mail.OnSendMail = [this](const std::string& server, int port, const std::string& user,
                                 const std::string& password, const std::string& from,
                                 const std::string& to, const std::string& subject,
                                 const std::string& company, const std::string& text,
                                 const TStrings& files, int timeout, bool confirm) {
            SentMail m{server, user, password, from,    to, subject, company,
                       text,   port, timeout,  confirm, {}, {}};
            for (int i = 0; i < files.Count(); ++i) {
                const std::string& entry = files.Strings(i);
                m.entries.push_back(entry);
                const std::size_t eq = entry.find('=');
                const std::string file = entry.substr(0, eq);
                const std::string shown =
                    eq == std::string::npos ? ExtractFileName(file) : entry.substr(eq + 1);
                m.contents[shown] = TempDir::ReadAll(file);
            }
            sent.push_back(std::move(m));
            if (throwFromHandler) throw std::runtime_error("handler failed");
            return handlerResult;
        };
    }
    void TearDown() override {
        Application()->ProcessMessages();
        PreparedExportFixture::TearDown();
    }
    // Runs the mail export as the driver does; whether the driver completed.
    bool run() { return report->ExportTo(&mail); }
    int ask(std::vector<Step> steps) {
        queueSteps(std::move(steps));
        const int result = mail.AskOptions();
        Application()->ProcessMessages();
        return result;
    }
    std::string storeValue(const std::string& section, const std::string& key) {
        TRegistryIniFile store("\\Software\\Quillmark");
        return store.ReadString(section, key, "<none>");
    }

    TempDir config, temp;
    ScopedEnv configEnv{"LUMETRA_CONFIG_DIR", config.Path()};
    ScopedEnv tempEnv{"TMPDIR", temp.Path()};
    TpgwMailExport mail{nullptr};
    std::vector<SentMail> sent;
    std::string handlerResult;
    bool throwFromHandler = false;
};

// ---- what is attached --------------------------------------------------------------------------

TEST_F(MailExport, PdfIsAttachedUnderTheReportsOrTheFiltersNameAndNothingIsLeftBehind) {
    Fixture(3);
    struct Case {
        std::string reportName, filterFile, shown;
    } cases[] = {
        {"", "", "export_fixture.pdf"},
        {"Monthly", "", "Monthly.pdf"},
        {"Monthly", "/nowhere/out\\Exam 7.pdf", "Exam 7.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        TpgwPDFExport pdf(nullptr);
        pdf.SetFileName(c.filterFile);
        pdf.SetShowDialog(true);
        pdf.SetShowProgress(false);
        report->ReportOptions()->SetName(c.reportName);
        mail.SetExportFilter(&pdf);
        mail.SetShowProgress(true);
        sent.clear();
        EXPECT_TRUE(run());
        ASSERT_EQ(sent.size(), 1u);
        ASSERT_EQ(sent[0].entries.size(), 1u);
        EXPECT_TRUE(sent[0].entries[0].ends_with("=" + c.shown)) << sent[0].entries[0];
        EXPECT_TRUE(sent[0].contents[c.shown].starts_with("%PDF")) << "the file was sent whole";
        EXPECT_EQ(sent[0].timeout, 60);
        EXPECT_EQ(sent[0].to, "doctor@example.org");
        EXPECT_EQ(sent[0].text, "Please find the report attached.\r\n");
        // The filter is as it was, not left in slave mode with a temporary name.
        EXPECT_EQ(pdf.FileName(), c.filterFile);
        EXPECT_FALSE(pdf.SlaveMode());
        EXPECT_TRUE(pdf.ShowDialog());
        EXPECT_FALSE(pdf.ShowProgress());
        EXPECT_EQ(temp.EntryCount(), 0u);
        mail.SetExportFilter(nullptr);
    }
    EXPECT_EQ(report->Errors().Count(), 0) << report->Errors().Text();
}

TEST_F(MailExport, HtmlAttachesTheDocumentWithItsPictures) {
    Fixture(2);
    TpgwHTMLExport html(nullptr);
    mail.SetExportFilter(&html);
    EXPECT_TRUE(run());
    ASSERT_EQ(sent.size(), 1u);
    const SentMail& m = sent[0];
    ASSERT_GE(m.entries.size(), 2u);
    // The report's own name (ReportOptions.Name) names the attachment.
    ASSERT_EQ(m.contents.count("Export fixture.html"), 1u);
    const std::string& document = m.contents.at("Export fixture.html");
    EXPECT_NE(document.find("<html>"), std::string::npos);
    int pictures = 0;
    for (const auto& [shown, bytes] : m.contents) {
        if (shown == "Export fixture.html") continue;
        ++pictures;
        EXPECT_FALSE(bytes.empty()) << shown;
        EXPECT_NE(document.find(shown), std::string::npos) << "the document links " << shown;
    }
    EXPECT_GE(pictures, 1);
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(MailExport, APagewrightFileIsTheSavedPreparedReportThatLoadsBack) {
    Fixture(3);
    mail.SetTimeOut(5);
    mail.SetConfurmReading(true);
    mail.Signature()->Add("--");
    mail.Signature()->Add("Ward 3");
    EXPECT_TRUE(run());
    ASSERT_EQ(sent.size(), 1u);
    const SentMail& m = sent[0];
    ASSERT_EQ(m.entries.size(), 1u);
    EXPECT_TRUE(m.entries[0].ends_with("=Export fixture.pp3")) << m.entries[0];
    EXPECT_EQ(m.timeout, 60);
    EXPECT_FALSE(m.confirm);
    EXPECT_EQ(m.text, "Please find the report attached.\r\n--\r\nWard 3\r\n");
    EXPECT_EQ(temp.EntryCount(), 0u);

    const std::string copy = config / "copy.pp3";
    TempDir::WriteAll(copy, m.contents.at("Export fixture.pp3"));
    TpgwReport loaded(nullptr);
    ASSERT_TRUE(loaded.PreviewPages()->LoadFromFile(copy, true));
    EXPECT_EQ(loaded.PreviewPages()->GetCount(), 3);
}

TEST_F(MailExport, AFileOfTheUsersIsNeitherWrittenNorDeleted) {
    // The plain text export writes to the name it is given: the mail gives it a temporary one.
    Fixture(1);
    const std::string mine = config / "keep.txt";
    TempDir::WriteAll(mine, "mine");
    TpgwSimpleTextExport text(nullptr);
    text.SetFileName(mine);
    mail.SetExportFilter(&text);
    EXPECT_TRUE(run());
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].contents.count("keep.txt"), 1u);
    EXPECT_NE(sent[0].contents.at("keep.txt"), "mine");
    EXPECT_FALSE(sent[0].contents.at("keep.txt").empty());
    EXPECT_EQ(TempDir::ReadAll(mine), "mine");
    EXPECT_EQ(text.FileName(), mine);
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(MailExport, AFailureWhileSendingStillCleansUpAndRestoresTheFilter) {
    Fixture(1);
    TpgwPDFExport pdf(nullptr);
    pdf.SetFileName("out.pdf");
    mail.SetExportFilter(&pdf);
    throwFromHandler = true;
    EXPECT_FALSE(run()) << "the driver reports the failure";
    EXPECT_NE(report->Errors().Text().find("handler failed"), std::string::npos)
        << report->Errors().Text();
    EXPECT_EQ(pdf.FileName(), "out.pdf");
    EXPECT_FALSE(pdf.SlaveMode());
    EXPECT_TRUE(pdf.ShowDialog());
    EXPECT_TRUE(pdf.ShowProgress());
    EXPECT_EQ(temp.EntryCount(), 0u);
}

// ---- sending -----------------------------------------------------------------------------------

TEST_F(MailExport, AHandlerThatSentTheMailKeepsTheClientOffline) {
    Fixture(1);
    LoopbackPort server(true);
    mail.SetSmtpPort(server.Port());
    mail.SetLogin("ward");
    mail.SetPassword("secret");
    mail.SetFromCompany("Hospital");
    mail.Lines()->Clear();
    mail.Lines()->Add(R"(one\ntwo)");
    EXPECT_TRUE(run());
    ASSERT_EQ(sent.size(), 1u);
    const SentMail& m = sent[0];
    EXPECT_EQ(m.server, "127.0.0.1");
    EXPECT_EQ(m.port, server.Port());
    EXPECT_EQ(m.user, "ward");
    EXPECT_EQ(m.password, "secret");
    EXPECT_EQ(m.from, "ward@example.org");
    EXPECT_EQ(m.subject, "Exam report");
    EXPECT_EQ(m.company, "Hospital");
    EXPECT_EQ(m.text, "one\\ntwo\r\n") << "the handler gets the text as typed";
    EXPECT_FALSE(server.Connected());
    EXPECT_EQ(report->Errors().Count(), 0) << report->Errors().Text();
}

TEST_F(MailExport, ASendingFailureGoesToTheErrorListInSilentMode) {
    Fixture(1);
    LoopbackPort closed(false);
    mail.SetSmtpPort(closed.Port());
    mail.SetTimeOut(10);
    handlerResult = "the handler could not send";
    report->EngineOptions()->SetNewSilentMode(simSilent);
    EXPECT_TRUE(run());
    ASSERT_EQ(sent.size(), 1u) << "the handler is asked first";
    EXPECT_NE(report->Errors().Text().find("10061"), std::string::npos)
        << "the client's failure replaces the handler's: " << report->Errors().Text();
    EXPECT_EQ(report->Errors().Text().find("the handler could not send"), std::string::npos);
    EXPECT_TRUE(boxes->Boxes.empty());
    EXPECT_EQ(temp.EntryCount(), 0u);
}

// A mail through the SMTP client to a local server that keeps what it receives.
TEST_F(MailExport, TheClientSendsTheTextWithLineBreaksAndTheAttachment) {
    if (std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0)
        GTEST_SKIP() << "aiosmtpd is not installed for /usr/bin/python3";
    Fixture(1);
    const std::string folder = config / "smtp";
    std::filesystem::create_directory(folder);
    const std::string script = folder + "/server.py";
    TempDir::WriteAll(script, R"(import os, socket, sys, time
from aiosmtpd.controller import Controller
folder = sys.argv[1]
class Keep:
    async def handle_DATA(self, server, session, envelope):
        head = "FROM %s\r\nRCPT %s\r\n\r\n" % (envelope.mail_from, " ".join(envelope.rcpt_tos))
        with open(os.path.join(folder, "mail.tmp"), "wb") as f:
            f.write(head.encode() + envelope.original_content)
        os.rename(os.path.join(folder, "mail.tmp"), os.path.join(folder, "mail.eml"))
        return "250 OK"
s = socket.socket(); s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]; s.close()
controller = Controller(Keep(), hostname="127.0.0.1", port=port)
controller.start()
with open(os.path.join(folder, "port.tmp"), "w") as f:
    f.write(str(port))
os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
while True:
    time.sleep(1)
)");
    const std::string command = "/usr/bin/python3 '" + script + "' '" + folder +
                                "' >/dev/null 2>&1 & echo $! > '" + (folder + "/pid") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    struct Stop {
        std::string pidFile;
        ~Stop() {
            const std::string pid = TempDir::ReadAll(pidFile);
            if (!pid.empty()) ::kill(std::stoi(pid), SIGTERM);
        }
    } stop{folder + "/pid"};
    for (int i = 0; i < 200 && !FileExists(folder + "/port"); ++i)
        ::usleep(50000);
    ASSERT_TRUE(FileExists(folder + "/port")) << "the server did not start";

    mail.OnSendMail = nullptr;
    mail.SetSmtpPort(std::stoi(TempDir::ReadAll(folder + "/port")));
    mail.SetTimeOut(20);
    mail.Lines()->Clear();
    mail.Lines()->Add(R"(Dear colleague,\nthe report follows.)");
    EXPECT_TRUE(run());
    EXPECT_EQ(report->Errors().Count(), 0) << report->Errors().Text();
    ASSERT_TRUE(FileExists(folder + "/mail.eml"));
    const std::string received = TempDir::ReadAll(folder + "/mail.eml");
    EXPECT_TRUE(received.starts_with("FROM ward@example.org\r\nRCPT doctor@example.org\r\n"))
        << received.substr(0, 200);
    EXPECT_NE(received.find("Dear colleague,\r\nthe report follows.\r\n"), std::string::npos)
        << received;
    EXPECT_NE(received.find("filename=\"Export fixture.pp3\""), std::string::npos);
    EXPECT_EQ(temp.EntryCount(), 0u);
}

// ---- the dialog --------------------------------------------------------------------------------

TEST_F(MailExport, TheFormatListHoldsTheFiltersButTextAndMailThenTheReportFile) {
    TpgwPDFExport pdf(nullptr);
    TpgwTXTExport dotMatrix(nullptr);
    TpgwHTMLExport html(nullptr);
    TpgwMailExport other(nullptr);
    mail.SetExportFilter(&html);
    mail.SetUseIniFile(false);
    EXPECT_EQ(ask({[&](TpgwMailExportDialog& d) {
                  std::vector<std::string> items;
                  for (int i = 0; i < d.ExportsCombo->Items().Count(); ++i)
                      items.push_back(d.ExportsCombo->Items().Strings(i));
                  EXPECT_EQ(items,
                            (std::vector<std::string>{pdf.FilterCaption(), html.FilterCaption(),
                                                      "Pagewright file"}));
                  EXPECT_EQ(d.ExportsCombo->ItemIndex(), 1);
                  EXPECT_EQ(d.ExportsCombo->Style(), csDropDownList);
                  EXPECT_TRUE(d.AttachGroup->Visible());
                  d.ExportsCombo->SetItemIndex(2);
                  d.OkB->Click();
              }}),
              1);
    EXPECT_EQ(mail.ExportFilter(), nullptr) << "the report file carries no filter";

    mail.SetSlaveMode(true);
    ask({[&](TpgwMailExportDialog& d) {
        EXPECT_FALSE(d.AttachGroup->Visible());
        EXPECT_EQ(d.ExportsCombo->ItemIndex(), 0) << "no filter: the first item";
        d.CancelB->Click();
    }});
}

TEST_F(MailExport, OkMarksTheMissingFieldsAndShowsTheirPage) {
    struct Case {
        std::vector<std::string> empty; // of address, subject, from, host, port
        const char* page;
    } cases[] = {
        {{"address"}, "export"},
        {{"from"}, "account"},
        {{"address", "subject", "from", "host", "port"}, "account"},
        {{"subject", "port"}, "account"},
    };
    mail.SetUseIniFile(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.empty.front() + " ... " + c.page);
        auto has = [&](const char* field) {
            return std::find(c.empty.begin(), c.empty.end(), field) != c.empty.end();
        };
        EXPECT_EQ(ask({[&](TpgwMailExportDialog& d) {
                           d.AddressE->SetText(has("address") ? "" : "a@example.org");
                           d.SubjectE->SetText(has("subject") ? "" : "Report");
                           d.FromAddrE->SetText(has("from") ? "" : "w@example.org");
                           d.HostE->SetText(has("host") ? "" : "mail.example.org");
                           d.PortE->SetText(has("port") ? "" : "25");
                           TFontStyles bold = d.FromNameLB->Font()->Style();
                           bold.Include(fsBold);
                           d.FromNameLB->Font()->SetStyle(bold);
                           d.OkB->Click();
                       },
                       [&](TpgwMailExportDialog& d) {
                           EXPECT_TRUE(d.Visible()) << "the dialog stays open";
                           EXPECT_TRUE(d.ReqLB->Visible());
                           EXPECT_EQ(isBold(d.AddressLB), has("address"));
                           EXPECT_EQ(isBold(d.SubjectLB), has("subject"));
                           EXPECT_EQ(isBold(d.FromAddrLB), has("from"));
                           EXPECT_EQ(isBold(d.HostLB), has("host"));
                           EXPECT_EQ(isBold(d.PortLB), has("port"));
                           EXPECT_FALSE(isBold(d.FromNameLB)) << "set back to normal";
                           EXPECT_EQ(d.PageControl1->ActivePage(), std::string(c.page) == "export"
                                                                       ? d.ExportSheet
                                                                       : d.AccountSheet);
                           d.AddressE->SetText("a@example.org");
                           d.SubjectE->SetText("Report");
                           d.FromAddrE->SetText("w@example.org");
                           d.HostE->SetText("mail.example.org");
                           d.PortE->SetText("2525");
                           d.OkB->Click();
                       }}),
                  1);
        EXPECT_EQ(mail.SmtpPort(), 2525);
        EXPECT_EQ(mail.SmtpHost(), "mail.example.org");
    }
}

TEST_F(MailExport, TheSignatureIsBuiltFromTheSenderFields) {
    mail.SetUseIniFile(false);
    ask({[](TpgwMailExportDialog& d) {
        d.SignatureM->Lines().Add("old");
        d.FromNameE->SetText("Dr. Wang");
        d.FromAddrE->SetText("wang@example.org");
        d.OrgE->SetText("");
        d.SignBuildBtn->Click();
        EXPECT_EQ(lines(d.SignatureM->Lines()),
                  (std::vector<std::string>{"--", "Best regards,", "  Dr. Wang",
                                            "  mailto: wang@example.org"}));
        d.OrgE->SetText("City Hospital");
        d.FromNameE->SetText("");
        d.SignBuildBtn->Click();
        EXPECT_EQ(lines(d.SignatureM->Lines()),
                  (std::vector<std::string>{"--", "Best regards,", "  mailto: wang@example.org",
                                            "  City Hospital"}));
        d.CancelB->Click();
    }});
}

TEST_F(MailExport, RememberedSettingsReadBackAndRecentEntriesStayUnique) {
    TpgwPDFExport pdf(nullptr);
    TpgwHTMLExport html(nullptr);
    auto fill = [](TpgwMailExportDialog& d) {
        d.AddressE->SetText("doctor@example.org");
        d.SubjectE->SetText("Exam 7");
        d.FromNameE->SetText("Ward 3");
        d.FromAddrE->SetText("ward@example.org");
        d.OrgE->SetText("City Hospital");
        d.SignatureM->Lines().SetText("--\nWard 3");
        d.HostE->SetText("mail.example.org");
        d.PortE->SetText("587");
        d.LoginE->SetText("ward3");
        d.PasswordE->SetText("p=ss word");
        d.TimeoutE->SetText("30");
        d.ExportsCombo->SetItemIndex(1);
        d.RememberCB->SetChecked(true);
        d.OkB->Click();
    };
    ASSERT_EQ(ask({[&](TpgwMailExportDialog& d) {
                  EXPECT_TRUE(d.RememberCB->Visible());
                  fill(d);
              }}),
              1);
    ASSERT_EQ(ask({fill}), 1) << "the same entries a second time";
    EXPECT_EQ(storeValue("EmailExport.Properties", "Login"), Base64Encode("ward3"));
    EXPECT_EQ(storeValue("EmailExport.Properties", "Password"), Base64Encode("p=ss word"));
    EXPECT_EQ(storeValue("EmailExport.Properties", "Signature"), "--\r\nWard 3");
    EXPECT_EQ(storeValue("EmailExport.Properties", "SmtpPort"), "587");
    TRegistryIniFile store("\\Software\\Quillmark");
    EXPECT_EQ(store.ReadSection("EmailExport.RecentAddresses"),
              std::vector<std::string>{"doctor@example.org"});
    EXPECT_EQ(store.ReadSection("EmailExport.RecentSubjects"), std::vector<std::string>{"Exam 7"});

    // A filter set up without any of it finds the remembered account in the dialog.
    TpgwMailExport fresh(nullptr);
    fresh.SetReport(report.get());
    queueSteps({[](TpgwMailExportDialog& d) {
        EXPECT_EQ(d.FromNameE->Text(), "Ward 3");
        EXPECT_EQ(d.FromAddrE->Text(), "ward@example.org");
        EXPECT_EQ(d.OrgE->Text(), "City Hospital");
        EXPECT_EQ(d.SignatureM->Lines().Count(), 2);
        EXPECT_EQ(d.HostE->Text(), "mail.example.org");
        EXPECT_EQ(d.PortE->Text(), "587");
        EXPECT_EQ(d.LoginE->Text(), "ward3");
        EXPECT_EQ(d.PasswordE->Text(), "p=ss word");
        EXPECT_EQ(d.TimeoutE->Text(), "30");
        EXPECT_EQ(d.ExportsCombo->ItemIndex(), 1);
        EXPECT_EQ(d.AddressE->Items().Count(), 1);
        EXPECT_EQ(d.SubjectE->Items().Count(), 1);
        d.CancelB->Click();
    }});
    EXPECT_EQ(fresh.AskOptions(), 2);
    Application()->ProcessMessages();
    EXPECT_EQ(fresh.SmtpHost(), "") << "cancel takes nothing over";
}

TEST_F(MailExport, WithoutRememberOnlyTheFormatAndRecentEntriesAreKept) {
    mail.SetSmtpHost("relay.example.org");
    ASSERT_EQ(ask({[](TpgwMailExportDialog& d) {
                  d.FromAddrE->SetText("ward@example.org");
                  d.LoginE->SetText("ward3");
                  d.OkB->Click();
              }}),
              1);
    EXPECT_EQ(storeValue("EmailExport.Properties", "Login"), "<none>");
    EXPECT_NE(storeValue("EmailExport.Properties", "LastUsedExport"), "<none>");
    // The program's own settings still show next time.
    ask({[](TpgwMailExportDialog& d) {
        EXPECT_EQ(d.HostE->Text(), "relay.example.org");
        EXPECT_EQ(d.LoginE->Text(), "ward3");
        d.CancelB->Click();
    }});
}

TEST_F(MailExport, WithoutTheStoreNothingIsReadOrWritten) {
    mail.SetUseIniFile(false);
    EXPECT_EQ(ask({[](TpgwMailExportDialog& d) {
                  EXPECT_FALSE(d.RememberCB->Visible());
                  EXPECT_EQ(d.HostE->Text(), "127.0.0.1");
                  d.FromAddrE->SetText("ward@example.org");
                  d.RememberCB->SetChecked(true);
                  d.OkB->Click();
              }}),
              1);
    EXPECT_EQ(mail.FromMail(), "ward@example.org");
    EXPECT_TRUE(std::filesystem::is_empty(config.Path()));
}

TEST_F(MailExport, ThePortAndTimeOutTakeDigitsOnly) {
    mail.SetUseIniFile(false);
    ask({[](TpgwMailExportDialog& d) {
        for (TEdit* edit : {d.PortE, d.TimeoutE}) {
            for (char16_t key : {u'7', u'\b'}) {
                char16_t k = key;
                edit->OnKeyPress(edit, k);
                EXPECT_EQ(k, key);
            }
            for (char16_t key : {u'a', u'-', u' ', u'.'}) {
                char16_t k = key;
                edit->OnKeyPress(edit, k);
                EXPECT_EQ(k, 0);
            }
        }
        d.CancelB->Click();
    }});
}

TEST_F(MailExport, TheTwoPagesGrabbed) {
    TpgwPDFExport pdf(nullptr);
    // The shots outlive the test's own temporary folder.
    ScopedEnv realTemp{"TMPDIR", "/tmp"};
    const std::string shots = "/tmp/lumetra-mail-export-dialog-";
    mail.Lines()->SetText("Dear colleague,\nthe report is attached.");
    ask({[&](TpgwMailExportDialog& d) {
             d.AddressE->SetText("");
             d.OkB->Click();
             SaveImageAsPng(d.GrabImage(), shots + "message.png");
         },
         [&](TpgwMailExportDialog& d) {
             d.PageControl1->SetActivePage(d.AccountSheet);
             d.FromNameE->SetText("Ward 3");
             d.SignBuildBtn->Click();
             SaveImageAsPng(d.GrabImage(), shots + "account.png");
             d.CancelB->Click();
         }});
    EXPECT_GT(FileSize(shots + "message.png"), 0);
    EXPECT_GT(FileSize(shots + "account.png"), 0);
}

} // namespace
