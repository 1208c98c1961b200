#include "core/deffiles.h"

#include <vector>

#include "core/state.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"

namespace modZarn {

namespace {

constexpr int kHeaderLines = 5;

QString ReadingFirstLine(const QString& file)
{
    return QStringLiteral("An application error has occurred reading ") + file
        + QStringLiteral(" file:");
}

// Register texts ending in an upper-case "H" are hexadecimal ("102H" is 258);
// the trailing H simply ends the number.
int RegisterNumber(const QString& text)
{
    if (text.endsWith(QLatin1Char('H')))
        return rt::CInt(rt::Val(QStringLiteral("&H") + text));
    return rt::CInt(rt::Val(text));
}

int HexNumber(const QString& text) { return rt::CInt(rt::Val(QStringLiteral("&H") + text)); }

bool NoEntry(const QString& text) { return text.isEmpty() || text == QLatin1String("??"); }

bool InRange(int reg) { return reg >= 1 && reg <= kMaxRegister; }

void InvalidRegisterInTable(int reg, const QString& file)
{
    mb::MsgBox(QStringLiteral("The Modbus Register") + rt::Str(reg) + QStringLiteral(" in file >")
                   + file + QStringLiteral(" is invalid.  This may cause improper configuration data."),
               mb::Critical, QStringLiteral("Invalid Modbus Register"));
}

// The two Modbus cross-reference tables share one reader; above `identityFrom`
// the instrument's register equals the program's register.
void ReadModbusXref(std::vector<int>& table, const QString& file, int identityFrom,
                    const QString& routine)
{
    try {
        for (int r = 1; r <= kMaxRegister; ++r)
            table[r] = -1;
        rt::InputFile f(App::file(file));
        f.skipLines(kHeaderLines);
        while (!f.eof()) {
            const int reg = RegisterNumber(f.inputItem());
            const QString target = f.inputItem();
            if (InRange(reg)) {
                if (!NoEntry(target))
                    table[reg] = HexNumber(target);
            } else {
                InvalidRegisterInTable(reg, file);
            }
        }
        f.close();
        for (int r = identityFrom; r <= kMaxRegister; ++r)
            table[r] = r;
    } catch (const rt::RtError& e) {
        mb::AppError(e, routine, ReadingFirstLine(file));
    }
}

} // namespace

void ReadModelFile()
{
    gModelFileName = gKT9PMode ? QStringLiteral("ModelID-1.txt") : QStringLiteral("ModelID.txt");
    try {
        rt::InputFile f(App::file(gModelFileName));
        f.skipLines(kHeaderLines);
        gModelCount = {0, 0, 0};
        while (!f.eof()) {
            const QString id = f.inputItem();
            const QString name = f.inputItem();
            const QString type = f.inputItem();
            const int group = rt::CInt(rt::Val(f.inputItem()));
            if (group < 0 || group > 2)
                rt::raise(rt::ErrSubscript);
            if (gModelCount[group] == kMaxModels) {
                mb::MsgBox(QStringLiteral("There are too many model ID's in the file ") + gModelFileName
                               + QStringLiteral(".  The remaining model ID's will be ignored."),
                           mb::Critical, QStringLiteral("Too Many Model ID's"));
                return;
            }
            const int slot = ++gModelCount[group];
            gModelID[group][slot] = id;
            gModelName[group][slot] = name;
            gModelType[group][slot] = type;
            if (group == gControllerGroup)
                ReadModelRegisters(group, gModelID[group][slot], slot);
        }
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ReadModelFile"), ReadingFirstLine(gModelFileName));
    }
}

void ReadModelRegisters(int Group, const QString& ModelID, int ModelIndex)
{
    const QString path = App::file(ModelID + QStringLiteral(".TXT"));
    try {
        if (ModelIndex < 0 || ModelIndex > kMaxModels)
            rt::raise(rt::ErrSubscript);
        rt::InputFile f(path);
        f.skipLines(kHeaderLines);
        auto& row = gModelHasRegister[ModelIndex];
        for (int r = 1; r <= kMaxRegister; ++r)
            row[r] = false;
        while (!f.eof()) {
            const QString item = f.inputItem();
            const int reg = Group == 0 ? rt::CInt(rt::Val(item)) : HexNumber(item);
            if (!InRange(reg)) {
                mb::MsgBox(QStringLiteral("The Modbus Register") + rt::Str(reg)
                               + QStringLiteral(" in file >") + path
                               + QStringLiteral("is invalid.  This model will perform proper configuration."),
                           mb::Critical, QStringLiteral("Invalid Modbus Register"));
                return;
            }
            row[reg] = true;
        }
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ReadModelRegisters."), ReadingFirstLine(path));
    }
}

void ReadCfgFieldFile()
{
    const QString file = QStringLiteral("CfgField.TXT");
    try {
        rt::InputFile f(App::file(file));
        f.skipLines(kHeaderLines);
        while (!f.eof()) {
            const int reg = RegisterNumber(f.inputItem());
            const int kind = rt::CInt(rt::Val(f.inputItem()));
            const int first = rt::CInt(rt::Val(f.inputItem()));
            const int second = rt::CInt(rt::Val(f.inputItem()));
            if (InRange(reg)) {
                gCfgField[reg][1] = kind;
                gCfgField[reg][2] = first;
                gCfgField[reg][3] = second;
            } else {
                InvalidRegisterInTable(reg, file);
            }
        }
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ReadCfgFieldFile"), ReadingFirstLine(file));
    }
}

void ReadZarnXrefFile()
{
    const QString file = QStringLiteral("ZarnXref.TXT");
    try {
        for (int r = 1; r <= kMaxRegister; ++r) {
            gZarnXref[r][1] = -1;
            gZarnXref[r][2] = -1;
        }
        rt::InputFile f(App::file(file));
        f.skipLines(kHeaderLines);
        while (!f.eof()) {
            const int reg = rt::CInt(rt::Val(f.inputItem()));
            const QString readCmd = f.inputItem();
            const QString writeCmd = f.inputItem();
            if (InRange(reg)) {
                if (!NoEntry(readCmd))
                    gZarnXref[reg][1] = HexNumber(readCmd);
                if (!NoEntry(writeCmd))
                    gZarnXref[reg][2] = HexNumber(writeCmd);
            } else {
                InvalidRegisterInTable(reg, file);
            }
        }
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ReadZarnXrefFile"), ReadingFirstLine(file));
    }
}

void ReadxxGXrefFile()
{
    ReadModbusXref(gXrefG, QStringLiteral("xxGXref.TXT"), 0x810, QStringLiteral("modZarn.ReadxxGXrefFile"));
}

void ReadxxHXrefFile()
{
    ReadModbusXref(gXrefH, QStringLiteral("xxHXref.TXT"), 0x4700, QStringLiteral("modZarn.ReadxxHXrefFile"));
}

void ReadPasswordFile()
{
    const QString file = QStringLiteral("Password.txt");
    try {
        rt::InputFile f(App::file(file));
        gPassword = f.inputItem();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ReadPasswordFile"), ReadingFirstLine(file));
    }
}

void ReadDefinitionFiles()
{
    ReadModelFile();
    ReadCfgFieldFile();
    ReadZarnXrefFile();
    ReadxxGXrefFile();
    ReadxxHXrefFile();
    ReadPasswordFile();
}

} // namespace modZarn
