#pragma once
// The program's message boxes: the dialog layer on QMessageBox.
#include "keyaccess/dialog_layer.h"

class QtDialogs : public DialogLayer {
public:
    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override;
};
