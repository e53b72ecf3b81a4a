#pragma once
// Pictures, progress bars and date-time pickers.

#include <memory>

#include "platform/core/date_time.h"
#include "platform/graphics/picture.h"
#include "platform/ui/control.h"

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
