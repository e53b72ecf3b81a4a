#pragma once
// Shared by the exam browser's tests: a temporary folder that plays the program's folder, a
// recording message reporter, fixed date settings, and the browser started in that folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/dm_unit.h"
#include "app/main_form.h"
#include "app/main_unit.h"
#include "app/startup.h"
#include "platform/core/format.h"
#include "platform/ui/application.h"
#include "platform/ui/message_reporter.h"

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumetra-app-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("LUMETRA_CACHE_DIR", (dir + "/cache").c_str(), 1);
        saved_ = FormatSettings();
        FormatSettings().ShortDateFormat = "yyyy-m-d";
        FormatSettings().DateSeparator = '-';
        Application()->ResetTerminated();
        auto r = std::make_unique<TRecordingReporter>();
        reporter = r.get();
        scope_ = std::make_unique<TScopedReporter>(std::move(r));
        MainUnit() = TMainUnitValues{};
    }
    void TearDown() override {
        Stop();
        Application()->ProcessMessages();
        scope_.reset();
        FormatSettings() = saved_;
        std::filesystem::remove_all(dir);
    }

    void Start() {
        Stop();
        browser = StartExamBrowser(Application(), dir);
        form = browser.MainForm;
    }
    void Stop() {
        delete browser.MainForm;
        delete browser.DataModule;
        browser = {};
        form = nullptr;
    }

    std::string IniPath() const { return dir + "/lumetra.ini"; }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void WriteAll(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string dir;
    TRecordingReporter* reporter = nullptr;
    TExamBrowser browser;
    TMainForm* form = nullptr;

private:
    TFormatSettings saved_;
    std::unique_ptr<TScopedReporter> scope_;
};
