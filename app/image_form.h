#pragma once
// The zoom window of the exam browser: a thumbnail's full picture, stretched to 4:3 and centred
// whatever the window's size. It stays on top; closing it only hides it.

#include "platform/ui/form.h"

class TImage;
class TPicture;

class Tfd_imageform : public TForm {
    LUMETRA_CLASS(Tfd_imageform, TForm)
public:
    explicit Tfd_imageform(TComponent* owner);

    TImage* fd_image = nullptr;

    // Places the picture for the window's outer size.
    void FormResize(TObject* sender);
    // Replaces the picture by a copy of the given one.
    void ShowPicture(const TPicture& picture);
};
