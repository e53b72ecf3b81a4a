#include "platform/data/data_source.h"

#include <algorithm>

#include "platform/core/properties.h"

void TDataSource::RegisterProperties(TClassBuilder<TDataSource>& b) {
    b.Add("DataSet", &TDataSource::DataSet, &TDataSource::SetDataSet);
    b.Add("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled).Default(1);
}

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
    Detach();
}

void TDataSource::Detach() {
    if (!dataSet_) return;
    dataSet_->RemoveDataLink(linkId_);
    dataSet_->RemoveFreeNotification(this);
    dataSet_ = nullptr;
    linkId_ = 0;
}

void TDataSource::SetDataSet(TDataSet* value) {
    if (value == dataSet_) return;
    bool wasActive = State() != TDataSetState::dsInactive;
    Detach();
    dataSet_ = value;
    if (dataSet_) {
        dataSet_->FreeNotification(this);
        linkId_ = dataSet_->AddDataLink([this](TDataSet&, TDataEvent e) { HandleEvent(e); });
    }
    if (wasActive != (State() != TDataSetState::dsInactive) && OnStateChange) OnStateChange(this);
    Tell(TDataEvent::deDataSetChanged);
}

int TDataSource::AddDataLink(std::function<void(TDataEvent)> handler) {
    return links_.Add(std::move(handler));
}

void TDataSource::RemoveDataLink(int id) { links_.Remove(id); }

void TDataSource::Tell(TDataEvent event) { links_.Notify(event); }

void TDataSource::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (dataSet_ && dataSet_->Active() && OnStateChange) OnStateChange(this);
}

TDataSetState TDataSource::State() const {
    return dataSet_ && enabled_ ? dataSet_->State() : TDataSetState::dsInactive;
}

void TDataSource::HandleEvent(TDataEvent event) {
    if (!enabled_) return;
    Tell(event);
    switch (event) {
    case TDataEvent::deOpened:
    case TDataEvent::deClosed:
        if (OnStateChange) OnStateChange(this);
        if (event == TDataEvent::deOpened && OnDataChange) OnDataChange(this, nullptr);
        break;
    case TDataEvent::deScrolled:
    case TDataEvent::deDataSetChanged:
        if (OnDataChange) OnDataChange(this, nullptr);
        break;
    case TDataEvent::deClosing:
        break;
    }
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == dataSet_) {
        dataSet_ = nullptr; // its links die with it
        linkId_ = 0;
        Tell(TDataEvent::deDataSetChanged);
    }
    TComponent::Notification(component, operation);
}
