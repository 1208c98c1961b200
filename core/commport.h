#pragma once
#include "platform/serialport.h"

namespace modZarn {
// The one serial line of the program: every screen and driver reaches it here.
SerialPortControl& CommPort();
} // namespace modZarn
