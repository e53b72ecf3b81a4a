// The main window's opened exam: the details text, the exam's image folder, the thumbnail
// strip and the video list, the zoom window and the view switch.

#include <algorithm>

#include "app/dm_unit.h"
#include "app/exam_details.h"
#include "app/image_form.h"
#include "app/main_form.h"
#include "app/main_unit.h"
#include "engine/page_output.h"
#include "platform/core/files.h"
#include "platform/data/ado.h"
#include "platform/data/field.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/containers.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"

namespace {

constexpr int kThumbWidth = 106, kThumbHeight = 80, kThumbGap = 2;

// What an unreadable thumbnail shows: a grey frame with its diagonals.
void placeholder(TPicture& picture) {
    TBitmap& b = picture.Bitmap();
    b.SetSize(kThumbWidth, kThumbHeight);
    TCanvas& c = b.Canvas();
    c.Brush().SetColor(clSilver);
    c.FillRect({0, 0, kThumbWidth, kThumbHeight});
    c.Pen().SetColor(clGray);
    c.MoveTo(0, 0);
    c.LineTo(kThumbWidth, kThumbHeight);
    c.MoveTo(kThumbWidth - 1, 0);
    c.LineTo(-1, kThumbHeight);
}

} // namespace

void TMainForm::DBGridxDblClick(TObject*) {
    if (!DM || !DM->Mqry->Active()) return;
    RE->Clear();
    ShowRecord();
    Check_View_ReportClick(nullptr);
}

void TMainForm::ShowRecord() {
    std::string text;
    for (const std::string& line : ExamDetailsLines(*DM->Mqry))
        text += line + "\r\n";
    RE->SetText(text);

    const std::string imagePath = ExamFieldText("imagepath");
    if (imagePath.empty()) {
        examFolder_.clear();
    } else {
        std::string root = MainUnit().ImageRoot;
        if (!DirectoryExists(root)) {
            // Asked once for this exam; the answer serves it only.
            const std::string chosen = AskImageFolder();
            if (!chosen.empty()) root = chosen;
        }
        examFolder_ = IncludeTrailingPathDelimiter(root) + ExamFolderName(imagePath);
    }
    ShowThumbnails(examFolder_);
    const TField* id = DM->Mqry->FindField("id");
    ShowExamReport(id ? id->Value() : Variant());
}

std::string TMainForm::AskImageFolder() {
    const std::string chosen =
        BrowseFolder("请选择离线图像文件夹[病人图像]路径", ExeParentFolder(exeFolder_));
    if (chosen.empty()) MessageBox(this, "你没有选取任何目录！", "WARNING", MB_OK);
    return chosen;
}

void TMainForm::ShowThumbnails(const std::string& folder) {
    const bool exists = !folder.empty() && DirectoryExists(folder);
    if (exists) {
        // The video list keeps the last folder that existed.
        FilmLIst->Items().Clear();
        for (const std::string& name : FindFiles(folder, "*.avi"))
            FilmLIst->Items().Add(name);
        videoFolder_ = folder;
    }
    for (TImage* image : thumbnails_)
        delete image;
    thumbnails_.clear();
    if (!exists) return;
    const std::vector<std::string> files = ThumbnailFiles(folder);
    for (std::size_t i = 0; i < files.size(); ++i) {
        auto* image = new TImage(this);
        image->SetParent(BottomBar);
        image->SetBounds(kThumbGap + static_cast<int>(i) * (kThumbWidth + kThumbGap), 0,
                         kThumbWidth, kThumbHeight);
        image->SetPopupMenu(delimgpop);
        image->SetStretch(true);
        image->SetTag(static_cast<int>(i));
        image->OnDblClick = [this](TObject* sender) { ThumbnailDblClick(sender); };
        try {
            image->Picture().LoadFromFile(folder + "/" + files[i]);
        } catch (const std::exception&) {
            // One unreadable picture does not end the opening of the exam.
            placeholder(image->Picture());
        }
        thumbnails_.push_back(image);
    }
}

void TMainForm::ThumbnailDblClick(TObject* sender) {
    auto* image = dynamic_cast<TImage*>(sender);
    if (!image) return;
    Tfd_imageform& zoom = ImageForm();
    zoom.ShowPicture(image->Picture());
    zoom.Show();
}

Tfd_imageform& TMainForm::ImageForm() {
    if (!imageForm_) imageForm_ = new Tfd_imageform(this);
    return *imageForm_;
}

void TMainForm::Play_buttonClick(TObject*) {
    const int index = FilmLIst->ItemIndex();
    if (index < 0) return;
    const std::string file = videoFolder_ + "/" + FilmLIst->Items().Strings(index);
    if (FileExists(file)) OpenLink(file);
}

void TMainForm::Check_View_ReportClick(TObject*) {
    if (Check_View_Report->Checked())
        LxPageControl1->SetActivePageIndex(0);
    else if (Check_View_All->Checked())
        LxPageControl1->SetActivePageIndex(1);
}
