// The screens' address boxes.
#include <QComboBox>

#include "core/state.h"
#include "shell/addresslist.h"
#include "support/testenv.h"

using namespace modZarn;

using AddressListTest = QxTest;

TEST_F(AddressListTest, ListsAndTypedAddresses)
{
    QComboBox combo;
    combo.setEditable(true);
    FillAddressCombo(&combo, true, true);
    ASSERT_EQ(combo.count(), 255);
    EXPECT_EQ(combo.itemText(0) + combo.itemText(254) + combo.currentText(), "01FF32");
    gControllerGroup = 0;
    EXPECT_EQ(GetComboAddress(&combo), 50);

    combo.setEditText("017");
    FillAddressCombo(&combo, false, false);
    EXPECT_EQ(combo.itemText(0) + combo.itemText(254) + combo.currentText(), "001255017");
    gControllerGroup = 1;
    EXPECT_EQ(GetComboAddress(&combo), 17);
    FillAddressCombo(&combo, false, true);
    EXPECT_EQ(combo.currentText(), "001");
}
