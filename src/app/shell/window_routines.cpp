#include "app/shell/window_routines.h"

#include "keyaccess/dialog_layer.h"

bool MyConfirmation(const std::string& text)
{
    return appDialogs().show(BoxType::Confirmation, text, BoxButtons::OkCancel) == BoxResult::Ok;
}

void MyError(const std::string& text) { appDialogs().error(text); }
