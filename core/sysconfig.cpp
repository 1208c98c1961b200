#include "core/sysconfig.h"

#include <QRegularExpression>

#include "core/state.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"

namespace modZarn {

namespace {

// A numeric field of an instrument record must hold a number. A name or
// address with a comma in it pushes the following fields along, so the
// protocol letter lands where the group number belongs; refusing that stops
// the read at the broken record instead of filling the table with garbage.
double RecordNumber(rt::InputFile& f)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([EeDd][+-]?\\d+)?$|^&[Hh][0-9A-Fa-f]+$"));
    const QString item = f.inputItem();
    if (!item.isEmpty() && !number.match(item).hasMatch())
        rt::raise(rt::ErrTypeMismatch);
    return rt::Val(item);
}

// Raises an error naming the first value that would not read back as written.
void CheckStorable()
{
    const auto refuse = [](const QString& what, const QString& why) {
        rt::raise(rt::ErrIllegalCall, QStringLiteral("The ") + what + QStringLiteral(" cannot be stored: it holds ")
                                          + why);
    };
    const QString lineEnd = QStringLiteral("a line end");
    const QString itemBreak = QStringLiteral("a line end, a comma or a leading double quote");
    if (!IsStorableText(gParity))
        refuse(QStringLiteral("parity"), itemBreak);
    if (!IsStorableText(gProtocolCode))
        refuse(QStringLiteral("protocol code"), itemBreak);
    if (!IsStorableLine(gViewApp))
        refuse(QStringLiteral("log viewer program"), lineEnd);
    if (!IsStorableLine(gDefaultFolder))
        refuse(QStringLiteral("data folder"), lineEnd);
    for (const InstrumentRecord& r : gInstruments) {
        if (!IsStorableText(r.Address) || !IsStorableText(r.Name) || !IsStorableText(r.Protocol))
            refuse(QStringLiteral("instrument ") + r.Address.simplified() + QStringLiteral(" ")
                       + r.Name.simplified(),
                   itemBreak);
    }
}

} // namespace

QString SystemConfigFileName()
{
    return gKT9PMode ? QStringLiteral("KT9-P.cfg") : QStringLiteral("Quinrex3.cfg");
}

bool IsStorableLine(const QString& text)
{
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'));
}

bool IsStorableText(const QString& text)
{
    return IsStorableLine(text) && !text.contains(QLatin1Char(','))
        && !rt::LTrim(text).startsWith(QLatin1Char('"'));
}

QString CommSettingsString()
{
    return rt::CStrSingle(gBaudRate) + QLatin1Char(',') + gParity.left(1) + QLatin1Char(',')
        + QString::number(gDataBits) + QLatin1Char(',') + QString::number(gStopBits);
}

void SaveSystemConfig()
{
    const QString name = SystemConfigFileName();
    try {
        CheckStorable();
        rt::OutputFile f(App::file(name), rt::OutputFile::Replace);
        f.printNumberLine(gCommPort);
        f.printSingleLine(gBaudRate);
        f.printLine(gParity);
        f.printNumberLine(gDataBits);
        f.printNumberLine(gStopBits);
        f.printNumberLine(gPollTimeoutMs);
        f.printNumberLine(gControllerGroup);
        f.printLine(gProtocolCode);
        f.printSingleLine(gPVPollSeconds);
        f.printSingleLine(gSPPollSeconds);
        f.printLine(gViewApp);
        f.printLine(gDefaultFolder);
        for (const InstrumentRecord& r : gInstruments) {
            f.printLine(r.Address);
            f.printLine(r.Name);
            f.printLine(r.Protocol);
            f.printNumberLine(r.Group);
            f.printNumberLine(r.DurationUnits);
            f.printNumberLine(r.LogDuration);
            f.printNumberLine(r.RateUnits);
            f.printSingleLine(r.LogRate);
        }
        f.close();
    } catch (const rt::RtError& e) {
        // An unfinished file is discarded when f goes out of scope, so the
        // previous file stays as it was.
        mb::AppError(e, QStringLiteral("modZarn.SaveSystemConfig"),
                     QStringLiteral("An application error has occurred writing file ") + name
                         + QStringLiteral(" file:"));
    }
}

void ReadSystemConfig()
{
    const QString name = SystemConfigFileName();
    try {
        rt::InputFile f(App::file(name));
        gCommPort = rt::CInt(rt::Val(f.inputItem()));
        gBaudRate = rt::CSng(rt::Val(f.inputItem()));
        gParity = f.inputItem();
        gDataBits = rt::CInt(rt::Val(f.inputItem()));
        gStopBits = rt::CInt(rt::Val(f.inputItem()));
        gPollTimeoutMs = rt::CInt(rt::Val(f.inputItem()));
        gControllerGroup = rt::CInt(rt::Val(f.inputItem()));
        gProtocolCode = f.inputItem();
        gPVPollSeconds = rt::CSng(rt::Val(f.inputItem()));
        gSPPollSeconds = rt::CSng(rt::Val(f.inputItem()));
        gViewApp = f.lineInput();
        gDefaultFolder = f.lineInput();

        gInstruments.Clear();
        while (!f.eof()) {
            // The record is taken into the table only once it is complete, so
            // a record cut short leaves no half-filled element behind.
            InstrumentRecord r;
            r.Address = f.inputItem();
            r.Name = f.inputItem();
            r.Protocol = f.inputItem();
            r.Group = rt::CInt(RecordNumber(f));
            r.DurationUnits = rt::CInt(RecordNumber(f));
            r.LogDuration = rt::CInt(RecordNumber(f));
            r.RateUnits = rt::CInt(RecordNumber(f));
            r.LogRate = rt::CSng(RecordNumber(f));
            gInstruments.Append(r);
        }
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ReadSystemConfig"),
                     QStringLiteral("An application error has occurred reading ") + name
                         + QStringLiteral(" file:"));
    }
}

} // namespace modZarn
