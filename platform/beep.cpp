#include "platform/beep.h"

#include <QApplication>

namespace sound {
namespace {
int gBeeps = 0;
}

void Beep()
{
    ++gBeeps;
    QApplication::beep();
}

int beepCount() { return gBeeps; }

void resetBeeps() { gBeeps = 0; }

} // namespace sound
