#include "shell/addresslist.h"

#include <QComboBox>

#include "core/helpers.h"
#include "core/state.h"
#include "platform/runtime.h"

namespace modZarn {

void FillAddressCombo(QComboBox* Combo, bool HexMode, bool SetDefault)
{
    const QString before = Combo->currentText();
    Combo->clear();
    for (int a = 1; a <= 255; ++a)
        Combo->addItem(HexMode ? Hex2(a) : QStringLiteral("%1").arg(a, 3, 10, QLatin1Char('0')));
    Combo->setCurrentText(SetDefault ? (HexMode ? QStringLiteral("32") : QStringLiteral("001"))
                                     : before);
}

int GetComboAddress(QComboBox* Combo)
{
    return AddressToNumber(gControllerGroup, Combo->currentText());
}

} // namespace modZarn
