#include "platform/twips.h"

#include <QWidget>

namespace tw {

int px(int twips)
{
    const int half = kTwipsPerPixel / 2;
    return twips >= 0 ? (twips + half) / kTwipsPerPixel : -((-twips + half) / kTwipsPerPixel);
}

QRect rect(int left, int top, int width, int height) { return QRect(px(left), px(top), px(width), px(height)); }

void place(QWidget* w, int left, int top, int width, int height) { w->setGeometry(rect(left, top, width, height)); }

} // namespace tw
