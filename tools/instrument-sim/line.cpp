#include "line.h"

#include <cmath>
#include <cstdlib>

namespace sim {

namespace {

constexpr char STX = 2, ETX = 3, ACK = 6;

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits a description line into words; double quotes keep blanks inside a
// word; '#' outside quotes starts a comment.
bool tokenize(const std::string& line, std::vector<Token>& out, std::string& error)
{
    out.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        Token t;
        if (c == '"') {
            const std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                error = "unterminated quote";
                return false;
            }
            t.text = line.substr(i + 1, end - i - 1);
            t.quoted = true;
            i = end + 1;
        } else {
            std::size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r'
                   && line[end] != '\n')
                ++end;
            t.text = line.substr(i, end - i);
            i = end;
        }
        out.push_back(t);
    }
    return true;
}

// Decimal ("-25", "300") or hexadecimal with 0x ("0x0102").
bool parseInt(const std::string& s, long& v)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        v = std::strtol(s.c_str() + 2, &end, 16);
    else
        v = std::strtol(s.c_str(), &end, 10);
    return end && *end == '\0';
}

bool parseRange(const std::string& s, long lo, long hi, long& v)
{
    return parseInt(s, v) && v >= lo && v <= hi;
}

// "key=value" words after the positional ones.
std::map<std::string, std::string> options(const std::vector<Token>& t, std::size_t from)
{
    std::map<std::string, std::string> o;
    for (std::size_t i = from; i < t.size(); ++i) {
        const std::size_t eq = t[i].text.find('=');
        if (eq != std::string::npos && !t[i].quoted)
            o[t[i].text.substr(0, eq)] = t[i].text.substr(eq + 1);
    }
    return o;
}

bool parseFault(const std::string& spec, Fault& f, std::string& error)
{
    std::string name = spec, arg;
    const std::size_t colon = spec.find(':');
    if (colon != std::string::npos) {
        name = spec.substr(0, colon);
        arg = spec.substr(colon + 1);
    }
    long v = 0;
    f.text = spec;
    if (name == "silence")
        f.kind = Fault::Silence;
    else if (name == "short")
        f.kind = Fault::Short;
    else if (name == "badcrc" || name == "badlrc" || name == "badsum")
        f.kind = Fault::BadCheck;
    else if (name == "wrongaddr")
        f.kind = Fault::WrongAddr;
    else if (name == "wrongfunc")
        f.kind = Fault::WrongFunc;
    else if (name == "noack")
        f.kind = Fault::NoAck;
    else if (name == "exception" || name == "nak") {
        f.kind = Fault::Refuse;
        if (!parseRange(arg, 0, 255, v)) {
            error = "fault " + name + " needs a code 0..255";
            return false;
        }
        // "nak:03" is a two-digit decimal code; strtol reads it as 3.
        f.arg = int(v);
        return true;
    } else if (name == "slow" || name == "flood" || name == "split") {
        // Faults that take a number: milliseconds, or a piece count.
        const bool split = name == "split";
        f.kind = name == "slow" ? Fault::Slow : split ? Fault::Split : Fault::Flood;
        if (!parseRange(arg, split ? 2 : name == "flood" ? 1 : 0, split ? 1000 : 60000, v)) {
            error = split ? "fault split needs a piece count 2..1000" : "fault " + name + " needs milliseconds";
            return false;
        }
        f.arg = int(v);
        return true;
    } else {
        error = "unknown fault '" + name + "'";
        return false;
    }
    if (!arg.empty()) {
        error = "fault " + name + " takes no argument";
        return false;
    }
    return true;
}

// "BAUD,PARITY,DATA,STOP", e.g. "19200,E,7,2".
bool parseSettings(const std::string& text, LineSettings& out, std::string& error)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == ',')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    long baud = 0, data = 0, stop = 0;
    const std::string parity = parts.size() == 4 ? parts[1] : std::string();
    if (parts.size() != 4 || !parseRange(parts[0], 50, 4000000, baud) || parity.size() != 1
        || std::string("NEOneo").find(parity[0]) == std::string::npos || !parseRange(parts[2], 5, 8, data)
        || !parseRange(parts[3], 1, 2, stop)) {
        error = "settings are BAUD,N|E|O,DATA,1|2 (e.g. 9600,E,7,1) or *";
        return false;
    }
    out.baud = baud;
    out.parity = char(parity[0] & ~0x20);
    out.dataBits = int(data);
    out.stopBits = int(stop);
    return true;
}

// Whether the instrument hears a frame sent at the line's present settings;
// instruments with settings of their own say in the log.
bool hears(const Instrument& in, const LineSettings* seen, Answer& a)
{
    if (in.anySettings || !seen)
        return true;
    const bool agree = settingsAgree(in.settings, *seen);
    a.notes.push_back("line at " + settingsText(*seen)
                      + (agree ? ": answers" : ": silent, answers at " + settingsText(in.settings)));
    return agree;
}

std::uint16_t u16(const Bytes& b, std::size_t at) { return std::uint16_t(b[at] << 8 | b[at + 1]); }

void put16(Bytes& b, unsigned v)
{
    b.push_back(std::uint8_t((v >> 8) & 0xFF));
    b.push_back(std::uint8_t(v & 0xFF));
}

Bytes exceptionPdu(const Bytes& req, int code)
{
    return Bytes{req[0], std::uint8_t(req[1] | 0x80), std::uint8_t(code)};
}

std::string encodeRtu(Bytes pdu)
{
    appendCrc(pdu);
    return std::string(pdu.begin(), pdu.end());
}

