// The key dump ("Information.Txt") and the lock list export of the setup key panel.
#include "app/keyreading/read_card_services.h"

void TReadCard_Form::BitBtn6Click() { }
