#include "app/shell/shell_form.h"

#include "app/shell/window_routines.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QProgressBar>
#include <algorithm>

ShellForm::ShellForm(QWidget* parent)
    : QWidget(parent)
{
}

ShellForm::~ShellForm()
{
    if (reference_ && *reference_ == this)
        *reference_ = nullptr;
}

void ShellForm::ownDataSet(TMemoryDataSet* dataSet)
{
    if (dataSet && std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end())
        dataSets_.push_back(dataSet);
}

void ShellForm::setInstanceReference(ShellForm** reference) { reference_ = reference; }

namespace {
// Turns off every enabled control under parent but the progress bars, keeping those it
// turned off.
void disableAllButProgress(QWidget* parent, std::vector<QPointer<QWidget>>& disabled)
{
    for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QProgressBar*>(w) || !w->isEnabled())
            continue;
        if (w->findChild<QProgressBar*>()) {
            disableAllButProgress(w, disabled);
            continue;
        }
        w->setEnabled(false);
        disabled.emplace_back(w);
    }
}
} // namespace

ShellForm::KeyWriteScope::KeyWriteScope(ShellForm& form)
    : form_(form)
{
    ++form_.keyWrites_;
    disableAllButProgress(&form_, disabled_);
}

ShellForm::KeyWriteScope::~KeyWriteScope()
{
    for (const auto& w : disabled_)
        if (w)
            w->setEnabled(true);
    --form_.keyWrites_;
}

bool ShellForm::FormCloseQuery()
{
    if (writingKey())
        return false;
    for (TMemoryDataSet* ds : dataSets_)
        if (ds->State() == dsEdit || ds->State() == dsInsert)
            return MyConfirmation("Data has not been saved do you want to quit?");
    return true;
}

void ShellForm::FormClose()
{
    for (TMemoryDataSet* ds : dataSets_)
        if (ds->Active())
            ds->Close();
    if (reference_ && *reference_ == this)
        *reference_ = nullptr;
}

void ShellForm::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    emit closed();
}

namespace {
// Ends the modal loop when the window is hidden (a close that was accepted) or freed.
class ModalEnd : public QObject {
public:
    ModalEnd(QWidget* window, QEventLoop& loop)
        : loop_(loop)
    {
        window->installEventFilter(this);
        connect(window, &QObject::destroyed, this, [this] { finish(); });
    }
    bool done = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            finish();
        return false;
    }

private:
    void finish()
    {
        done = true;
        loop_.quit();
    }
    QEventLoop& loop_;
};
} // namespace

void runModalUnder(QWidget* owner, QWidget* window)
{
    window->setParent(owner, Qt::Dialog);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    ModalEnd end(window, loop);
    QPointer<QWidget> alive(window);
    window->show();
    if (!end.done)
        loop.exec(QEventLoop::DialogExec);
    if (alive) {
        alive->removeEventFilter(&end);
        alive->hide();
    }
}