std::string encodeAscii(const Bytes& pdu)
{
    return ":" + hexPairs(pdu) + hex2(lrc(pdu)) + "\r\n";
}

bool isWriteCommand(unsigned cmd) { return (cmd >= 0x200 && cmd <= 0x2FF) || (cmd >= 0x400 && cmd <= 0x4FF); }

std::string zarnRefusal(int address, int code)
{
    std::string s;
    s += STX;
    s += 'Z';
    s += hex2(unsigned(address));
    s += 'N';
    const int c = code % 100;
    s += char('0' + c / 10);
    s += char('0' + c % 10);
    s += ACK;
    return s;
}

// Reply: STX, "Z", address, data, checksum of everything after the STX, ACK.
std::string zarnReply(int address, const std::string& data)
{
    const std::string body = "Z" + hex2(unsigned(address)) + data;
    std::string s;
    s += STX;
    s += body;
    s += hex2(charSum(body));
    s += ACK;
    return s;
}

} // namespace

std::string settingsText(const LineSettings& s)
{
    return std::to_string(s.baud) + "," + (s.parity == '?' ? std::string("N/E") : std::string(1, s.parity)) + ","
        + (s.dataBits ? std::to_string(s.dataBits) : std::string("?")) + "," + std::to_string(s.stopBits);
}

bool settingsAgree(const LineSettings& want, const LineSettings& seen)
{
    const bool parity = seen.parity == '?' ? want.parity != 'O' : want.parity == seen.parity;
    return want.baud == seen.baud && want.stopBits == seen.stopBits && parity
        && (seen.dataBits == 0 || want.dataBits == seen.dataBits);
}

bool encodeZarnValue(unsigned cmd, const std::string& value, const std::map<std::string, std::string>& opts,
                     std::string& data, std::string& error)
{
    // Number with optional sign and decimals.
    std::size_t i = 0;
    bool neg = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+'))
        neg = value[i++] == '-';
    std::string intDigits, fracDigits;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9')
        intDigits += value[i++];
    if (i < value.size() && value[i] == '.') {
        ++i;
        while (i < value.size() && value[i] >= '0' && value[i] <= '9')
            fracDigits += value[i++];
    }
    if (i != value.size() || (intDigits.empty() && fracDigits.empty())) {
        error = "'" + value + "' is not a number (quote a raw data text)";
        return false;
    }
    const long whole = std::atol((intDigits + fracDigits).c_str());
    const int decimals = int(fracDigits.size());

    auto dec = [](long v, int width) {
        std::string s = std::to_string(v);
        return std::string(std::size_t(width) > s.size() ? std::size_t(width) - s.size() : 0, '0') + s;
    };
    auto field = [&](std::string& out) {
        if (decimals > 3) {
            error = "a data field holds at most 3 decimals";
            return false;
        }
        if (whole > 9999) {
            error = "a data field holds at most 4 digits";
            return false;
        }
        unsigned status = unsigned(decimals) << 4;
        if (neg && whole != 0)
            status |= 1;
        const auto u = opts.find("unit");
        if (u != opts.end()) {
            if (u->second == "F")
                status |= 2;
            else if (u->second == "C")
                status |= 4;
            else if (u->second == "Er" || u->second == "E")
                status |= 6;
            else if (u->second != "none") {
                error = "unit is F, C, Er or none";
                return false;
            }
        }
        out = hex2(status) + dec(whole, 4);
        return true;
    };
    auto plainInt = [&](long lo, long hi, long& v) {
        if (decimals != 0) {
            error = "command " + hex4(cmd) + " carries a whole number";
            return false;
        }
        v = neg ? -whole : whole;
        if (v < lo || v > hi) {
            error = "value out of range for command " + hex4(cmd);
            return false;
        }
        return true;
    };

    long v = 0;
    std::string f;
    if (cmd == 0) {
        long status = 0;
        const auto s = opts.find("status");
        if (s != opts.end()) {
            unsigned st = 0;
            if (!parseHex(s->second, st) || st > 0xFF) {
                error = "status is two hex digits";
                return false;
            }
            status = long(st);
        }
        if (!field(f))
            return false;
        data = hex2(unsigned(status)) + f;
    } else if (cmd >= 0x100 && cmd <= 0x1FF) {
        if (!field(f))
            return false;
        data = f;
    } else if (cmd == 5) {
        if (!plainInt(-32768, 65535, v))
            return false;
        data = hex4(unsigned(v)) + "000000";
    } else if (cmd == 0x700 || cmd == 0x702) {
        error = "command " + hex4(cmd) + " carries text: quote it";
        return false;
    } else if (cmd == 0x701) {
        if (!plainInt(0, 9999, v))
            return false;
        data = "00" + dec(v, 4) + "0000";
    } else if (cmd >= 0x730 && cmd <= 0x735) {
        if (!plainInt(0, 9999, v))
            return false;
        data = dec(v, 4) + "000000";
    } else {
        if (!plainInt(0, 99, v))
            return false;
        data = dec(v, 2);
    }
    return true;
}

