// Hooks the service functions of the Read Key window to their controls.
#include "app/keyreading/read_card_services.h"

#include <QLineEdit>
#include <QPushButton>

void TReadCard_Form::wireServiceHandlers()
{
    wireSetupPanel();
    buildUpgradeGroup();
    connect(ExportToExcelButton, &QPushButton::clicked, this, [this] { Button1Click(); });
}
