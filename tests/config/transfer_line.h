#pragma once
// The configuration screen on the simulator's line: an instrument with a value
// for every register of a sample model, and what the screen should show.
#include <QStringList>
#include <functional>
#include <map>
#include <sstream>

#include "config/frmConfig.h"
#include "config/parammap.h"
#include "config_user.h"
#include "core/deffiles.h"
#include "core/helpers.h"
#include "core/state.h"
#include "platform/runtime.h"
#include "support/simline.h"

class TransferLineTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        copySampleData();
    }

    static FrmConfig& open(int group, const char* protocol) { return cfguser::loadScreen(group, protocol); }
    static int slotOf(int group, const QString& id)
    {
        for (int i = 1; i <= modZarn::gModelCount[std::size_t(group)]; ++i)
            if (modZarn::gModelID[std::size_t(group)][std::size_t(i)] == id)
                return i;
        return 0;
    }
    static void selectModel(FrmConfig& f, const QString& id)
    {
        f.cbxModelID(modZarn::gControllerGroup)->setListIndex(slotOf(modZarn::gControllerGroup, id) - 1);
    }
    static const std::array<int, 4>& field(int reg) { return modZarn::gCfgField[std::size_t(reg)]; }
    static bool has(int slot, int reg) { return modZarn::gModelHasRegister[std::size_t(slot)][std::size_t(reg)]; }

    // The simulator's bank and wire register of a program register ("" for none).
    static std::pair<std::string, int> wireOf(int group, int reg)
    {
        if (group == 0)
            return {"reg", reg - 1};
        const int t = group == 1 ? modZarn::gXrefG[std::size_t(reg)] : modZarn::gXrefH[std::size_t(reg)];
        if (t < 0)
            return {"", -1};
        if (group == 1 && (t == 0x12 || t == 0x13))
            return {"preg", t};
        if (group == 1 && t >= 0x810 && t <= 0x816)
            return {"coil", t};
        return {"reg", t};
    }

    // The instrument's value for a register: within the field's limits,
    // negative for two reset registers, and for lists that take codes a code
    // other than the list position.
    static int rawFor(int reg)
    {
        const auto& f = field(reg);
        switch (f[1]) {
        case 1: {
            const int v = f[2] + (reg * 7) % (f[3] - f[2] + 1);
            return reg == 274 || reg == 276 ? -v - 1 : v;
        }
        case 2: {
            static const std::map<int, int> codes = {{769, 6},    {772, 8},    {775, 16},     {776, 4},
                                                     {777, 48},   {778, 64},   {0x1071, 5},   {0x4731, 22},
                                                     {0x102C, 11}};
            const auto it = codes.find(reg);
            return it != codes.end() ? it->second : f[2] + (reg * 3) % (f[3] - f[2] + 1);
        }
        case 3: return (reg * 0x9E37) & 0xFFFF;
        default: return 0;
        }
    }
    // The list position such a value selects.
    static int indexFor(int reg)
    {
        static const std::map<int, int> positions = {{769, 1}, {772, 2},    {775, 1},    {776, 0},    {777, 3},
                                                     {778, 4}, {0x1071, 4}, {0x4731, 2}, {0x102C, 2}};
        const auto it = positions.find(reg);
        return it != positions.end() ? it->second : rawFor(reg);
    }

    // Instrument `address` holding model `id`, decimal point 1 and `inputType`;
    // each register of the model holds `value` of it (rawFor when none).
    std::string lineFor(int group, int address, const QString& id, const char* protocol, int inputType,
                        const std::function<int(int)>& value = {})
    {
        std::ostringstream d;
        d << "instrument " << address << " group " << group << " protocol " << protocol << "\n";
        const auto put = [&](int reg, int value) {
            const auto [bank, wire] = wireOf(group, reg);
            if (!bank.empty())
                d << bank << ' ' << address << ' ' << wire << ' ' << (bank == "coil" ? value & 1 : value & 0xFFFF)
                  << "\n";
        };
        const QByteArray ascii = id.toLatin1();
        put(1794, group == 1 ? (id == "XG" ? 1 : 2) : ascii[0] * 256 + ascii[1]);
        put(795, 1);
        put(792, inputType);
        // The write-only switches a send uses must exist to take writes.
        if (group == 0)
            for (int reg : {1033, 1034, 1055, 1056, 1067, 1068, 1069, 1070, 1071, 1072, 1073, 1074, 805, 813})
                put(reg, 0);
        const int slot = slotOf(group, id);
        for (int reg = 1; reg <= modZarn::kMaxRegister; ++reg)
            if (has(slot, reg) && field(reg)[1] >= 1 && field(reg)[1] <= 3)
                put(reg, value ? value(reg) : rawFor(reg));
        return d.str();
    }

    // Every shown field of the model holds the instrument's value; returns how many.
    int expectFilledFromLine(FrmConfig& f, int slot)
    {
        int compared = 0;
        for (int reg = 1; reg <= modZarn::kMaxRegister; ++reg) {
            const auto& fd = field(reg);
            if (!has(slot, reg) || fd[1] < 1 || fd[1] > 3)
                continue;
            const int raw = rawFor(reg);
            if (fd[1] == 1 && reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast) {
                const int i = reg - cfgmap::kPattTimeFirst;
                if (!ctl::Visible(f.txtPattHour(i)))
                    continue;
                EXPECT_EQ(f.txtPattHour(i)->Text(), QString::asprintf("%02d", raw / 60)) << reg;
                EXPECT_EQ(f.txtPattMin(i)->Text(), QString::asprintf("%02d", raw % 60)) << reg;
                ++compared;
            } else if (fd[1] == 1) {
                if (!ctl::Visible(f.txtParameter(reg)))
                    continue;
                float scale = 1;
                const QString format = f.DecimalPointFormat(reg, scale);
                const bool reset = reg >= cfgmap::kReset1 && reg <= cfgmap::kReset4;
                EXPECT_EQ(f.txtParameter(reg)->Text(), rt::Format((reset ? std::abs(raw) : raw) / scale, format)) << reg;
                if (reset)
                    EXPECT_EQ(f.cbxReset(reg)->ListIndex(), raw < 0 ? 0 : 1) << reg;
                ++compared;
            } else if (fd[1] == 2) {
                if (!ctl::Visible(f.cbxParameter(reg)))
                    continue;
                EXPECT_EQ(f.cbxParameter(reg)->ListIndex(), indexFor(reg)) << reg;
                ++compared;
            } else if (!(reg >= 1067 && reg <= 1074)) {
                const bool writeOnly = reg == 1028 || reg == 1029 || reg == 1031 || reg == 1032 || reg == 1035
                    || reg == 1036;
                for (int bit = fd[2]; bit <= fd[3]; ++bit) {
                    CheckBox* box = f.bitBox(reg, bit);
                    if (!ctl::Visible(box))
                        continue;
                    EXPECT_EQ(box->Value(), writeOnly ? 0 : (raw >> bit) & 1) << reg << " bit " << bit;
                    ++compared;
                }
            }
        }
        return compared;
    }

    // The requests since the log was cleared: "R <reg>" and "W <reg>=<value>".
    std::vector<std::string> wire() const
    {
        std::vector<std::string> out;
        for (QByteArray frame : sim_.requests()) {
            if (frame.startsWith(':')) // Modbus ASCII: hex between ':' and the LRC
                frame = QByteArray::fromHex(frame.mid(1, frame.size() - 5));
            if (frame.size() < 6)
                continue;
            const auto word = [&](int at) { return (std::uint8_t(frame[at]) << 8) | std::uint8_t(frame[at + 1]); };
            const int fn = std::uint8_t(frame[1]);
            const int reg = word(2);
            std::ostringstream s;
            if (fn == 3 || fn == 4 || fn == 2 || fn == 103)
                s << "R " << reg;
            else if (fn == 5)
                s << "W " << reg << '=' << (word(4) == 0xFF00 ? 1 : 0);
            else if (fn == 6)
                s << "W " << reg << '=' << std::int16_t(word(4));
            else if (fn == 16)
                s << "W " << reg << '=' << std::int16_t(word(7));
            else
                s << "? " << fn;
            out.push_back(s.str());
        }
        return out;
    }
};
