#include "platform/ui/message_reporter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <mutex>

#include "platform/ui/application.h"
#include "platform/ui/control.h"
#include "platform/ui/control_p.h"
#include "platform/ui/form.h"

TMessageReporter::~TMessageReporter() = default;

TModalResult ButtonResult(TMsgDlgBtn button) {
    switch (button) {
    case mbYes:
        return mrYes;
    case mbNo:
        return mrNo;
    case mbOK:
        return mrOk;
    case mbCancel:
        return mrCancel;
    case mbAbort:
        return mrAbort;
    case mbRetry:
        return mrRetry;
    case mbIgnore:
        return mrIgnore;
    case mbAll:
        return mrAll;
    case mbNoToAll:
        return mrNoToAll;
    case mbYesToAll:
        return mrYesToAll;
    case mbHelp:
        return mrNone;
    }
    return mrNone;
}

namespace {

// "Text files (*.txt)|*.txt|All|*" -> "Text files (*.txt) (*.txt);;All (*)"
QString ToQtFilter(const std::string& filter, int index, QString* selected) {
    QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString masks = parts[i + 1];
        masks.replace(';', ' ');
        out << parts[i] + " (" + masks + ")";
    }
    if (selected && index >= 1 && index <= out.size()) *selected = out[index - 1];
    return out.join(";;");
}

class ToolkitReporter final : public TMessageReporter {
public:
    static bool Headless() {
        Application();
        return QGuiApplication::platformName() == "offscreen" ||
               QGuiApplication::platformName() == "minimal";
    }

    TModalResult ShowMessageBox(const TMessageBoxRequest& r) override {
        if (Headless()) {
            std::fprintf(stderr, "[%s] %s\n", r.Caption.c_str(), r.Text.c_str());
            return ButtonResult(r.DefaultButton);
        }
        QMessageBox box(r.Owner && r.Owner->Widget() ? r.Owner->Widget()->window() : nullptr);
        box.setWindowTitle(QString::fromStdString(r.Caption));
        box.setText(QString::fromStdString(r.Text));
        switch (r.Icon) {
        case mtWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case mtError:
            box.setIcon(QMessageBox::Critical);
            break;
        case mtInformation:
            box.setIcon(QMessageBox::Information);
            break;
        case mtConfirmation:
            box.setIcon(QMessageBox::Question);
            break;
        case mtCustom:
            box.setIcon(QMessageBox::NoIcon);
            break;
        }
        static const char* const kCaptions[] = {"&Yes",       "&No",         "OK",      "Cancel",
                                                "&Abort",     "&Retry",      "&Ignore", "&All",
                                                "N&o to All", "Yes to &All", "&Help"};
        std::vector<std::pair<QAbstractButton*, TMsgDlgBtn>> buttons;
        for (int b = mbYes; b <= mbHelp; ++b) {
            if (!(r.Buttons & (1u << b))) continue;
            auto* button = box.addButton(QString::fromUtf8(kCaptions[b]), QMessageBox::ActionRole);
            buttons.emplace_back(button, static_cast<TMsgDlgBtn>(b));
            if (b == r.DefaultButton) box.setDefaultButton(static_cast<QPushButton*>(button));
        }
        box.exec();
        for (const auto& [button, kind] : buttons)
            if (box.clickedButton() == button) return ButtonResult(kind);
        return (r.Buttons & BtnBit(mbCancel)) ? mrCancel : ButtonResult(r.DefaultButton);
    }

    bool ExecuteDialog(TDialogRequest& r) override {
        if (Headless()) return false;
        const QString title = QString::fromStdString(r.Title);
        const QString dir =
            QString::fromStdString(r.InitialDir.empty() ? r.FileName : r.InitialDir);
        switch (r.Kind) {
        case TDialogKind::OpenFile:
        case TDialogKind::SaveFile: {
            QString selected;
            const QString filter = ToQtFilter(r.Filter, r.FilterIndex, &selected);
            QFileDialog dlg(nullptr, title, dir, filter);
            if (!selected.isEmpty()) dlg.selectNameFilter(selected);
            if (!r.FileName.empty()) dlg.selectFile(QString::fromStdString(r.FileName));
            if (r.Kind == TDialogKind::SaveFile) {
                dlg.setAcceptMode(QFileDialog::AcceptSave);
                if (!r.OverwritePrompt) dlg.setOption(QFileDialog::DontConfirmOverwrite);
                dlg.setFileMode(QFileDialog::AnyFile);
            } else {
                dlg.setFileMode(r.AllowMultiSelect ? QFileDialog::ExistingFiles
                                                   : (r.FileMustExist ? QFileDialog::ExistingFile
                                                                      : QFileDialog::AnyFile));
            }
            if (!r.DefaultExt.empty()) dlg.setDefaultSuffix(QString::fromStdString(r.DefaultExt));
            if (dlg.exec() != QDialog::Accepted) return false;
            r.Files.clear();
            for (const QString& f : dlg.selectedFiles())
                r.Files.push_back(f.toStdString());
            r.FileName = r.Files.empty() ? std::string() : r.Files.front();
            const QStringList filters = dlg.nameFilters();
            r.FilterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
            return true;
        }
        case TDialogKind::Folder: {
            const QString chosen = QFileDialog::getExistingDirectory(nullptr, title, dir);
            if (chosen.isEmpty()) return false;
            r.FileName = chosen.toStdString();
            return true;
        }
        case TDialogKind::Font: {
            bool ok = false;
            const QFont f = QFontDialog::getFont(&ok, ToQFont(r.Font), nullptr, title);
            if (!ok) return false;
            r.Font.Name = f.family().toStdString();
            r.Font.Height = -(f.pixelSize() > 0 ? f.pixelSize()
                                                : static_cast<int>(f.pointSizeF() * 96 / 72 + 0.5));
            TFontStyles s;
            if (f.bold()) s.Include(fsBold);
            if (f.italic()) s.Include(fsItalic);
            if (f.underline()) s.Include(fsUnderline);
            if (f.strikeOut()) s.Include(fsStrikeOut);
            r.Font.Style = s;
            return true;
        }
        case TDialogKind::Color: {
            const QColor c = QColorDialog::getColor(ToQColor(r.Color), nullptr, title);
            if (!c.isValid()) return false;
            r.Color = FromQColor(c);
            return true;
        }
        case TDialogKind::PrinterSetup:
            // The printer layer installs its own reporter answer; nothing to show here.
            return false;
        }
        return false;
    }
};

