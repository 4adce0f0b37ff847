#include "app/shell/login_form.h"
TLogin_Form* Login_Form = nullptr;
