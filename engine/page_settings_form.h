#pragma once
// The preview's page-settings dialog: paper size, orientation and margins of one page object, in
// the units the report designer was last set to. OK changes the page only when every box holds a
// usable number; choosing a paper or turning the page only fills the boxes, and the printers are
// left as they were.

#include <array>
#include <string>
#include <vector>

#include "platform/print/papers.h"
#include "platform/ui/form.h"

class TButton;
class TComboBox;
class TEdit;
class TGroupBox;
class TImage;
class TLabel;
class TRadioButton;
class TpgwReport;
class TpgwReportPage;

class TpgwPageSettingsForm : public TForm {
    LUMETRA_CLASS(TpgwPageSettingsForm, TForm)
public:
    explicit TpgwPageSettingsForm(TComponent* owner);
    ~TpgwPageSettingsForm() override;

    // Set by the caller before showing. Page is changed in place on OK; Report gives the settings
    // store the designer's units are read from (centimetres without one).
    TpgwReportPage* Page = nullptr;
    TpgwReport* Report = nullptr;

    // The caller is to give every report page the edited page's settings.
    bool ApplyToAll() const;

    // OK stays open, with the conversion error, while a box holds no number, and with a message
    // while a paper side is not above 0 or a margin is below 0; the page is not touched then.
    bool CloseQuery() override;

    // The designer's units as read on show: 1 shows inches, any other value centimetres.
    int Units() const { return units_; }

    TGroupBox* SizeL = nullptr;
    TComboBox* SizeCB = nullptr;
    TLabel* WidthL = nullptr;
    TEdit* WidthE = nullptr;
    TLabel* HeightL = nullptr;
    TEdit* HeightE = nullptr;
    TLabel* UnitL1 = nullptr;
    TLabel* UnitL2 = nullptr;
    TGroupBox* OrientationL = nullptr;
    TRadioButton* PortraitRB = nullptr;
    TRadioButton* LandscapeRB = nullptr;
    TImage* PortraitImg = nullptr;
    TImage* LandscapeImg = nullptr;
    TGroupBox* MarginsL = nullptr;
    TLabel* LeftL = nullptr;
    TEdit* MarginLeftE = nullptr;
    TLabel* TopL = nullptr;
    TEdit* MarginTopE = nullptr;
    TLabel* RightL = nullptr;
    TEdit* MarginRightE = nullptr;
    TLabel* BottomL = nullptr;
    TEdit* MarginBottomE = nullptr;
    TLabel* UnitL3 = nullptr;
    TLabel* UnitL4 = nullptr;
    TLabel* UnitL5 = nullptr;
    TLabel* UnitL6 = nullptr;
    TGroupBox* OtherL = nullptr;
    TRadioButton* ApplyToCurRB = nullptr;
    TRadioButton* ApplyToAllRB = nullptr;
    TButton* OKB = nullptr;
    TButton* CancelB = nullptr;

    // The paper code behind each entry of SizeCB; entry 0 is the user-defined size.
    const std::vector<int>& PaperCodes() const { return paperCodes_; }

private:
    // A number box remembers the millimetres it was filled with, so that a box the user leaves
    // alone gives them back exactly instead of its rounded text.
    struct NumberBox {
        TEdit* Edit = nullptr;
        std::string Shown;
        double Mm = 0;
    };
    enum BoxIndex { bxWidth, bxHeight, bxLeft, bxTop, bxRight, bxBottom, bxCount };
    struct PageValues {
        TPrinterOrientation Orientation = poPortrait;
        int PaperSize = kCustomPaperSize;
        std::array<double, bxCount> Mm{};
    };

    void buildControls();
    void readUnits();
    void formShow();
    void formHide();
    void fillPapers();
    void sizeTextChanged();
    void paperChanged();
    void orientationClicked();
    void showOrientationPicture();
    // Width and height of the chosen paper in the chosen orientation, from the paper table or the
    // printer's own paper list; false when neither knows the paper.
    bool paperDimensions(int code, double& width, double& height) const;
    int selectedPaperCode() const;
    TPrinterOrientation shownOrientation() const;
    double unitFactor() const;
    void showBox(BoxIndex box, double mm);
    // Raises EConvertError when the box holds no number.
    double readBox(BoxIndex box) const;
    // False (after telling the user) when a box is not usable.
    bool readValues(PageValues& values);

    std::array<NumberBox, bxCount> boxes_;
    std::vector<int> paperCodes_;
    PageValues accepted_;
    bool hasAccepted_ = false;
    TPrinterOrientation lastOrientation_ = poPortrait;
    int units_ = 0;
    bool updating_ = false;
};
