#pragma once
// What every data window shares: the close rules over the queries and tables it owns, the
// reference that its global instance pointer holds, and being shown as an MDI child or as a
// modal window under an owner.
#include "dataaccess/db_dataset.h"

#include <QPointer>
#include <QWidget>
#include <vector>

class ShellForm : public QWidget {
    Q_OBJECT
public:
    explicit ShellForm(QWidget* parent = nullptr);
    ~ShellForm() override;

    // The queries and tables the window owns (FormCloseQuery looks at them, FormClose
    // closes them).
    void ownDataSet(TMemoryDataSet* dataSet);
    const std::vector<TMemoryDataSet*>& dataSets() const { return dataSets_; }

    // The window's global instance pointer, cleared when the window closes or is freed.
    void setInstanceReference(ShellForm** reference);

    // A query in edit or insert state: "Data has not been saved do you want to quit?".
    virtual bool FormCloseQuery();
    // Closes every open query and table and clears the instance reference.
    virtual void FormClose();
    void sbExitClick() { close(); }

    // While a key is written the key routines let window messages through: the window's
    // controls are off (its progress bars stay on) and it refuses to close, so no click or
    // close reaches a write half done.
    class KeyWriteScope {
    public:
        explicit KeyWriteScope(ShellForm& form);
        ~KeyWriteScope();
        KeyWriteScope(const KeyWriteScope&) = delete;
        KeyWriteScope& operator=(const KeyWriteScope&) = delete;

    private:
        ShellForm& form_;
        std::vector<QPointer<QWidget>> disabled_;
    };
    bool writingKey() const { return keyWrites_ > 0; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::vector<TMemoryDataSet*> dataSets_;
    ShellForm** reference_ = nullptr;
    int keyWrites_ = 0;
};

// Runs the window as a modal window owned by owner until it is closed; the caller frees it
// afterwards. Returns at once when the window closed while it was being shown.
void runModalUnder(QWidget* owner, QWidget* window);
