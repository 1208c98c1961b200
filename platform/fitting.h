#pragma once
// Text that must be read whole where a fixed layout leaves too little room.
#include <vector>

class CommandButton;
class QComboBox;
class QLabel;
class QWidget;

namespace ctl {

// The room a closed list gives the item it shows: its field, less the pixel
// the style draws the item inside it at either side, and one pixel kept
// clear of the field's edge so that the item's last letter is never shaved.
int listTextRoom(const QComboBox* list);

// Widens a closed list whose field cannot show its widest item: into the
// free room on its right first (up to the next control or caption of its
// row, or its parent's edge), then into the blank part of the right-aligned
// caption in front of it; a list that still lacks room takes a smaller font
// (each fitting starts again from the list's own font).
void fitList(QComboBox* list);

// Lists that stand one under another on `parent` (their spans across
// overlap) show their items in one size: the smallest that fitting gave any
// of them, so that a column of lists reads as one.
void evenListFonts(QWidget* parent);

// Buttons of one row show their captions in one size: the largest at which
// every caption of the row is whole.
void evenCaptionFonts(const std::vector<CommandButton*>& row);

// Widens a one-line centred label to hold its text whole, about its centre
// as far as the controls either side of it allow; a text still too wide
// takes a smaller font.
void fitCentred(QLabel* label);

} // namespace ctl
