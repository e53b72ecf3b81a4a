#pragma once
// A print server of our own for tests: cupsd on a free loopback port with its configuration,
// spool and logs in a temporary folder, and the queues a test asks for, each sending its jobs to
// a file there. Tests that use it skip with Problem() where the server cannot start.

#include <cups/cups.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/print/tests/print_test_tools.h"

extern char** environ;

namespace print_test {

// A queue of the private server; what is left out is empty.
struct SpoolerQueue {
    std::string Name;
    // The PPD file that describes the queue; empty for a raw queue. Its filters may name
    // "passthru", which hands every job to the device unchanged.
    std::string Ppd = {};
    std::string Info = {};
    std::string Location = {};
};

// The first queue is the default. While the server runs, the spooler client of the thread that
// started it talks to it; other threads and child processes find it through Server().
class PrivateSpooler {
public:
    explicit PrivateSpooler(const std::vector<SpoolerQueue>& queues) { start(queues); }
    ~PrivateSpooler() {
        if (pid_ <= 0) return;
        cupsSetServer(nullptr);
        kill(pid_, SIGTERM);
        const auto until = Clock::now() + std::chrono::seconds(3);
        while (waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (Clock::now() > until) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    PrivateSpooler(const PrivateSpooler&) = delete;
    PrivateSpooler& operator=(const PrivateSpooler&) = delete;

    bool Running() const { return pid_ > 0; }
    // Why the server is not running.
    const std::string& Problem() const { return problem_; }
    // "127.0.0.1:port", as CUPS_SERVER takes it.
    std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
    const TempDir& Dir() const { return dir_; }
    // What the device file of the queue holds: the last job sent through it.
    std::string Output(const std::string& queue) const { return readFile(deviceFile(queue)); }

    // Waits (at most 10 s) until no job is pending; false on timeout.
    bool WaitForJobs() const {
        const auto until = Clock::now() + std::chrono::seconds(10);
        for (;;) {
            cups_job_t* jobs = nullptr;
            const int active =
                cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
            cupsFreeJobs(active, jobs);
            if (active == 0) return true;
            if (Clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Ids of every job so far, oldest first.
    std::vector<int> JobIds() const {
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
        std::vector<int> ids;
        for (int i = 0; i < count; ++i)
            ids.push_back(jobs[i].id);
        cupsFreeJobs(count, jobs);
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    // A job attribute as text ("" when absent).
    std::string JobAttribute(int id, const char* name) const {
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        char uri[256];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "127.0.0.1", port_,
                         "/jobs/%d", id);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     cupsUser());
        ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
        std::string value;
        if (ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ZERO)) {
            char text[256];
            ippAttributeString(attr, text, sizeof text);
            value = text;
        }
        ippDelete(response);
        return value;
    }

private:
    using Clock = std::chrono::steady_clock;

    static std::string readFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static void writeFile(const std::string& name, const std::string& text, mode_t mode = 0644) {
        std::ofstream(name, std::ios::binary) << text;
        chmod(name.c_str(), mode);
    }

    static std::string firstExisting(std::initializer_list<const char*> paths) {
        for (const char* p : paths)
            if (access(p, X_OK) == 0) return p;
        return {};
    }

    static int freeLoopbackPort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return 0;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        int port = 0;
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
        close(fd);
        return port;
    }

    static bool accepts(int port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return false;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        close(fd);
        return ok;
    }

    std::string deviceFile(const std::string& queue) const {
        return dir_.File("out/" + queue + ".jobs");
    }

    void start(const std::vector<SpoolerQueue>& queues) {
        const std::string cupsd = firstExisting({"/usr/sbin/cupsd", "/usr/local/sbin/cupsd"});
        const std::string serverBin = firstExisting({"/usr/lib/cups", "/usr/libexec/cups"});
        if (cupsd.empty() || serverBin.empty()) {
            problem_ = "no print server (cupsd) installed";
            return;
        }
        if (dir_.Path().empty() || (port_ = freeLoopbackPort()) == 0) {
            problem_ = "no temporary folder or loopback port";
            return;
        }
        const std::string root = dir_.Path();
        // Run as root, the server hands filters to an unprivileged user: the folders must be
        // open to it.
        chmod(root.c_str(), 0755);
        for (const char* sub : {"conf", "conf/ppd", "spool", "tmp", "state", "cache", "log", "bin",
                                "bin/filter", "bin/backend", "out"})
            mkdir((root + "/" + sub).c_str(), 0755);
        chmod((root + "/tmp").c_str(), 01777);
        symlink((serverBin + "/daemon").c_str(), (root + "/bin/daemon").c_str());
        writeFile(root + "/bin/filter/passthru",
                  "#!/bin/sh\nif [ -n \"$6\" ]; then exec cat \"$6\"; else exec cat; fi\n", 0755);

        writeFile(root + "/conf/cupsd.conf",
                  "Listen 127.0.0.1:" + std::to_string(port_) +
                      "\nServerName 127.0.0.1\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                      "DefaultAuthType None\nPreserveJobHistory Yes\n"
                      "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                      "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                      "</Policy>\n");
        std::string files = "FileDevice Yes\n";
        for (const auto& [key, sub] : {std::pair{"ServerRoot", "conf"},
                                       {"RequestRoot", "spool"},
                                       {"TempDir", "tmp"},
                                       {"StateDir", "state"},
                                       {"CacheDir", "cache"},
                                       {"ServerBin", "bin"}})
            files += std::string(key) + " " + root + "/" + sub + "\n";
        files += "DataDir /usr/share/cups\nAccessLog " + root + "/log/access_log\nErrorLog " +
                 root + "/log/error_log\nPageLog " + root + "/log/page_log\n";
        writeFile(root + "/conf/cups-files.conf", files);
        std::string printers;
        for (std::size_t i = 0; i < queues.size(); ++i) {
            const SpoolerQueue& q = queues[i];
            const char* tag = i == 0 ? "DefaultPrinter" : "Printer";
            printers += "<" + std::string(tag) + " " + q.Name + ">\n";
            if (!q.Info.empty()) printers += "Info " + q.Info + "\n";
            if (!q.Location.empty()) printers += "Location " + q.Location + "\n";
            printers += "DeviceURI file://" + deviceFile(q.Name) +
                        "\nState Idle\nAccepting Yes\nShared No\n</" + tag + ">\n";
            if (!q.Ppd.empty()) writeFile(root + "/conf/ppd/" + q.Name + ".ppd", readFile(q.Ppd));
        }
        writeFile(root + "/conf/printers.conf", printers);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = root + "/log/stdout";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const std::string conf = root + "/conf/cupsd.conf";
        const std::string filesConf = root + "/conf/cups-files.conf";
        const char* argv[] = {cupsd.c_str(),     "-f",   "-c", conf.c_str(), "-s",
                              filesConf.c_str(), nullptr};
        pid_t pid = 0;
        const int rc =
            posix_spawn(&pid, cupsd.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            problem_ = "cupsd could not be started";
            return;
        }
        const auto until = Clock::now() + std::chrono::seconds(5);
        while (!accepts(port_)) {
            if (waitpid(pid, nullptr, WNOHANG) != 0 || Clock::now() > until) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                problem_ =
                    "cupsd did not come up: " + readFile(log) + readFile(root + "/log/error_log");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_ = pid;
        cupsSetServer(Server().c_str());
    }

    TempDir dir_;
    pid_t pid_ = 0;
    int port_ = 0;
    std::string problem_;
};

} // namespace print_test
