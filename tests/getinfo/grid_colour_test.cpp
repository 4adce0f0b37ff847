// The colours the Read Key grids are drawn in, taken from the drawn pixels: the selected
// audit row on silver in its event colour, and null weekdays of a schedule in lime.
#include "getinfo/getinfo_fixture.h"
#include "keyformats/audit_trail_keys.h"

#include <QImage>

using namespace rktest;
using namespace getinfotest;

namespace {

TEST_F(GetInfoWindowTest, TheSelectedAuditRowIsDrawnOnSilver)
{
    const AuditTrailChoice* choice = nullptr;
    for (const auto& c : kAuditTrailChoices)
        if (c.itemText == "2000")
            choice = &c;
    ASSERT_NE(choice, nullptr);
    auto key = ds1977(600);
    const auto writes = auditTrailKeyWrites(*choice, kSite);
    for (const auto& w : writes.at(0))
        setPage(key, w.page, w.image);
    locksim::SimLock lock(kLockA, kSite, at(2026, 12, 6, 9));
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x05, at(2026, 1, 1, 8))); // invalid: red
    lock.record(locksim::AuditEvent::withKey(kUserKey, 0x01, at(2026, 1, 1, 9))); // open: green
    visit(lock, key);
    insertKey(key);
    auto form = newForm();
    form->resize(1000, 700);
    form->show();
    read(*form);
    TDBGrid* grid = form->DBGrid16;
    ASSERT_EQ(grid->gridModel()->rowCount(), 2);
    grid->setFocus();
    grid->selectRow(1);
    QCoreApplication::processEvents();
    const int action = grid->gridModel()->columnOf("OpenLockType");
    const QImage image = grid->viewport()->grab().toImage();
    const QRect selected = grid->visualRect(grid->gridModel()->index(1, action));
    const QRect other = grid->visualRect(grid->gridModel()->index(0, action));
    EXPECT_EQ(image.pixelColor(selected.right() - 4, selected.center().y()), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_NE(image.pixelColor(other.right() - 4, other.center().y()), QColor(0xC0, 0xC0, 0xC0));
    // Its text keeps the event colour: some pixel of the cell is pure red.
    bool red = false;
    for (int x = selected.left(); x < selected.right() && !red; ++x)
        for (int y = selected.top(); y < selected.bottom() && !red; ++y)
            red = image.pixelColor(x, y) == QColor(0xFF, 0, 0);
    EXPECT_TRUE(red);
}

TEST_F(GetInfoWindowTest, ANullWeekdayIsLime)
{
    auto lock = standardLock(at(2026, 12, 6, 12, 0, 0));
    auto form = readKeyFrom(lock);
    exec("INSERT INTO LockStatusST (LockStatusID,LockStatus,BeginTime,Sunday) VALUES (1,'Lock "
         "Mode','05:00:00',NULL)");
    form->LockStatusInDB_Query.Close();
    form->LockStatusInDB_Query.Open();
    TDbGridModel* model = form->DBGrid6->gridModel();
    ASSERT_EQ(model->data(model->index(0, 0)).toString(), QStringLiteral("05:00"));
    EXPECT_EQ(model->data(model->index(0, 2), Qt::ForegroundRole).value<QColor>(), QColor(0, 0xFF, 0));
}

} // namespace
