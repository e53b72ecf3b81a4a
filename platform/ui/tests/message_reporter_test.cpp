// Message boxes and common dialogs go through the reporter: recorded, answered, never waiting.

#include "platform/ui/dialogs.h"
#include "platform/ui/form.h"
#include "ui_test_support.h"

namespace {

class ReporterTest : public UiTest {};

TEST_F(ReporterTest, MessageBoxFlagsGiveIconButtonsAndDefault) {
    struct Case {
        unsigned flags;
        TMsgDlgType icon;
        TMsgDlgButtons buttons;
        TMsgDlgBtn def;
        int answer;
    };
    const Case cases[] = {
        {MB_OK | MB_ICONWARNING, mtWarning, BtnBit(mbOK), mbOK, IDOK},
        {MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2, mtConfirmation, mbOKCancel, mbCancel,
         IDCANCEL},
        {MB_YESNOCANCEL | MB_ICONERROR, mtError, mbYesNoCancel, mbYes, IDYES},
        {MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2, mtInformation, mbYesNo, mbNo, IDNO},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, mtCustom, mbAbortRetryIgnore, mbIgnore, IDIGNORE},
        {MB_RETRYCANCEL, mtCustom, BtnBit(mbRetry) | BtnBit(mbCancel), mbRetry, IDRETRY},
    };
    TForm owner(nullptr);
    for (const Case& c : cases) {
        reporter->Boxes.clear();
        // Unanswered boxes take their default button.
        EXPECT_EQ(MessageBox(&owner, "F:\\data\\csdata.mdb文件不存在!", "警告", c.flags), c.answer)
            << c.flags;
        ASSERT_EQ(reporter->Boxes.size(), 1u);
        const TMessageBoxRequest& box = reporter->Boxes[0];
        EXPECT_EQ(box.Text, "F:\\data\\csdata.mdb文件不存在!");
        EXPECT_EQ(box.Caption, "警告");
        EXPECT_EQ(box.Icon, c.icon) << c.flags;
        EXPECT_EQ(box.Buttons, c.buttons) << c.flags;
        EXPECT_EQ(box.DefaultButton, c.def) << c.flags;
        EXPECT_EQ(box.Owner, &owner);
        EXPECT_FALSE(box.IsErrorBox);
    }
}

TEST_F(ReporterTest, QueuedAnswersAreGivenInOrder) {
    reporter->QueueAnswer(mrNo);
    reporter->QueueAnswer(mrCancel);
    EXPECT_EQ(MessageDlg("Save changes?", mtConfirmation, mbYesNoCancel), mrNo);
    EXPECT_EQ(MessageDlg("Save changes?", mtConfirmation, mbYesNoCancel), mrCancel);
    EXPECT_EQ(MessageDlg("Save changes?", mtConfirmation, mbYesNoCancel), mrYes);
    ASSERT_EQ(reporter->Boxes.size(), 3u);
    EXPECT_EQ(reporter->Boxes[0].Caption, "Confirm");
    Application()->SetTitle("Lumetra");
    ShowMessage("你没有选取任何目录！");
    EXPECT_EQ(reporter->Boxes.back().Caption, "Lumetra");
    EXPECT_EQ(reporter->Boxes.back().Buttons, BtnBit(mbOK));
}

TEST_F(ReporterTest, ScopedReporterRestoresThePreviousOne) {
    TMessageReporter* outer = &MessageReporter();
    {
        TScopedReporter inner(std::make_unique<TRecordingReporter>());
        EXPECT_NE(&MessageReporter(), outer);
        ShowMessage("inner");
    }
    EXPECT_EQ(&MessageReporter(), outer);
    EXPECT_TRUE(reporter->Boxes.empty());
}

TEST_F(ReporterTest, FileDialogsTakeTheirAnswersAndCancelKeepsState) {
    TOpenDialog od(nullptr);
    od.SetFilter("Access (*.mdb)|*.mdb|All (*.*)|*.*");
    od.SetInitialDir("/data");
    od.SetFileName("old.mdb");
    // Unanswered: cancelled, nothing changes.
    EXPECT_FALSE(od.Execute());
    EXPECT_EQ(od.FileName(), "old.mdb");
    ASSERT_EQ(reporter->Dialogs.size(), 1u);
    EXPECT_EQ(reporter->Dialogs[0].Kind, TDialogKind::OpenFile);
    EXPECT_EQ(reporter->Dialogs[0].Filter, "Access (*.mdb)|*.mdb|All (*.*)|*.*");
    EXPECT_EQ(reporter->Dialogs[0].InitialDir, "/data");

    TRecordingReporter::DialogAnswer a;
    a.Confirmed = true;
    a.FileName = "/data/csdata.mdb";
    reporter->QueueDialogAnswer(a);
    EXPECT_TRUE(od.Execute());
    EXPECT_EQ(od.FileName(), "/data/csdata.mdb");
    ASSERT_EQ(od.Files().Count(), 1);
    EXPECT_EQ(od.Files().Strings(0), "/data/csdata.mdb");

    TSaveDialog sd(nullptr);
    sd.SetOptions(sd.Options() | (1u << ofOverwritePrompt));
    EXPECT_FALSE(sd.Execute());
    EXPECT_EQ(reporter->Dialogs.back().Kind, TDialogKind::SaveFile);
    EXPECT_TRUE(reporter->Dialogs.back().OverwritePrompt);
}

TEST_F(ReporterTest, FolderFontAndColourDialogs) {
    EXPECT_EQ(BrowseForFolder("请选择离线图像文件夹[病人图像]路径", "/opt/"), "");
    EXPECT_EQ(reporter->Dialogs.back().Kind, TDialogKind::Folder);
    EXPECT_EQ(reporter->Dialogs.back().Title, "请选择离线图像文件夹[病人图像]路径");
    EXPECT_EQ(reporter->Dialogs.back().InitialDir, "/opt/");
    TRecordingReporter::DialogAnswer folder;
    folder.Confirmed = true;
    folder.FileName = "/srv/images";
    reporter->QueueDialogAnswer(folder);
    EXPECT_EQ(BrowseForFolder("t", ""), "/srv/images");

    TFontDialog fd(nullptr);
    fd.Font()->SetName("Arial");
    TRecordingReporter::DialogAnswer font;
    font.Confirmed = true;
    font.Font.Name = "Courier New";
    font.Font.Height = -16;
    reporter->QueueDialogAnswer(font);
    EXPECT_TRUE(fd.Execute());
    EXPECT_EQ(reporter->Dialogs.back().Font.Name, "Arial");
    EXPECT_EQ(fd.Font()->Name(), "Courier New");
    EXPECT_EQ(fd.Font()->Height(), -16);

    TColorDialog cd(nullptr);
    cd.SetColor(clRed);
    EXPECT_FALSE(cd.Execute());
    EXPECT_EQ(cd.Color(), clRed);

    bool handled = false;
    TPrinterSetupDialog::SetHandler([&](TPrinterSetupDialog&) { return handled = true; });
    TPrinterSetupDialog ps(nullptr);
    EXPECT_TRUE(ps.Execute());
    EXPECT_TRUE(handled);
    TPrinterSetupDialog::SetHandler(nullptr);
}

} // namespace
