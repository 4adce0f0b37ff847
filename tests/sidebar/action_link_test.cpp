#include "test_support.h"

#include <QAction>
#include <gtest/gtest.h>

using namespace sidebar;
using namespace sidebar::test;

struct ItemWithAction : ::testing::Test {
    QObject form;
    TSideBarStore store{&form};
    QAction action{"Open"};
    TStoredSideItem* item = addItem(store, &form, 0, "item");

    ItemWithAction()
    {
        action.setObjectName("actOpen");  // a named action is stored, so the values it supplies are not
        action.setStatusTip("Open a file");
        setActionImageIndex(&action, 5);
    }
};

TEST_F(ItemWithAction, TakesTheActionsPropertiesAndFollowsThemUntilCleared)
{
    item->setCaption("Mine");
    item->setHint("my hint");
    item->setLargeImage(1);
    item->setAction(&action);
    EXPECT_EQ(props(item), "Open|Open a file|1|5|-1");
    EXPECT_EQ(item->Action(), &action);
    ASSERT_NE(item->actionLink(), nullptr);
    EXPECT_TRUE(item->actionLink()->isCaptionLinked() && item->actionLink()->isImageIndexLinked());
    EXPECT_FALSE(item->isCaptionStored() || item->isLargeImageStored());

    action.setText("Open...");
    action.setStatusTip("Open another file");
    setActionImageIndex(&action, 7);
    action.setEnabled(false);
    EXPECT_EQ(props(item), "Open...|Open another file|0|7|-1");
    action.setEnabled(true);
    EXPECT_TRUE(item->Enabled());

    item->setAction(nullptr);
    EXPECT_EQ(item->actionLink(), nullptr);
    action.setText("Elsewhere");
    EXPECT_EQ(item->Caption(), "Open...");

    auto* transient = new QAction("Temp");
    item->setAction(transient);
    EXPECT_EQ(item->Caption(), "Temp");
    delete transient;  // a freed action is forgotten
    EXPECT_EQ(item->Action(), nullptr);
    EXPECT_EQ(item->actionLink(), nullptr);
    EXPECT_TRUE(item->isCaptionStored());
    item->setCaption("still usable");

    // Properties the item changed itself stay its own; the others still follow.
    item->setAction(&action);
    item->setCaption("Custom");
    item->setLargeImage(2);
    EXPECT_FALSE(item->actionLink()->isCaptionLinked());
    EXPECT_TRUE(item->isCaptionStored());
    action.setText("Renamed");
    setActionImageIndex(&action, 9);
    action.setStatusTip("new hint");
    EXPECT_EQ(props(item), "Custom|new hint|1|2|-1");

    EXPECT_EQ(actionImageIndex(nullptr), -1);
    QAction unset;
    EXPECT_EQ(actionImageIndex(&unset), -1);
}

TEST_F(ItemWithAction, HidingTheActionDisablesTheItemAndShowingBringsItBack)
{
    item->setAction(&action);
    action.setVisible(false);
    EXPECT_FALSE(item->Enabled());
    action.setVisible(true);
    EXPECT_TRUE(item->Enabled());

    action.setEnabled(false);
    action.setVisible(false);
    action.setVisible(true);
    EXPECT_FALSE(item->Enabled()) << "the action itself is disabled";
    action.setEnabled(true);
    EXPECT_TRUE(item->Enabled());

    item->setEnabled(false);  // its own choice: it stays so
    action.setVisible(false);
    action.setVisible(true);
    EXPECT_FALSE(item->Enabled());
}

TEST_F(ItemWithAction, CheckedDefaultsTakeOnlyWhatTheItemLeftAtItsDefault)
{
    item->actionChange(&action, true);  // an item at its defaults takes everything
    EXPECT_EQ(props(item), "Open|Open a file|1|5|-1");

    auto* own = addItem(store, &form, 0);
    own->setCaption("Own");
    own->setHint("own hint");
    own->setLargeImage(3);
    own->setEnabled(false);
    own->actionChange(&action, true);
    EXPECT_EQ(props(own), "Own|own hint|0|3|-1") << "enabled is taken only while the item is enabled";
    own->actionChange(&action, false);  // unchecked: everything
    EXPECT_EQ(props(own), "Open|Open a file|1|5|-1");

    auto* empty = addItem(store, &form, 0);
    empty->setCaption("");
    action.setEnabled(false);
    empty->actionChange(&action, true);
    EXPECT_EQ(props(empty), "Open|Open a file|0|5|-1");
}