namespace {

std::string digits4(long v)
{
    const std::string s = std::to_string(v);
    return std::string(s.size() < 4 ? 4 - s.size() : 0, '0') + s;
}

// The number the data of a write carries: four decimal digits and "00", or
// "FF" for a negative value; or four hexadecimal digits and "00". False when
// the data is not of that form.
bool writtenValue(const std::string& data, ZarnWrite::Data form, long& value)
{
    unsigned v = 0;
    if (data.size() != 6 || !parseHex(data.substr(0, 4), v))
        return false;
    if (form != ZarnWrite::Decimal) {
        value = form == ZarnWrite::Hex ? long(std::int16_t(v)) : long(v);
        return data.substr(4) == "00";
    }
    for (std::size_t i = 0; i < 4; ++i)
        if (data[i] < '0' || data[i] > '9')
            return false;
    value = std::atol(data.substr(0, 4).c_str());
    if (data.substr(4) == "FF")
        value = -value;
    return data.substr(4) == "FF" || data.substr(4) == "00";
}

// Puts `value` into the data a read answers, in the read's layout. A data
// field (100H-1FFH; command 0 after its status byte) keeps its decimals and
// unit and takes the value as its reading without the decimal point.
bool answerValue(Instrument& in, unsigned read, long value)
{
    const auto held = in.zread.find(read);
    std::string data = held != in.zread.end() ? held->second : std::string();
    if (read == 0 || (read >= 0x100 && read <= 0x1FF)) {
        const std::size_t at = read == 0 ? 2 : 0;
        unsigned status = 0;
        if (data.size() < at + 6 || !parseHex(data.substr(at, 2), status))
            data = std::string(at, '0') + "000000";
        if (value < -9999 || value > 9999)
            return false;
        status = (status & ~1u) | (value < 0 ? 1u : 0u);
        data.replace(at, 6, hex2(status) + digits4(std::labs(value)));
    } else {
        std::string error;
        if (!encodeZarnValue(read, std::to_string(value), {}, data, error))
            return false;
    }
    in.zread[read] = data;
    return true;
}

// What a write the instrument has taken does to its reads (as its zwrite
// statement says, or for an undeclared value command 2xxH, to its read
// 1xxH when the instrument answers that). Returns the refusal code for a
// value the read cannot hold, else 0.
int takeZarnWrite(Instrument& in, unsigned cmd, const std::string& data)
{
    ZarnWrite w;
    const auto declared = in.zwrites.find(cmd);
    if (declared != in.zwrites.end())
        w = declared->second;
    else if (cmd >= 0x200 && cmd <= 0x2FF && in.zread.count(cmd - 0x100))
        w.read = cmd - 0x100; // a value command: its read is 100H below
    else
        return 0;

    long value = w.value;
    if (!w.fixed && !writtenValue(data, w.data, value))
        return 3;
    if (w.negate)
        value = -value;
    if (w.bit >= 0) {
        std::string& held = in.zread[w.read];
        unsigned word = 0;
        if (held.size() < 4 || !parseHex(held.substr(0, 4), word))
            held = "00000000";
        word = value ? word | (1u << w.bit) : word & ~(1u << w.bit);
        held.replace(0, 4, hex4(word));
        return 0;
    }
    if (w.data == ZarnWrite::Pairs) {
        // Eight reads, two bits each in bits 6-7 of their status byte, the top two first.
        for (unsigned i = 0; i < 8; ++i) {
            std::string& held = in.zread[w.read + 2 * i];
            unsigned status = 0;
            if (held.size() < 2 || !parseHex(held.substr(0, 2), status))
                held = "000000";
            status = (status & 0x3F) | (((unsigned(value) >> (14 - 2 * i)) & 3) << 6);
            held.replace(0, 2, hex2(status));
        }
        return 0;
    }
    return answerValue(in, w.read, value) ? 0 : 3;
}

} // namespace

Instrument* Line::find(int address)
{
    auto it = instruments_.find(address);
    return it == instruments_.end() ? nullptr : &it->second;
}

bool Line::command(const std::string& line, std::string& reply, std::string& error)
{
    const bool done = statement(line, reply, error);
    if (done)
        settle();
    return done;
}

