#include "keyaccess/dialog_layer.h"

namespace {
class SilentDialogs : public DialogLayer {
public:
    BoxResult show(BoxType, const std::string&, BoxButtons buttons) override
    {
        return buttons == BoxButtons::YesNo || buttons == BoxButtons::YesNoCancel ? BoxResult::Yes : BoxResult::Ok;
    }
};

SilentDialogs silent;
DialogLayer* current = &silent;
} // namespace

DialogLayer& appDialogs() { return *current; }

void setAppDialogs(DialogLayer* layer) { current = layer ? layer : &silent; }

ScopedAppDialogs::ScopedAppDialogs(DialogLayer& layer)
    : previous_(&appDialogs())
{
    setAppDialogs(&layer);
}

ScopedAppDialogs::~ScopedAppDialogs() { setAppDialogs(previous_); }
