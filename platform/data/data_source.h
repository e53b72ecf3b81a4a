#pragma once
// TDataSource: the link between a data set and the controls that show it.

#include <functional>
#include <vector>

#include "platform/core/component.h"
#include "platform/data/data_set.h"

using TDataChangeEvent = std::function<void(TObject* sender, TField* field)>;

class TDataSource : public TComponent {
    LUMETRA_CLASS(TDataSource, TComponent)
public:
    explicit TDataSource(TComponent* owner);
    ~TDataSource() override;

    static void RegisterProperties(TClassBuilder<TDataSource>& b);

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // The data set's state; inactive without a data set or when disabled.
    TDataSetState State() const;

    // The current row or the rows changed (field is null: all of them).
    TDataChangeEvent OnDataChange;
    // The data set opened or closed.
    TNotifyEvent OnStateChange;

    // Links of detail data sets and controls: they hear what the source's data set tells, and
    // deDataSetChanged when the source shows another data set. Safe to remove while told.
    int AddDataLink(std::function<void(TDataEvent)> handler);
    void RemoveDataLink(int id);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void Detach();
    void HandleEvent(TDataEvent event);

    void Tell(TDataEvent event);

    TDataSet* dataSet_ = nullptr;
    int linkId_ = 0;
    TDataLinks<TDataEvent> links_;
    bool enabled_ = true;
};