bool Line::statement(const std::string& line, std::string& reply, std::string& error)
{
    std::vector<Token> t;
    reply.clear();
    if (!tokenize(line, t, error))
        return false;
    if (t.empty())
        return true;
    const std::string& verb = t[0].text;
    long addr = 0;

    if (verb == "clear") {
        if (t.size() == 1) {
            for (auto& [a, in] : instruments_)
                in.faults.clear();
            return true;
        }
        if (!parseRange(t[1].text, 1, 255, addr) || !find(int(addr))) {
            error = "clear: unknown instrument";
            return false;
        }
        find(int(addr))->faults.clear();
        return true;
    }
    if (verb == "list") {
        for (const auto& [a, in] : instruments_)
            reply += (reply.empty() ? "" : " ") + std::to_string(a) + ":" + std::to_string(in.group) + in.protocols;
        return true;
    }
    if (t.size() < 2 || !parseRange(t[1].text, 1, 255, addr)) {
        error = verb + ": address 1..255 expected";
        return false;
    }

    if (verb == "instrument") {
        Instrument& in = instruments_[int(addr)];
        in.address = int(addr);
        long group = in.group;
        std::string protocols = in.protocols;
        bool anySettings = in.anySettings;
        LineSettings settings = in.settings;
        for (std::size_t i = 2; i < t.size(); ++i) {
            const std::string& w = t[i].text;
            if (w == "group" && i + 1 < t.size()) {
                if (!parseRange(t[++i].text, 0, 2, group)) {
                    error = "group is 0, 1 or 2";
                    return false;
                }
            } else if (w == "protocol" && i + 1 < t.size()) {
                protocols = t[++i].text;
                for (char c : protocols)
                    if (c != 'Z' && c != 'R' && c != 'A') {
                        error = "protocol letters are Z, R and A";
                        return false;
                    }
            } else if (w == "name" && i + 1 < t.size()) {
                in.name = t[++i].text;
            } else if (w == "settings" && i + 1 < t.size()) {
                const std::string& text = t[++i].text;
                anySettings = text == "*";
                if (!anySettings && !parseSettings(text, settings, error))
                    return false;
            } else {
                error = "instrument: unexpected '" + w + "'";
                return false;
            }
        }
        in.group = int(group);
        in.anySettings = anySettings;
        in.settings = settings;
        if (protocols.empty())
            protocols = group == 0 ? "Z" : group == 1 ? "R" : "A";
        in.protocols = protocols;
        return true;
    }

    Instrument* in = find(int(addr));
    if (!in) {
        error = verb + ": instrument " + std::to_string(addr) + " not declared";
        return false;
    }

    if (verb == "reg" || verb == "ireg" || verb == "preg") {
        long reg = 0, value = 0;
        if (t.size() < 4 || !parseRange(t[2].text, 0, 0xFFFF, reg) || !parseRange(t[3].text, -32768, 0xFFFF, value)) {
            error = verb + ": register 0..65535 and value -32768..65535 expected";
            return false;
        }
        auto& bank = verb == "reg" ? in->holding : verb == "ireg" ? in->input : in->product;
        bank[unsigned(reg)] = std::uint16_t(value & 0xFFFF);
        return true;
    }
    if (verb == "coil" || verb == "dinput") {
        long n = 0, value = 0;
        if (t.size() < 4 || !parseRange(t[2].text, 0, 0xFFFF, n) || !parseRange(t[3].text, 0, 1, value)) {
            error = verb + ": number 0..65535 and state 0 or 1 expected";
            return false;
        }
        (verb == "coil" ? in->coils : in->discrete)[unsigned(n)] = value != 0;
        return true;
    }
    if (verb == "zcmd") {
        long cmd = 0;
        if (t.size() < 4 || !parseRange(t[2].text, 0, 0xFFFF, cmd)) {
            error = "zcmd: command 0..0xFFFF and a value expected";
            return false;
        }
        std::string data;
        if (t[3].quoted)
            data = t[3].text;
        else if (!encodeZarnValue(unsigned(cmd), t[3].text, options(t, 4), data, error))
            return false;
        in->zread[unsigned(cmd)] = data;
        return true;
    }
    if (verb == "zwrite") {
        // zwrite ADDR CMD READ [data=hex|pairs] [negate] [value=N [bit=B]]
        long cmd = 0, read = 0;
        if (t.size() < 4 || !parseRange(t[2].text, 0, 0xFFFF, cmd) || !isWriteCommand(unsigned(cmd))
            || !parseRange(t[3].text, 0, 0xFFFF, read)) {
            error = "zwrite: a write command (200H-2FFH, 400H-4FFH) and a read command expected";
            return false;
        }
        ZarnWrite w;
        w.read = unsigned(read);
        const auto o = options(t, 4);
        for (std::size_t i = 4; i < t.size(); ++i) {
            const std::string& word = t[i].text;
            const std::string key = word.substr(0, word.find('='));
            if (word == "negate")
                w.negate = true;
            else if (t[i].quoted || (key != "data" && key != "value" && key != "bit")) {
                error = "zwrite: unexpected '" + word + "'";
                return false;
            }
        }
        const auto data = o.find("data"), value = o.find("value"), bit = o.find("bit");
        if (data != o.end()) {
            if (data->second == "hex")
                w.data = ZarnWrite::Hex;
            else if (data->second == "pairs")
                w.data = ZarnWrite::Pairs;
            else if (data->second != "dec") {
                error = "zwrite: data is dec, hex or pairs";
                return false;
            }
        }
        // Commands from 400H carry no data: the command itself stands for its value.
        w.fixed = cmd >= 0x400;
        if (w.fixed != (value != o.end())) {
            error = w.fixed ? "zwrite: a command without data needs value=N" : "zwrite: value= is for commands without data";
            return false;
        }
        if (w.fixed && !parseRange(value->second, -32768, 65535, w.value)) {
            error = "zwrite: value -32768..65535 expected";
            return false;
        }
        if (bit != o.end()) {
            long b = 0;
            if (!w.fixed || !parseRange(bit->second, 0, 15, b) || (w.value != 0 && w.value != 1)) {
                error = "zwrite: bit=0..15 goes with value=0 or value=1";
                return false;
            }
            w.bit = int(b);
        }
        in->zwrites[unsigned(cmd)] = w;
        return true;
    }
    if (verb == "setpoint") {
        // setpoint ADDR reg|zcmd WORKING SOURCE [ramp RUN]
        SetpointLink l;
        long working = 0, source = 0, run = -1;
        const bool ramp = t.size() == 7 && t[5].text == "ramp";
        if ((t.size() != 5 && !ramp) || (t[2].text != "reg" && t[2].text != "zcmd")
            || !parseRange(t[3].text, 0, 0xFFFF, working) || !parseRange(t[4].text, 0, 0xFFFF, source)
            || (ramp && !parseRange(t[6].text, 0, 0xFFFF, run))) {
            error = "setpoint: reg|zcmd, the working set point, the set point and [ramp RUN] expected";
            return false;
        }
        l.zarn = t[2].text == "zcmd";
        l.working = unsigned(working);
        l.source = unsigned(source);
        l.run = run;
        in->setpoints.push_back(l);
        return true;
    }
    if (verb == "fault") {
        if (t.size() < 3) {
            error = "fault: kind expected";
            return false;
        }
        std::string spec = t[2].text;
        if (spec.rfind("next=", 0) == 0)
            spec = spec.substr(5);
        Fault f;
        if (!parseFault(spec, f, error))
            return false;
        const auto o = options(t, 3);
        const auto c = o.find("count");
        if (c != o.end()) {
            long n = 0;
            if (!parseRange(c->second, 0, 1000000, n)) {
                error = "count is 0 (until cleared) or more";
                return false;
            }
            f.left = int(n);
        }
        in->faults.push_back(f);
        return true;
    }
    if (verb == "get") {
        // get ADDR reg|ireg|preg|coil|dinput|zcmd|zwrite KEY
        long key = 0;
        if (t.size() < 4 || !parseRange(t[3].text, 0, 0xFFFF, key)) {
            error = "get: ADDR KIND NUMBER expected";
            return false;
        }
        const std::string& kind = t[2].text;
        const unsigned k = unsigned(key);
        auto word = [&](const std::map<unsigned, std::uint16_t>& m) {
            auto it = m.find(k);
            reply = it == m.end() ? "none" : std::to_string(int(std::int16_t(it->second)));
        };
        auto bit = [&](const std::map<unsigned, bool>& m) {
            auto it = m.find(k);
            reply = it == m.end() ? "none" : (it->second ? "1" : "0");
        };
        auto text = [&](const std::map<unsigned, std::string>& m) {
            auto it = m.find(k);
            reply = it == m.end() ? "none" : "\"" + it->second + "\"";
        };
        if (kind == "reg")
            word(in->holding);
        else if (kind == "ireg")
            word(in->input);
        else if (kind == "preg")
            word(in->product);
        else if (kind == "coil")
            bit(in->coils);
        else if (kind == "dinput")
            bit(in->discrete);
        else if (kind == "zcmd")
            text(in->zread);
        else if (kind == "zwrite")
            text(in->zwritten);
        else {
            error = "get: unknown kind '" + kind + "'";
            return false;
        }
        return true;
    }
    error = "unknown statement '" + verb + "'";
    return false;
}

