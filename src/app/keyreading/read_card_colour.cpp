// The lock status grids of the Lock Status Setting tab (DBGrid7 the lock's schedule, DBGrid6
// the database's) mark the weekdays of each entry: red where it applies, lime where not.
#include "app/keyreading/read_card_form.h"

namespace {
const char* const kWeekdays[7]
    = { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" };
}

void TReadCard_Form::lockStatusCellColour(
    const TMemoryDataSet& ds, int row, const TDbField& field, CellColours& c)
{
    // Begin time and status keep the grid's own colours.
    for (const char* day : kWeekdays)
        if (field.FieldName() == day) {
            const DbVariant v = ds.CellValue(row, field.Index());
            const bool applies = !v.isNull() && v.toBool();
            c.foreground = applies ? QColor(0xFF, 0x00, 0x00) : QColor(0x00, 0xFF, 0x00);
            return;
        }
}
