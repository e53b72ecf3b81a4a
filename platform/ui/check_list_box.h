#pragma once
// A list box whose items carry a check box. The user toggles an item by clicking its box or by
// Space on the current item, and that fires OnClickCheck; Checked set by code fires nothing.
// A check state belongs to an item's position: items added at the end start unchecked, and
// clearing the items clears the states.

#include <vector>

#include "platform/ui/std_controls.h"

class TCheckListBox : public TCustomListBox {
    LUMETRA_CLASS(TCheckListBox, TCustomListBox)
public:
    explicit TCheckListBox(TComponent* owner);
    ~TCheckListBox() override;
    static void RegisterProperties(TClassBuilder<TCheckListBox>& b);

    // Both raise EListError for an index outside the items.
    bool Checked(int index) const;
    void SetChecked(int index, bool value);

    TNotifyEvent OnClickCheck;

protected:
    // The user toggled an item: fires OnClickCheck.
    virtual void ClickCheck();

private:
    void ItemsChanged();
    void UserToggled(int index, bool value);
    void CheckIndex(int index) const;

    std::vector<bool> checked_;
    TNotifyEvent itemsSync_;
    bool applying_ = false;
};
