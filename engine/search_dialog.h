#pragma once
// The preview's find dialog: the text to find, case sensitivity and whether to search from the
// first page. It offers the text last confirmed in it, selected, so a new search replaces it by
// typing.

#include <string>

#include "platform/ui/form.h"

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class TLabel;
class TPanel;

class TpgwSearchDialog : public TForm {
    LUMETRA_CLASS(TpgwSearchDialog, TForm)
public:
    explicit TpgwSearchDialog(TComponent* owner);
    ~TpgwSearchDialog() override;

    TLabel* TextL = nullptr;
    TEdit* TextE = nullptr;
    TGroupBox* SearchL = nullptr;
    TCheckBox* CaseCB = nullptr;
    TCheckBox* TopCB = nullptr;
    // Replacing is never offered: the panel stays hidden.
    TPanel* ReplacePanel = nullptr;
    TLabel* ReplaceL = nullptr;
    TEdit* ReplaceE = nullptr;
    TButton* OkB = nullptr;
    TButton* CancelB = nullptr;

private:
    void formShow();
    void formActivate();
    void formHide();
};

// The text last confirmed in the find dialog, for the whole process.
std::string& LastSearchText();
