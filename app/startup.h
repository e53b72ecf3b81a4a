#pragma once
// Start-up of the exam browser: the main window, then the data module (which reads the
// database path the main window has just read from the settings file).

#include <string>

class TApplication;
class TMainForm;
class TDM;

struct TExamBrowser {
    TMainForm* MainForm = nullptr;
    TDM* DataModule = nullptr;
};

// Titles the application, creates the main window (it becomes the main form) with its settings
// file in exeFolder, then the data module, and binds the exam list to the exam query. Both are
// owned by app. Errors of the creation handlers go to the application's error box.
TExamBrowser StartExamBrowser(TApplication* app, const std::string& exeFolder);

// With LUMETRA_TEST_GRID_DUMP set to a file name, once the window is shown: presses the query
// button, writes the exam list to that file (a line of column titles, then one line per row,
// cells separated by tabs), saves the window as a PNG when LUMETRA_TEST_SCREENSHOT names one;
// with LUMETRA_TEST_EXAM (a patient's name) and LUMETRA_TEST_OUT (a folder) also opens that
// exam, prints its report and exports it through each item of the export menu, dialogs answered
// as a user would; then closes the window. End-to-end tests drive the real program this way.
void InstallTestHook(TMainForm* form);