void Line::loadDemo()
{
    static const char* const demo[] = {
        "instrument 50 group 0 protocol Z name Oven",
        "zcmd 50 0x00 72.5 unit=F",
        "zcmd 50 0x01 0",
        "zcmd 50 0x101 80.0 unit=F", // the working set point: the set point, as no programme runs
        "zcmd 50 0x102 80.0 unit=F",
        "zcmd 50 0x103 60.0 unit=F",
        "zcmd 50 0x700 \"1.02  \"",
        "zcmd 50 0x701 5134", // the digits spell 5134H: model ID "Q4"
        "zcmd 50 0x702 \"TQ0000\"",
        "instrument 1 group 1 protocol R name Kiln",
        "reg 1 0x0001 1234",
        "reg 1 0x0002 0x0011",
        "reg 1 0x0102 1300",
        "reg 1 0x0702 0x5851",
        "preg 1 0x0012 1",
        "preg 1 0x0013 1",
        "coil 1 0x0810 0",
        "dinput 1 0x0810 1",
        "instrument 2 group 2 protocol A name Bath",
        "reg 2 0x0001 365",
        "reg 2 0x0002 0x0021",
        "reg 2 0x0102 370",
        "reg 2 0x0702 0x5848",
        // The registers the program's sample tables translate to, so that
        // every screen finds its values on the demonstration line.
        "zcmd 50 0x05 \"0000000000\"",
        "zcmd 50 0x08 0",
        "zcmd 50 0x732 \"0000000000\"",
        "zcmd 50 0x733 \"0000000000\"",
        "zcmd 50 0x734 \"0000000000\"",
        "zcmd 50 0x735 \"0000000000\"",
        "instrument 51 group 0 protocol R name Press",
        "reg 51 1 725",
        "reg 51 2 0x0014",
        "reg 51 256 750",
        "reg 51 794 1",
        "reg 51 1793 0x5457",
        "reg 1 0x1000 1234",
        "reg 1 0x1001 1300",
        "reg 1 0x102A 0x0004",
        "reg 1 0x102B 0",
        "reg 1 0x1004 0",
        "reg 1 0x1018 1",
        "reg 1 0x102F 0",
        "reg 2 0x4700 365",
        "reg 2 0x4701 370",
        "reg 2 0x472B 0x0008",
        "reg 2 0x4710 0",
        "reg 2 0x4730 0x5848",
        "reg 2 0x472F 0",
        // The status screen's and the set-point dialog's reads: error
        // words, alarm modes, versions and the alarm set points; the group 1
        // instrument also speaks Modbus ASCII.
        "zcmd 50 0x702 \"0104070000\"", // the software version in its ten characters
        "reg 51 3 0",
        "reg 51 798 0",
        "reg 51 800 0",
        "reg 51 1792 0x0102",
        "reg 51 1794 0x0305",
        "reg 51 257 750",
        "reg 51 262 600",
        "reg 51 263 900",
        "reg 51 264 500",
        "reg 51 265 950",
        "instrument 1 protocol RA",
        "reg 1 0x1024 1400",
        "reg 1 0x1025 1100",
        "reg 1 0x1026 1450",
        "reg 1 0x1027 1050",
        "reg 1 0x1028 1500",
        "reg 1 0x1029 1000",
        "reg 2 0x472C 0",
        "reg 2 0x4702 400",
        "reg 2 0x4703 330",
        "reg 2 0x4704 410",
        "reg 2 0x4705 320",
        // Settings whose lowest value is above 0: hystereses, cycle times,
        // proportional bands and coefficient, as the instruments leave the
        // factory.
        "reg 51 266 10",
        "reg 51 267 10",
        "reg 51 769 10",
        "reg 51 772 10",
        "reg 1 0x1007 10",
        "reg 1 0x1008 10",
        "reg 1 0x1009 476",
        "reg 1 0x100E 100",
        "reg 2 0x4708 476",
        "reg 2 0x4712 10",
    };
    std::string reply, error;
    for (const char* line : demo)
        command(line, reply, error);
    // Group 1 bits 810H-816H, and the "Zarn Link" commands of the settings
    // read one by one: 104H-13FH, the 300H block, and the two eight-read
    // words at 160H and 170H.
    for (unsigned n = 0x810; n <= 0x816; ++n) {
        command("coil 1 " + std::to_string(n) + " 0", reply, error);
        command("dinput 1 " + std::to_string(n) + " 0", reply, error);
    }
    // The odd ones of 121H-13FH are read as the value the data field shows,
    // not as its reading without the decimal point: they carry none.
    for (unsigned c = 0x104; c <= 0x13F; ++c)
        command("zcmd 50 " + std::to_string(c) + (c >= 0x121 && c % 2 ? " 10" : " 10.0"), reply, error);
    for (unsigned c = 0x301; c <= 0x32D; ++c)
        command("zcmd 50 " + std::to_string(c) + " 0", reply, error);
    for (unsigned c = 0x160; c <= 0x17E; c += 2)
        command("zcmd 50 " + std::to_string(c) + " \"000000\"", reply, error);

    // Whole configurations, so that the configuration screen can read (and
    // send back) every register of the sample models: the value commands of
    // 140H-15DH, and a valid input type (J thermocouple) on 50; every
    // configuration register of the Modbus instruments, 0 unless set above.
    for (unsigned c = 0x140; c <= 0x15D; ++c)
        command("zcmd 50 " + std::to_string(c) + " 10.0", reply, error);
    command("zcmd 50 0x318 1", reply, error);
    // One decimal place, as its status and every value it reads show.
    command("zcmd 50 0x31B 1", reply, error);
    // The security level, and the two cycle times, within their settings.
    command("zcmd 50 0x143 0", reply, error);
    command("zcmd 50 0x302 10", reply, error);
    command("zcmd 50 0x305 10", reply, error);

    // The writes of 50 that do more than put a value command's data (2xxH)
    // into its read (1xxH): the four reset values come back with their sign
    // turned, each alarm output word is spread over eight reads, and the
    // settings whose commands carry no data take the value the command
    // stands for: one command sets, the next one clears (or the other way
    // round), the set-point stage has one command for each of its four
    // values; the time base and manual mode have one command each way.
    for (unsigned c = 0x212; c <= 0x215; ++c)
        command("zwrite 50 " + std::to_string(c) + " " + std::to_string(c - 0x100) + " negate", reply, error);
    command("zwrite 50 0x25E 0x160 data=pairs", reply, error);
    command("zwrite 50 0x25F 0x170 data=pairs", reply, error);
    const auto fixed = [&](unsigned write, unsigned read, int value, const std::string& more = {}) {
        command("zwrite 50 " + std::to_string(write) + " " + std::to_string(read) + " value=" + std::to_string(value)
                    + more,
                reply, error);
    };
    static const struct { unsigned read, write; bool firstSets; } onOff[] = {
        {0x30F, 0x450, true},  {0x310, 0x452, true},  {0x311, 0x454, true}, {0x312, 0x456, true},
        {0x313, 0x458, true},  {0x314, 0x45A, true},  {0x315, 0x45C, false}, {0x319, 0x461, true},
        {0x322, 0x46B, true},  {0x324, 0x471, true},  {0x325, 0x473, true}, {0x327, 0x476, true},
        {0x329, 0x479, false}, {0x32B, 0x47C, false}, {0x32C, 0x47E, true}, {0x32D, 0x480, true},
    };
    for (const auto& s : onOff) {
        fixed(s.write, s.read, s.firstSets ? 1 : 0);
        fixed(s.write + 1, s.read, s.firstSets ? 0 : 1);
    }
    for (int stage = 0; stage < 4; ++stage)
        fixed(0x46D + unsigned(stage), 0x323, stage);
    fixed(0x41F, 0x08, 0);
    fixed(0x420, 0x08, 1);
    fixed(0x409, 0x00, 0, " bit=15");
    fixed(0x40A, 0x00, 1, " bit=15");
    const auto fill = [&](int address, unsigned first, unsigned last) {
        Instrument* in = find(address);
        for (unsigned r = first; r <= last; ++r)
            if (in && !in->holding.count(r))
                command("reg " + std::to_string(address) + " " + std::to_string(r) + " 0", reply, error);
    };
    fill(51, 256, 350);   // program registers 257-351 (the register field is one less)
    fill(51, 768, 812);   // 769-813
    fill(51, 1027, 1073); // 1028-1074, and the time base and manual-mode targets
    if (Instrument* in = find(51); in && in->holding[791] == 0)
        in->holding[791] = 1; // input type J thermocouple
    // The working set point (257) follows the set point (258) while the
    // ramp/soak programme (786) does not run. Groups 1 and 2 serve both on
    // one register.
    command("setpoint 50 zcmd 0x101 0x102 ramp 0x312", reply, error);
    command("setpoint 51 reg 256 257 ramp 785", reply, error);
    fill(1, 0x1000, 0x1076);
    fill(1, 0x2000, 0x20BF);
    fill(1, 0x471E, 0x4723);
    fill(2, 0x4700, 0x4731);
}

