#pragma once
// The settings a port is set to, as the simulator can see them.
namespace sim {

// Speed, parity ('N', 'E', 'O', or '?' for even-or-none), data bits (0 when
// unknown) and stop bits.
struct LineSettings {
    long baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};

// Reads the settings of the terminal `fd`. On a pseudo-terminal Linux keeps
// the speed (any rate, 28800 included), the stop bits and the odd-parity flag
// the program set, but forces 8 data bits and clears parity enable: there the
// data bits read as unknown and the parity as odd or even-or-none. False when
// `fd` is no terminal.
bool readLineSettings(int fd, bool pseudoTerminal, LineSettings& out);

} // namespace sim
