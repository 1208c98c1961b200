#pragma once
// The simulated line: its instruments, their values and queued faults, the
// description language that sets them up, and the answer to one request.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "linesettings.h"
#include "wire.h"

namespace sim {

struct Fault {
    enum Kind { Silence, Short, BadCheck, WrongAddr, WrongFunc, Refuse, NoAck, Slow, Split, Flood };
    Kind kind = Silence;
    int arg = 0;
    int left = 1; // requests still to be spoiled; 0 = until cleared
    std::string text;
};

// What a "Zarn Link" write command does to the instrument: the value it
// carries (or, for a command without data, the value the command stands for)
// is answered from then on by a read command.
struct ZarnWrite {
    enum Data { Decimal, Hex, Pairs };
    unsigned read = 0;
    Data data = Decimal; // how the six data characters carry the value
    bool negate = false; // the read answers the value with its sign turned
    bool fixed = false;  // no data: the command puts `value` in
    long value = 0;
    int bit = -1;        // with fixed: the bit `value` (0 or 1) goes to
};

// A working set point that follows the set point while no ramp/soak
// programme runs: both, and the run flag, are holding registers or "Zarn
// Link" read commands of one instrument.
struct SetpointLink {
    bool zarn = false;
    unsigned working = 0;
    unsigned source = 0;
    long run = -1; // the run flag; -1 for none (no programme ever runs)
};

struct Instrument {
    int address = 0;
    int group = 0;
    std::string protocols; // any of Z, R, A
    std::string name;
    std::map<unsigned, std::uint16_t> holding; // functions 3, 6, 16 (4 and 103 fall back here)
    std::map<unsigned, std::uint16_t> input;   // function 4
    std::map<unsigned, std::uint16_t> product; // function 103
    std::map<unsigned, bool> coils;            // functions 1, 5 (2 falls back here)
    std::map<unsigned, bool> discrete;         // function 2
    std::map<unsigned, std::string> zread;     // read command -> data part of the reply
    std::map<unsigned, std::string> zwritten;  // write command -> last data received
    std::map<unsigned, ZarnWrite> zwrites;     // write command -> the read it changes
    std::deque<Fault> faults;
    std::vector<SetpointLink> setpoints;
    // Settings the instrument answers at; at any when anySettings.
    bool anySettings = true;
    LineSettings settings;

    bool speaks(char p) const { return protocols.find(p) != std::string::npos; }
};

// What to put on the line for one request.
struct Answer {
    int address = -1; // the instrument that works on the request; -1 for none
    bool send = false;
    std::string bytes;
    int delayMs = 0;
    int pieces = 1;
    int floodMs = 0; // instead of the bytes: 'A's as fast as the line takes them, this long
    std::vector<std::string> notes; // for the log
};

enum class FrameKind { Rtu, Ascii, Zarn };

class Line {
public:
    // One line of the description language (config file or control
    // channel). Returns false with a message in `error` when the line is not
    // understood; `reply` receives the answer of a query ("get ...").
    bool command(const std::string& line, std::string& reply, std::string& error);
    // The demonstration line used when no description is given.
    void loadDemo();

    // Answers one complete frame as received (RTU bytes; ASCII ':'..LF;
    // "Zarn Link" STX..ETX). `seen` is the line's settings at that moment
    // (null when they cannot be read: then every instrument hears the frame).
    Answer handle(FrameKind kind, const std::string& frame, const LineSettings* seen = nullptr);

    const std::map<int, Instrument>& instruments() const { return instruments_; }

private:
    Instrument* find(int address);
    bool statement(const std::string& line, std::string& reply, std::string& error);
    bool takeFault(Instrument& in, Fault& out);
    // Brings every working set point to its set point where no programme runs.
    void settle();
    Answer handleModbus(FrameKind kind, const std::string& frame, const LineSettings* seen);
    Answer handleZarn(const std::string& frame, const LineSettings* seen);
    // Runs one Modbus request PDU (address, function, data) and returns the
    // reply PDU (possibly an exception).
    Bytes modbusReply(Instrument& in, const Bytes& req);

    std::map<int, Instrument> instruments_;
};

// Turns a value text into the data part of a "Zarn Link" read reply for
// command `cmd` (numbers with decimals, unit and status options as the
// description language allows). Returns false with a message when the value
// cannot be shown by that command.
// "19200,E,7,2"; unknown parts as seen on a pseudo-terminal read "N/E" and "?".
std::string settingsText(const LineSettings& s);
// Whether an instrument set to `want` makes sense of a line set to `seen`;
// what `seen` leaves unknown is taken to agree.
bool settingsAgree(const LineSettings& want, const LineSettings& seen);

bool encodeZarnValue(unsigned cmd, const std::string& value, const std::map<std::string, std::string>& options,
                     std::string& data, std::string& error);

} // namespace sim
