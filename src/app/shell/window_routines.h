#pragma once
// Routines every data window repeats: the boxes, the close rules, sorting on a title click
// and applying cached updates.
#include <string>

// Confirmation box with OK and Cancel; true when OK.
bool MyConfirmation(const std::string& text);
// Error box with OK.
void MyError(const std::string& text);
