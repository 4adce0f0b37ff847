#pragma once
// Shared by the Read Key window's service functions (lock registration, key dump, lock list
// export, firmware key): the guard they run under and small text helpers.
#include "app/keyreading/read_card_form.h"
#include "app/shell/main_window.h"
#include "dataaccess/dataaccess.h"

#include <QString>
#include <string>

// While a service function runs, a read cannot start and the window cannot close: the
// handlers check busy_, the window's buttons and the main window's tool buttons are off.
class TReadCard_Form::ServiceBlock {
public:
    explicit ServiceBlock(TReadCard_Form& form)
        : form_(form)
    {
        ++form_.busy_;
        form_.setButtonsEnabled(false);
        if (Main_Form)
            Main_Form->setToolButtonsEnabled(false);
    }
    ~ServiceBlock()
    {
        if (Main_Form)
            Main_Form->setToolButtonsEnabled(true);
        form_.setButtonsEnabled(true);
        --form_.busy_;
    }
    ServiceBlock(const ServiceBlock&) = delete;
    ServiceBlock& operator=(const ServiceBlock&) = delete;

private:
    TReadCard_Form& form_;
};

class TGetInfor_Form;
// The key dump's notice window while it is shown.
extern TGetInfor_Form* GetInfor_Form;

namespace keyreading::services {

inline QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

inline std::string fieldText(const TDbField& f)
{
    return f.IsNull() ? std::string() : f.AsString();
}

} // namespace keyreading::services
