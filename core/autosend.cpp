#include "core/autosend.h"

#include <algorithm>

#include "config/frmConfig.h"
#include "core/helpers.h"
#include "core/state.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/textfile.h"

namespace modZarn {

namespace {

// Ends the program after a message: nothing else is unloaded or saved.
[[noreturn]] void EndWith(const QString& title, const QString& text, int status)
{
    mb::MsgBox(text, mb::Exclamation, title);
    App::end(status);
}

bool AskNextInstrument(const QString& text)
{
    return mb::MsgBox(text, mb::YesNo | mb::DefaultButton2, QStringLiteral("Continue With Next Instrument")) == mb::Yes;
}

// Sends the loaded configuration to one address text; `status` takes the
// worst outcome so far. Ends the program when the user chose to stop.
void SendTo(FrmConfig& f, QString address, const QString& file, bool moreFollows, int& status)
{
    const int g = gControllerGroup;
    const int number = AddressToNumber(g, address);
    if (number < 1 || number > 255) {
        status = std::max<int>(status, kAddressProblem);
        if (!AskNextInstrument(QStringLiteral("The send to instrument address: ") + address
                               + QStringLiteral(" is invalid.  Do you want to continue with the next address ?")))
            App::end(status);
        f.lblAutoSendFileName->setText(QString());
        return;
    }
    address = AddressToText(g, number);
    f.lblAutoSendFileName->setText(QStringLiteral("Sending file >") + file + QStringLiteral("  to instrument ")
                                   + address);
    f.cbxAddress->setText(address);
    if (f.ModelID() == QLatin1String("RS")) {
        gRampCfgMode = true;
        gRampCfgAddress = AddressToNumber(g, address);
        gRampCfgProtocol = gProtocolCode;
        gRampCfgGroup = g;
        // The programme pages: a strip without a third page keeps its page.
        TabStrip* strip = f.tabConfig(g);
        if (strip->Tabs() > 2)
            strip->setTab(2);
    } else {
        gRampCfgMode = false;
    }
    bool failed = true;
    f.SendControllerParameters(failed, true);
    if (failed)
        status = kSendFailed;
    if (failed && moreFollows
        && !AskNextInstrument(QStringLiteral("The send to instrument address ") + address
                              + QStringLiteral(" failed.  Do you want to continue with the next address ?")))
        App::end(status);
    f.lblAutoSendFileName->setText(QString());
}

} // namespace

void AutoSendParameterFile(QString CommandLine)
{
    // What a run-time error leaves unfinished: the file, then the addresses.
    int stage = kFileProblem;
    int status = kSent; // the worst outcome of the addresses sent so far
    try {
        FrmConfig& f = frmConfig();
        f.Show();

        // The file name: quotes switch quoting on and off and are dropped; a
        // blank outside quotes ends the name.
        QString file;
        bool quoted = false;
        qsizetype pos = 0;
        for (; pos < CommandLine.size(); ++pos) {
            const QChar c = CommandLine[pos];
            if (c == u'"') {
                quoted = !quoted;
                continue;
            }
            if (c == u' ' && !quoted) {
                ++pos;
                break;
            }
            file += c;
        }
        file = file.trimmed();
        if (file.isEmpty())
            return;
        // A bare name lies in the program's folder.
        if (!file.contains(u'\\') && !file.contains(u':') && !file.contains(u'/'))
            file = App::file(file);
        if (!rt::FileExists(file))
            EndWith(QStringLiteral("Auto Send File Not Found"),
                    QStringLiteral("The file name >") + file
                        + QStringLiteral("  passed to the program to automatically send to an instrument does not "
                                         "exist or needs the folder path name.  This program will terminate."),
                    kFileProblem);
        if (f.ReadParameterFile(file) != 0)
            EndWith(QStringLiteral("Auto Send File Not Found"),
                    QStringLiteral("The file name >") + file
                        + QStringLiteral("  passed to the program to automatically send to an instrument failed to "
                                         "load properly.  This program will terminate."),
                    kFileProblem);
        const QString rest = CommandLine.mid(pos).toUpper();
        if (rest.trimmed().isEmpty())
            EndWith(QStringLiteral("No Addresses Given"),
                    QStringLiteral("No instrument addresses were given to send file >") + file
                        + QStringLiteral("  to an instrument.  This program will terminate."),
                    kAddressProblem);

        // Addresses: hexadecimal digits collected, a blank ends one, any
        // other character dropped (so "01,02" is the one address 0102).
        stage = kAddressProblem;
        QString address;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            const QChar c = rest[i];
            if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) {
                address += c;
            } else if (c == u' ' && !address.isEmpty()) {
                SendTo(f, address, file, !rest.mid(i + 1).trimmed().isEmpty(), status);
                address.clear();
            }
        }
        if (!address.isEmpty())
            SendTo(f, address, file, false, status);
        App::end(status);
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.AutoSendParameterFile"));
        // The program stays running; when it ends, its status tells that
        // the send did not complete.
        App::setExitStatus(std::max(stage, status));
    }
}

} // namespace modZarn