bool Line::takeFault(Instrument& in, Fault& out)
{
    if (in.faults.empty())
        return false;
    Fault& f = in.faults.front();
    out = f;
    if (f.left > 0 && --f.left == 0)
        in.faults.pop_front();
    return true;
}

Answer Line::handle(FrameKind kind, const std::string& frame, const LineSettings* seen)
{
    Answer a = kind == FrameKind::Zarn ? handleZarn(frame, seen) : handleModbus(kind, frame, seen);
    settle();
    return a;
}

void Line::settle()
{
    for (auto& [address, in] : instruments_) {
        for (const SetpointLink& l : in.setpoints) {
            if (l.zarn) {
                const auto source = in.zread.find(l.source);
                const auto run = l.run < 0 ? in.zread.end() : in.zread.find(unsigned(l.run));
                // A run flag reads as a number: running while any digit is not 0.
                if (source != in.zread.end()
                    && (run == in.zread.end() || run->second.find_first_not_of('0') == std::string::npos))
                    in.zread[l.working] = source->second;
            } else {
                const auto source = in.holding.find(l.source);
                const auto run = l.run < 0 ? in.holding.end() : in.holding.find(unsigned(l.run));
                if (source != in.holding.end() && (run == in.holding.end() || run->second == 0))
                    in.holding[l.working] = source->second;
            }
        }
    }
}

