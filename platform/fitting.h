#pragma once
// Text that must be read whole where a fixed layout leaves too little room.
class QComboBox;
class QLabel;

namespace ctl {

// Widens a closed list whose field cannot show its widest item: into the
// free room on its right first (up to the next control or caption of its
// row, or its parent's edge), then into the blank part of the right-aligned
// caption in front of it; a list that still lacks room takes a smaller font.
void fitList(QComboBox* list);

// Widens a one-line centred label to hold its text whole, about its centre
// as far as the controls either side of it allow; a text still too wide
// takes a smaller font.
void fitCentred(QLabel* label);

} // namespace ctl
