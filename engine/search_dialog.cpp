#include "engine/search_dialog.h"

#include "engine/dialog_building.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/resources.h"
#include "report/small_windows.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

} // namespace

std::string& LastSearchText() {
    static std::string last;
    return last;
}

TpgwSearchDialog::TpgwSearchDialog(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(252);
    SetClientHeight(206);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    SetCaption(text(300));

    TextL = PlaceLabel(this, this, 8, 8, text(301));
    TextE = PlaceControl<TEdit>(this, this, 8, 26, 236, 21);

    ReplacePanel = PlaceControl<TPanel>(this, this, 8, 52, 236, 44);
    ReplacePanel->SetBevelOuter(bvNone);
    ReplacePanel->SetVisible(false);
    ReplaceL = PlaceLabel(ReplacePanel, this, 0, 0, text(303));
    ReplaceE = PlaceControl<TEdit>(ReplacePanel, this, 0, 18, 236, 21);

    SearchL = PlaceControl<TGroupBox>(this, this, 8, 100, 236, 65);
    SearchL->SetCaption(text(302));
    TopCB = PlaceControl<TCheckBox>(SearchL, this, 12, 20, 212, 17);
    TopCB->SetCaption(text(304));
    CaseCB = PlaceControl<TCheckBox>(SearchL, this, 12, 40, 212, 17);
    CaseCB->SetCaption(text(305));

    OkB = PlaceControl<TButton>(this, this, 88, 174, 75, 25);
    OkB->SetCaption(text(1));
    OkB->SetModalResult(mrOk);
    OkB->SetDefault(true);
    CancelB = PlaceControl<TButton>(this, this, 169, 174, 75, 25);
    CancelB->SetCaption(text(2));
    CancelB->SetModalResult(mrCancel);
    CancelB->SetCancel(true);

    OnShow = [this](TObject*) { formShow(); };
    OnActivate = [this](TObject*) { formActivate(); };
    OnHide = [this](TObject*) { formHide(); };
    OpenHelpOnF1(*this, "TpgwSearchDialog");
}

TpgwSearchDialog::~TpgwSearchDialog() {
    OnShow = nullptr;
    OnActivate = nullptr;
    OnHide = nullptr;
}

void TpgwSearchDialog::formShow() {
    TextE->SetText(LastSearchText());
}

void TpgwSearchDialog::formActivate() {
    if (!TextE->CanFocus()) return;
    TextE->SetFocus();
    TextE->SelectAll();
}

void TpgwSearchDialog::formHide() {
    if (ModalResult() == mrOk) LastSearchText() = TextE->Text();
}
