#include "app/image_form.h"

#include "app/exam_details.h"
#include "platform/graphics/picture.h"
#include "platform/ui/extra_controls.h"

Tfd_imageform::Tfd_imageform(TComponent* owner) : TForm(owner) {
    SetName("fd_imageform");
    SetCaption("图像动态放大");
    SetColor(clBlack);
    SetFormStyle(fsStayOnTop);
    SetPosition(poDesktopCenter);
    fd_image = new TImage(this);
    fd_image->SetName("fd_image");
    fd_image->SetParent(this);
    fd_image->SetStretch(true);
    OnResize = [this](TObject* sender) { FormResize(sender); };
    SetBounds(Left(), Top(), 502, 407);
    FormResize(this);
}

void Tfd_imageform::FormResize(TObject*) {
    const TRect r = ZoomImageRect(Width(), Height());
    fd_image->SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

void Tfd_imageform::ShowPicture(const TPicture& picture) {
    fd_image->Picture().Clear();
    fd_image->Picture().Assign(picture);
}
