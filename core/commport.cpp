#include "core/commport.h"

namespace modZarn {
SerialPortControl& CommPort()
{
    static SerialPortControl* port = new SerialPortControl; // lives for the whole run
    return *port;
}
} // namespace modZarn
