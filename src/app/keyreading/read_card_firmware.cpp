// The "Upgrade Lock Program" group: a lock program image written onto a DS1977 key.
#include "app/keyreading/read_card_services.h"

#include <QGroupBox>

void TReadCard_Form::BitBtn8Click()
{
    if (busy_)
        return;
    UpgradeGroup->setVisible(UpgradeGroup->isHidden());
}