Bytes Line::modbusReply(Instrument& in, const Bytes& req)
{
    const std::uint8_t fn = req[1];
    const std::size_t n = req.size();
    auto fixed = [&](std::size_t len) { return n == len; };
    switch (fn) {
    case 1:
    case 2: {
        if (!fixed(6))
            return exceptionPdu(req, 3);
        const unsigned start = u16(req, 2), count = u16(req, 4);
        if (count < 1 || count > 2000)
            return exceptionPdu(req, 3);
        Bytes out{req[0], fn, std::uint8_t((count + 7) / 8)};
        out.resize(3 + (count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i) {
            const unsigned k = (start + i) & 0xFFFF;
            const std::map<unsigned, bool>* bank = &in.coils;
            if (fn == 2 && in.discrete.count(k))
                bank = &in.discrete;
            auto it = bank->find(k);
            if (it == bank->end())
                return exceptionPdu(req, 2);
            if (it->second)
                out[3 + i / 8] |= std::uint8_t(1u << (i % 8));
        }
        return out;
    }
    case 3:
    case 4:
    case 103: {
        if (!fixed(6))
            return exceptionPdu(req, 3);
        const unsigned start = u16(req, 2), count = u16(req, 4);
        if (count < 1 || count > 125)
            return exceptionPdu(req, 3);
        Bytes out{req[0], fn, std::uint8_t(count * 2)};
        for (unsigned i = 0; i < count; ++i) {
            const unsigned k = (start + i) & 0xFFFF;
            const std::map<unsigned, std::uint16_t>* bank = &in.holding;
            if (fn == 4 && in.input.count(k))
                bank = &in.input;
            if (fn == 103 && in.product.count(k))
                bank = &in.product;
            auto it = bank->find(k);
            if (it == bank->end())
                return exceptionPdu(req, 2);
            put16(out, it->second);
        }
        return out;
    }
    case 5: {
        if (!fixed(6))
            return exceptionPdu(req, 3);
        const unsigned k = u16(req, 2), v = u16(req, 4);
        if (v != 0xFF00 && v != 0x0000)
            return exceptionPdu(req, 3);
        auto it = in.coils.find(k);
        if (it == in.coils.end())
            return exceptionPdu(req, 2);
        it->second = v == 0xFF00;
        return req;
    }
    case 6: {
        if (!fixed(6))
            return exceptionPdu(req, 3);
        auto it = in.holding.find(u16(req, 2));
        if (it == in.holding.end())
            return exceptionPdu(req, 2);
        it->second = u16(req, 4);
        return req;
    }
    case 16: {
        if (n < 7)
            return exceptionPdu(req, 3);
        const unsigned start = u16(req, 2), count = u16(req, 4), bc = req[6];
        if (count < 1 || count > 123 || bc != count * 2 || n != 7 + bc)
            return exceptionPdu(req, 3);
        for (unsigned i = 0; i < count; ++i)
            if (!in.holding.count((start + i) & 0xFFFF))
                return exceptionPdu(req, 2);
        for (unsigned i = 0; i < count; ++i)
            in.holding[(start + i) & 0xFFFF] = u16(req, 7 + 2 * i);
        return Bytes(req.begin(), req.begin() + 6);
    }
    default:
        return exceptionPdu(req, 1);
    }
}

Answer Line::handleModbus(FrameKind kind, const std::string& frame, const LineSettings* seen)
{
    Answer a;
    Bytes req;
    if (kind == FrameKind::Rtu) {
        if (frame.size() < 4) {
            a.notes.push_back("dropped: too short for a frame");
            return a;
        }
        req.assign(frame.begin(), frame.end() - 2);
        const std::uint16_t got = std::uint16_t(std::uint8_t(frame[frame.size() - 2]) | std::uint8_t(frame.back()) << 8);
        if (crc16(req) != got) {
            a.notes.push_back("dropped: bad CRC");
            return a;
        }
    } else {
        // ':' hex pairs, LRC, CR LF
        std::string body = frame.substr(1);
        while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
            body.pop_back();
        Bytes all;
        if (!parseHexPairs(body, all) || all.size() < 3) {
            a.notes.push_back("dropped: not a frame of hex pairs");
            return a;
        }
        const std::uint8_t got = all.back();
        all.pop_back();
        if (lrc(all) != got) {
            a.notes.push_back("dropped: bad LRC");
            return a;
        }
        req = all;
    }
    if (req.size() < 2) {
        a.notes.push_back("dropped: no function code");
        return a;
    }
    const char proto = kind == FrameKind::Rtu ? 'R' : 'A';
    Instrument* in = find(req[0]);
    if (!in || !in->speaks(proto)) {
        a.notes.push_back("no instrument " + std::to_string(req[0]) + " speaking " + proto);
        return a;
    }
    if (!hears(*in, seen, a))
        return a;
    a.address = in->address;

    Fault f;
    const bool faulty = takeFault(*in, f);
    if (faulty)
        a.notes.push_back("fault " + f.text);
    if (faulty && f.kind == Fault::Silence)
        return a;
    if (faulty && f.kind == Fault::Flood) {
        a.send = true;
        a.floodMs = f.arg;
        return a;
    }

    Bytes pdu = faulty && f.kind == Fault::Refuse ? exceptionPdu(req, f.arg) : modbusReply(*in, req);
    if (faulty && f.kind == Fault::WrongAddr)
        pdu[0] = std::uint8_t(pdu[0] + 1);
    if (faulty && f.kind == Fault::WrongFunc)
        pdu[1] = std::uint8_t((pdu[1] & 0x80) | ((pdu[1] + 1) & 0x7F));

    a.send = true;
    a.bytes = kind == FrameKind::Rtu ? encodeRtu(pdu) : encodeAscii(pdu);
    if (faulty) {
        switch (f.kind) {
        case Fault::BadCheck:
            if (kind == FrameKind::Rtu) {
                a.bytes.back() = char(a.bytes.back() ^ 0xFF);
            } else {
                const std::string bad = hex2(unsigned(lrc(pdu) + 1));
                a.bytes.replace(a.bytes.size() - 4, 2, bad);
            }
            break;
        case Fault::Short: a.bytes.resize(a.bytes.size() - 2); break;
        case Fault::NoAck: a.bytes.pop_back(); break;
        case Fault::Slow: a.delayMs = f.arg; break;
        case Fault::Split: a.pieces = f.arg; break;
        default: break;
        }
    }
    return a;
}

Answer Line::handleZarn(const std::string& frame, const LineSettings* seen)
{
    Answer a;
    // STX 'Z' address(2) command(2|4) [data(6)] checksum(2) ETX
    const std::string body = frame.substr(2, frame.size() - 3);
    unsigned address = 0;
    if (body.size() < 6 || !parseHex(body.substr(0, 2), address)) {
        a.notes.push_back("dropped: no address");
        return a;
    }
    Instrument* in = find(int(address));
    if (!in || !in->speaks('Z')) {
        a.notes.push_back("no instrument " + std::to_string(address) + " speaking Z");
        return a;
    }
    if (!hears(*in, seen, a))
        return a;
    a.address = in->address;

    Fault f;
    const bool faulty = takeFault(*in, f);
    if (faulty)
        a.notes.push_back("fault " + f.text);
    if (faulty && f.kind == Fault::Silence)
        return a;
    if (faulty && f.kind == Fault::Flood) {
        a.send = true;
        a.floodMs = f.arg;
        return a;
    }

    const std::string summed = body.substr(0, body.size() - 2);
    const std::string sumText = body.substr(body.size() - 2);
    const std::string cmdData = summed.substr(2);
    unsigned sum = 0, cmd = 0;
    int refusal = 0;
    std::string data;
    if (!parseHex(sumText, sum) || sum != charSum(summed)) {
        refusal = 2;
    } else if (cmdData.size() != 2 && cmdData.size() != 4 && cmdData.size() != 10) {
        refusal = 5;
    } else if (!parseHex(cmdData.substr(0, cmdData.size() == 2 ? 2 : 4), cmd)) {
        refusal = 4;
    } else if (isWriteCommand(cmd)) {
        const bool wantsData = cmd < 0x400;
        if (cmdData.size() == 2 || (cmdData.size() == 10) != wantsData) {
            refusal = 5;
        } else {
            const std::string written = cmdData.substr(4);
            for (char c : written)
                if (!isHexDigit(c))
                    refusal = 4;
            // Only a write the instrument takes is kept: a refused one
            // leaves its reads and its record as they were.
            if (!refusal && !(faulty && f.kind == Fault::Refuse)) {
                refusal = takeZarnWrite(*in, cmd, written);
                if (!refusal)
                    in->zwritten[cmd] = written;
            }
        }
    } else if (cmdData.size() == 10) {
        refusal = 5;
    } else {
        auto it = in->zread.find(cmd);
        if (it == in->zread.end())
            refusal = 10;
        else
            data = it->second;
    }
    if (faulty && f.kind == Fault::Refuse)
        refusal = f.arg;

    a.send = true;
    const int replyAddress = faulty && f.kind == Fault::WrongAddr ? int(address + 1) : int(address);
    a.bytes = refusal ? zarnRefusal(replyAddress, refusal) : zarnReply(replyAddress, data);
    if (refusal)
        a.notes.push_back("refused with code " + std::to_string(refusal));
    if (faulty) {
        switch (f.kind) {
        case Fault::BadCheck:
            if (!refusal) {
                const std::string body2 = a.bytes.substr(1, a.bytes.size() - 4);
                a.bytes.replace(a.bytes.size() - 3, 2, hex2(unsigned(charSum(body2) + 1)));
            }
            break;
        case Fault::Short: a.bytes.resize(a.bytes.size() - 2); break;
        case Fault::NoAck: a.bytes.pop_back(); break;
        case Fault::Slow: a.delayMs = f.arg; break;
        case Fault::Split: a.pieces = f.arg; break;
        default: break;
        }
    }
    return a;
}

} // namespace sim
