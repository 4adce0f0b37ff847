#include "dataaccess/db_datasource.h"

#include <algorithm>

TDbDataSource::TDbDataSource(TMemoryDataSet* dataSet) { SetDataSet(dataSet); }

TDbDataSource::~TDbDataSource()
{
    observers_.clear();
    if (dataSet_) {
        auto& s = dataSet_->sources_;
        s.erase(std::remove(s.begin(), s.end(), this), s.end());
    }
}

void TDbDataSource::SetDataSet(TMemoryDataSet* ds)
{
    if (ds == dataSet_)
        return;
    if (dataSet_) {
        auto& s = dataSet_->sources_;
        s.erase(std::remove(s.begin(), s.end(), this), s.end());
    }
    dataSet_ = ds;
    if (ds)
        ds->sources_.push_back(this);
    dataEvent({deDataSetUnlinked, -1});
}

void TDbDataSource::SetEnabled(bool on)
{
    if (on == enabled_)
        return;
    enabled_ = on;
    if (on)
        dataEvent({deDataSetUnlinked, -1});
}

TDataSetState TDbDataSource::State() const { return dataSet_ ? dataSet_->State() : dsInactive; }

int TDbDataSource::AddObserver(Observer o)
{
    int id = nextId_++;
    observers_.emplace(id, std::move(o));
    return id;
}

void TDbDataSource::RemoveObserver(int id) { observers_.erase(id); }

void TDbDataSource::dataEvent(const TDataEventInfo& info)
{
    if (!enabled_)
        return;
    auto observers = observers_; // an observer may remove itself
    for (auto& [id, o] : observers)
        if (o && observers_.count(id))
            o(info);
    switch (info.Event) {
    case deActiveChanged:
    case deUpdateState:
    case deDataSetUnlinked:
        if (OnStateChange)
            OnStateChange(*this);
        break;
    default: break;
    }
    if (info.Event != deUpdateState && OnDataChange)
        OnDataChange(*this);
}

void TDbDataSource::dataSetGone()
{
    dataSet_ = nullptr;
    dataEvent({deDataSetUnlinked, -1});
}
