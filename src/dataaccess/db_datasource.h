#pragma once
// What a grid or a data-bound control binds to: a dataset pointer and the stream of
// changes (open/close, scroll, row values, row insert/delete, state) that a view model
// follows. No GUI here; the Qt model adapter observes it.
#include <functional>
#include <map>

#include "dataaccess/db_dataset.h"

class TDbDataSource {
public:
    explicit TDbDataSource(TMemoryDataSet* dataSet = nullptr);
    ~TDbDataSource();
    TDbDataSource(const TDbDataSource&) = delete;
    TDbDataSource& operator=(const TDbDataSource&) = delete;

    std::string Name;

    // Detaching (nullptr) and re-attaching is how a window keeps the grid still while a
    // query re-opens. Observers get deDataSetUnlinked.
    TMemoryDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TMemoryDataSet* ds);

    // While disabled, observers get nothing; enabling sends deDataSetUnlinked (rebuild).
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);

    // dsInactive without a dataset.
    TDataSetState State() const;

    using Observer = std::function<void(const TDataEventInfo&)>;
    int AddObserver(Observer o);
    void RemoveObserver(int id);

    // Delphi-style events: after a state change, and after a scroll or a change of values.
    std::function<void(TDbDataSource&)> OnStateChange;
    std::function<void(TDbDataSource&)> OnDataChange;

private:
    friend class TMemoryDataSet;
    void dataEvent(const TDataEventInfo& info);
    void dataSetGone();

    TMemoryDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    int nextId_ = 1;
    std::map<int, Observer> observers_;
};