std::mutex gReporterLock;
std::unique_ptr<TMessageReporter> gReporter;

} // namespace

TMessageReporter& MessageReporter() {
    std::lock_guard lock(gReporterLock);
    if (!gReporter) gReporter = std::make_unique<ToolkitReporter>();
    return *gReporter;
}

std::unique_ptr<TMessageReporter> SetMessageReporter(std::unique_ptr<TMessageReporter> reporter) {
    std::lock_guard lock(gReporterLock);
    std::unique_ptr<TMessageReporter> previous = std::move(gReporter);
    gReporter = reporter ? std::move(reporter) : std::make_unique<ToolkitReporter>();
    return previous;
}

TScopedReporter::TScopedReporter(std::unique_ptr<TMessageReporter> reporter)
    : previous_(SetMessageReporter(std::move(reporter))) {}

TScopedReporter::~TScopedReporter() {
    SetMessageReporter(std::move(previous_));
}

TModalResult TRecordingReporter::ShowMessageBox(const TMessageBoxRequest& request) {
    Boxes.push_back(request);
    if (!boxAnswers_.empty()) {
        const TModalResult r = boxAnswers_.front();
        boxAnswers_.pop_front();
        return r;
    }
    return ButtonResult(request.DefaultButton);
}

bool TRecordingReporter::ExecuteDialog(TDialogRequest& request) {
    Dialogs.push_back(request);
    if (dialogAnswers_.empty()) return false;
    DialogAnswer a = std::move(dialogAnswers_.front());
    dialogAnswers_.pop_front();
    if (!a.Confirmed) return false;
    request.FileName = a.FileName;
    request.Files =
        a.Files.empty() && !a.FileName.empty() ? std::vector<std::string>{a.FileName} : a.Files;
    request.Font = a.Font;
    request.Color = a.Color;
    return true;
}

// ---- the class library's box functions
// -----------------------------------------------------------

namespace {

TMsgDlgBtn FirstButton(TMsgDlgButtons buttons) {
    for (int b = mbYes; b <= mbHelp; ++b)
        if (buttons & (1u << b)) return static_cast<TMsgDlgBtn>(b);
    return mbOK;
}

std::string TypeCaption(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return "Warning";
    case mtError:
        return "Error";
    case mtInformation:
        return "Information";
    case mtConfirmation:
        return "Confirm";
    case mtCustom:
        return "";
    }
    return "";
}

} // namespace

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    TMessageBoxRequest r;
    r.Text = text;
    r.Caption = type == mtCustom ? Application()->Title() : TypeCaption(type);
    r.Icon = type;
    r.Buttons = buttons ? buttons : BtnBit(mbOK);
    // Like the class library: OK, else Yes, is the default button.
    r.DefaultButton = (r.Buttons & BtnBit(mbOK))    ? mbOK
                      : (r.Buttons & BtnBit(mbYes)) ? mbYes
                                                    : FirstButton(r.Buttons);
    r.Owner = Screen().ActiveForm();
    return MessageReporter().ShowMessageBox(r);
}

void ShowMessage(const std::string& text) {
    TMessageBoxRequest r;
    r.Text = text;
    r.Caption = Application()->Title();
    r.Icon = mtCustom;
    r.Owner = Screen().ActiveForm();
    MessageReporter().ShowMessageBox(r);
}

int MessageBox(TControl* owner, const std::string& text, const std::string& caption,
               unsigned flags) {
    TMessageBoxRequest r;
    r.Text = text;
    r.Caption = caption;
    r.Owner = owner;
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        r.Icon = mtError;
        break;
    case MB_ICONQUESTION:
        r.Icon = mtConfirmation;
        break;
    case MB_ICONWARNING:
        r.Icon = mtWarning;
        break;
    case MB_ICONINFORMATION:
        r.Icon = mtInformation;
        break;
    default:
        r.Icon = mtCustom;
        break;
    }
    std::vector<TMsgDlgBtn> order;
    switch (flags & 0x0F) {
    case MB_OKCANCEL:
        order = {mbOK, mbCancel};
        break;
    case MB_ABORTRETRYIGNORE:
        order = {mbAbort, mbRetry, mbIgnore};
        break;
    case MB_YESNOCANCEL:
        order = {mbYes, mbNo, mbCancel};
        break;
    case MB_YESNO:
        order = {mbYes, mbNo};
        break;
    case MB_RETRYCANCEL:
        order = {mbRetry, mbCancel};
        break;
    default:
        order = {mbOK};
        break;
    }
    r.Buttons = 0;
    for (TMsgDlgBtn b : order)
        r.Buttons |= BtnBit(b);
    std::size_t def = (flags & MB_DEFBUTTON3) ? 2 : (flags & MB_DEFBUTTON2) ? 1 : 0;
    r.DefaultButton = order[std::min(def, order.size() - 1)];
    // Modal results and the window manager's ID* values are the same numbers.
    return MessageReporter().ShowMessageBox(r);
}
