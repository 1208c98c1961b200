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

} // namespace

QString SystemConfigFileName()
{
    return gKT9PMode ? QStringLiteral("KT9-P.cfg") : QStringLiteral("Quinrex3.cfg");
}

bool IsStorableText(const QString& text)
{
    return !text.contains(QLatin1Char(',')) && !text.startsWith(QLatin1Char('"'));
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
        for (int i = 0; i < gControlCount; ++i) {
            if (i >= gCtlAddress.size() || i >= gCtlName.size() || i >= gCtlProtocol.size()
                || i >= gCtlGroup.size() || i >= gCtlDurationUnits.size()
                || i >= gCtlLogDuration.size() || i >= gCtlRateUnits.size() || i >= gCtlLogRate.size())
                rt::raise(rt::ErrSubscript);
            f.printLine(gCtlAddress[i]);
            f.printLine(gCtlName[i]);
            f.printLine(gCtlProtocol[i]);
            f.printNumberLine(gCtlGroup[i]);
            f.printNumberLine(gCtlDurationUnits[i]);
            f.printNumberLine(gCtlLogDuration[i]);
            f.printNumberLine(gCtlRateUnits[i]);
            f.printSingleLine(gCtlLogRate[i]);
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

        gControlCount = 0;
        while (!f.eof()) {
            // The record is taken into the table only once it is complete, so
            // a record cut short leaves no half-filled element behind.
            const QString address = f.inputItem();
            const QString ctlName = f.inputItem();
            const QString protocol = f.inputItem();
            const int group = rt::CInt(RecordNumber(f));
            const int durationUnits = rt::CInt(RecordNumber(f));
            const int duration = rt::CInt(RecordNumber(f));
            const int rateUnits = rt::CInt(RecordNumber(f));
            const float rate = rt::CSng(RecordNumber(f));

            const int i = gControlCount;
            RedimInstrumentArrays(i + 1);
            gCtlAddress[i] = address;
            gCtlName[i] = ctlName;
            gCtlProtocol[i] = protocol;
            gCtlGroup[i] = group;
            gCtlDurationUnits[i] = durationUnits;
            gCtlLogDuration[i] = duration;
            gCtlRateUnits[i] = rateUnits;
            gCtlLogRate[i] = rate;
            gControlCount = i + 1;
        }
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ReadSystemConfig"),
                     QStringLiteral("An application error has occurred reading ") + name
                         + QStringLiteral(" file:"));
    }
}

} // namespace modZarn
