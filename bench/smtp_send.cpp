// One e-mail with a 1 MB binary attachment sent to a loopback mail server that the bench
// starts itself (export/tests/testdata/smtp/mail_server.py under /usr/bin/python3, which needs
// aiosmtpd): the whole send from connect to the server's goodbye, message building and Base64
// included. Prints the median of 7 rounds.
//   bench_smtp_send [BYTES]

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "export/smtp_client.h"
#include "platform/core/files.h"
#include "platform/ui/application.h"

extern char** environ;

namespace {

const char* const kPython = "/usr/bin/python3";

std::string ReadText(const std::string& fileName) {
    std::ifstream in(fileName);
    std::string text;
    std::getline(in, text);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t bytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024 * 1024;
    Application();
    std::string folder = GetTempDir() + "/lumetra-bench-smtp-XXXXXX";
    if (!mkdtemp(folder.data())) return 1;

    std::string script =
        std::string(LUMETRA_SOURCE_DIR) + "/export/tests/testdata/smtp/mail_server.py";
    std::vector<char*> args{const_cast<char*>(kPython), script.data(), folder.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, kPython, nullptr, nullptr, args.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", kPython);
        return 1;
    }
    for (int i = 0; i < 400 && !FileExists(folder + "/port"); ++i)
        usleep(25000);
    const int port = std::atoi(ReadText(folder + "/port").c_str());
    int result = 0;
    if (port <= 0) {
        std::fprintf(stderr, "the mail server did not start (is aiosmtpd installed for %s?)\n",
                     kPython);
        result = 1;
    } else {
        std::string data(bytes, '\0');
        for (std::size_t i = 0; i < bytes; ++i)
            data[i] = static_cast<char>(i * 7 + i / 251);
        const std::string file = folder + "/attachment.pdf";
        std::ofstream(file, std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(bytes));

        std::vector<double> times;
        for (int round = 0; round < 7 && result == 0; ++round) {
            TpgwSMTPClient client(nullptr);
            client.SetPort(port);
            client.SetMailFrom("Bench <bench@example.org>");
            client.SetMailTo("to@example.org");
            client.SetMailSubject("Report");
            client.SetMailText("The report is attached.");
            client.MailFiles()->Add(file + "=report.pdf");
            const auto start = Clock::now();
            client.Open();
            times.push_back(Ms(start));
            if (client.Errors().Count() > 0) {
                std::fprintf(stderr, "send failed: %s\n", client.Errors().Text().c_str());
                result = 1;
            }
        }
        if (result == 0)
            std::printf("SMTP send with a %zu-byte attachment: %.1f ms\n", bytes, Median(times));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return result;
}
