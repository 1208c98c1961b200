#pragma once
// Layout units: the layout tables give positions and sizes in twips, and the
// program lays them out at 96 dpi, where 15 twips make one pixel. Every form
// converts through these helpers so that rounding is the same everywhere.
#include <QRect>

class QWidget;

namespace tw {

constexpr int kTwipsPerPixel = 15;

// Twips to pixels, rounded to the nearest pixel (halves away from zero).
int px(int twips);
// A rectangle given in twips, in pixels. Width and height are rounded on
// their own, so controls of one size stay one size wherever they stand.
QRect rect(int left, int top, int width, int height);
// Places a widget at a rectangle given in twips (relative to its parent).
void place(QWidget* w, int left, int top, int width, int height);

} // namespace tw
