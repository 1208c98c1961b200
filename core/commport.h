#pragma once
#include "platform/serialport.h"

namespace modZarn {
// The one serial line of the program (the main form's comPort is this object).
SerialPortControl& CommPort();
} // namespace modZarn
