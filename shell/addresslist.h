#pragma once
// The address boxes of the screens: a combo box listing every instrument
// address in the written form of a controller group, and the address the
// user typed or chose in it.
class QComboBox;

namespace modZarn {

// Fills the list with the addresses 1..255: "01".."FF" in hex mode, else
// "001".."255"; SetDefault puts "32" (hex) or "001" into the text, otherwise
// the text stays as it was.
void FillAddressCombo(QComboBox* Combo, bool HexMode, bool SetDefault);
// The combo box's text as an address of the current controller group.
// Raises an overflow beyond 16 bits.
int GetComboAddress(QComboBox* Combo);

} // namespace modZarn
