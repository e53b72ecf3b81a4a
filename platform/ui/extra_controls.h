#pragma once
// Pictures, progress bars, date-time pickers and up-down spinners.

#include <functional>
#include <memory>
#include <string>

#include "platform/core/date_time.h"
#include "platform/graphics/picture.h"
#include "platform/ui/control.h"
#include "platform/ui/custom_control.h"
#include "platform/ui/tick_source.h"

class TImage : public TGraphicControl {
    LUMETRA_CLASS(TImage, TGraphicControl)
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;
    static void RegisterProperties(TClassBuilder<TImage>& b);
    // The picture shown; changing it repaints.
    TPicture& Picture() { return picture_; }
    // Scaled to the control whatever its proportions.
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);
    // With Stretch: scaled keeping its proportions.
    bool Proportional() const { return proportional_; }
    void SetProportional(bool value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    // Where the picture is drawn in the control.
    TRect DestRect() const;

private:
    void PictureChanged();
    TPicture picture_;
    bool stretch_ = false;
    bool center_ = false;
    bool proportional_ = false;
    bool transparent_ = false;
    struct Cache;
    std::unique_ptr<Cache> cache_;
};

class TProgressBar : public TWinControl {
    LUMETRA_CLASS(TProgressBar, TWinControl)
public:
    explicit TProgressBar(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TProgressBar>& b);
    int Min() const { return min_; }
    void SetMin(int value);
    int Max() const { return max_; }
    void SetMax(int value);
    int Position() const { return position_; }
    // Clamped to Min..Max.
    void SetPosition(int value);
    int Step() const { return step_; }
    void SetStep(int value) { step_ = value; }
    void StepIt() { SetPosition(position_ + step_); }
    void StepBy(int delta) { SetPosition(position_ + delta); }

private:
    void Apply();
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int step_ = 10;
};

enum TDateTimeKind : std::uint8_t { dtkDate, dtkTime };
enum TDTDateFormat : std::uint8_t { dfShort, dfLong };

class TDateTimePicker : public TWinControl {
    LUMETRA_CLASS(TDateTimePicker, TWinControl)
public:
    explicit TDateTimePicker(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TDateTimePicker>& b);
    TDateTime DateTime() const;
    // Setting the value does not fire OnChange (the user's changes do).
    void SetDateTime(TDateTime value);
    // The date part only / the time part only.
    TDateTime Date() const;
    void SetDate(TDateTime value);
    TDateTime Time() const;
    void SetTime(TDateTime value);
    TDateTimeKind Kind() const { return kind_; }
    void SetKind(TDateTimeKind value);
    TDTDateFormat DateFormat() const { return dateFormat_; }
    void SetDateFormat(TDTDateFormat value);
    TNotifyEvent OnChange;
    virtual void Change();

protected:
    TColor DefaultColor() const override { return clWindow; }

private:
    void ApplyFormat();
    TDateTimeKind kind_ = dtkDate;
    TDTDateFormat dateFormat_ = dfShort;
};

enum TUDAlignButton : std::uint8_t { udLeft, udRight };
enum TUDOrientation : std::uint8_t { udHorizontal, udVertical };
enum TUDBtnType : std::uint8_t { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* sender, TUDBtnType button)>;
using TUDChangingEvent = std::function<void(TObject* sender, bool& allowChange)>;

// Two arrow buttons that step Position by Increment between Min and Max. With an associated
// edit it sits against the edit's side (taking its width from the edit), shows Position in it,
// reads what the user typed there before each step, and, with ArrowKeys, steps on the edit's
// Up and Down keys. Held down, a button repeats.
class TUpDown : public TCustomControl {
    LUMETRA_CLASS(TUpDown, TCustomControl)
public:
    explicit TUpDown(TComponent* owner);
    ~TUpDown() override;
    static void RegisterProperties(TClassBuilder<TUpDown>& b);

    TWinControl* Associate() const { return associate_; }
    void SetAssociate(TWinControl* edit);
    int Min() const { return min_; }
    void SetMin(int value);
    int Max() const { return max_; }
    void SetMax(int value);
    int Increment() const { return increment_; }
    void SetIncrement(int value) { increment_ = value; }
    // Clamped to Min..Max; shown in the associate.
    int Position() const { return position_; }
    void SetPosition(int value);
    // Past one end continues at the other.
    bool Wrap() const { return wrap_; }
    void SetWrap(bool value) { wrap_ = value; }
    bool ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(bool value) { arrowKeys_ = value; }
    // Thousands separated by "," in the associate.
    bool Thousands() const { return thousands_; }
    void SetThousands(bool value);
    TUDAlignButton AlignButton() const { return alignButton_; }
    void SetAlignButton(TUDAlignButton value);
    TUDOrientation Orientation() const { return orientation_; }
    void SetOrientation(TUDOrientation value);

    // One step as a click on that button does: OnChanging may refuse it, OnClick follows.
    void Step(TUDBtnType button);

    TUDClickEvent OnClick;
    TUDChangingEvent OnChanging;

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void Notification(TComponent* component, TOperation operation) override;

protected:
    void Paint() override;

private:
    TUDBtnType ButtonAt(int x, int y) const;
    void ReadAssociate();
    void ShowInAssociate();
    void PlaceBesideAssociate();
    void StopRepeat();

    TWinControl* associate_ = nullptr;
    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
    int position_ = 0;
    bool wrap_ = false;
    bool arrowKeys_ = true;
    bool thousands_ = true;
    TUDAlignButton alignButton_ = udRight;
    TUDOrientation orientation_ = udVertical;
    int pressed_ = -1; // the button held down (a TUDBtnType), -1 none
    TTickTimer repeat_;
    struct KeyFilter;
    KeyFilter* keyFilter_ = nullptr;
};

// Integers as the up-down shows them: "-1,234,567" with thousands, else "-1234567".
std::string FormatUpDownValue(int value, bool thousands);
// Reads what FormatUpDownValue writes (separators anywhere ignored, blanks trimmed); false for
// anything else or out of the integer range.
bool ParseUpDownValue(const std::string& text, int& value);
