#include "core/state.h"

#include <algorithm>
#include <cstdlib>

#include "core/exchange.h"
#include "platform/rterror.h"

namespace modZarn {

bool gDemoMode = false;
bool gCommOK = false;
bool gKT9PMode = false;
bool gCmdGapRequired = false;

bool gRampCfgMode = false;
int gRampCfgAddress = 0;
QString gRampCfgProtocol;
int gRampCfgGroup = 0;

bool gMonitorStop = false;
bool gMonitorBusy = false;
double gLastPVPollTime = 0;
double gLastSPPollTime = 0;

std::array<QString, 4> gLogStatusText;

int gCommPort = 0;
float gBaudRate = 0;
QString gParity;
int gDataBits = 0;
int gStopBits = 0;
int gPollTimeoutMs = 0;
int gControllerGroup = 0;
QString gProtocolCode;
float gPVPollSeconds = 0;
float gSPPollSeconds = 0;
QString gViewApp;
QString gDefaultFolder;

InstrumentTable gInstruments;

std::array<int, 3> gModelCount{};
std::array<std::array<QString, kMaxModels + 1>, 3> gModelID;
std::array<std::array<QString, kMaxModels + 1>, 3> gModelName;
std::array<std::array<QString, kMaxModels + 1>, 3> gModelType;
QString gModelFileName;
std::vector<std::vector<bool>> gModelHasRegister(kMaxModels + 1, std::vector<bool>(kMaxRegister + 1, false));
std::vector<std::array<int, 4>> gCfgField(kMaxRegister + 1, std::array<int, 4>{0, 0, 0, 0});
std::vector<std::array<int, 3>> gZarnXref(kMaxRegister + 1, std::array<int, 3>{0, 0, 0});
std::vector<int> gXrefG(kMaxRegister + 1, 0);
std::vector<int> gXrefH(kMaxRegister + 1, 0);
QString gPassword;

QString gRegLastAddress;
QString gRegLastRegister;
int gRegLastNumbering = 0;
int gRegLastGroup = 0;
QString gZarnLinkLastAddress;
QString gZarnLinkLastCommand;

double gLastZarnReadTime = 0;
int gLastZarnReadAddress = 0;

int gGraphXTicks = 0;
int gGraphYTicks = 0;
int gGraphXGrid = 0;
int gGraphYGrid = 0;
bool gGraphCfgChanged = false;

void InstrumentTable::check(int i) const
{
    if (i < 0 || i >= Count())
        rt::raise(rt::ErrSubscript);
}

InstrumentRecord& InstrumentTable::operator[](int i)
{
    check(i);
    return records_[size_t(i)];
}

const InstrumentRecord& InstrumentTable::operator[](int i) const
{
    check(i);
    return records_[size_t(i)];
}

void InstrumentTable::Resize(int n)
{
    records_.resize(size_t(std::max(n, 0)));
}

void InstrumentTable::Clear()
{
    records_.clear();
}

void InstrumentTable::Append(const InstrumentRecord& r)
{
    records_.push_back(r);
}

void InstrumentTable::RemoveAt(int i)
{
    check(i);
    records_.erase(records_.begin() + i);
}

QString InstrumentLabel(const InstrumentRecord& r)
{
    // Fixed columns, so that readers can take the label apart again: the
    // address in 1-3 (a two-digit address leaves column 3 blank), protocol
    // and group in 5 and 6, the name from 8.
    QString label(7, QLatin1Char(' '));
    const QString address = r.Address.left(3);
    label.replace(0, address.size(), address);
    const QString kind = (r.Protocol + QString::number(std::abs(r.Group))).left(2);
    label.replace(4, kind.size(), kind);
    return label + r.Name;
}

void ResetSharedState()
{
    gDemoMode = gCommOK = gKT9PMode = gCmdGapRequired = false;
    xchg::SetLineGone(false);
    xchg::ForgetOwedAnswers();
    gRampCfgMode = false;
    gRampCfgAddress = 0;
    gRampCfgProtocol.clear();
    gRampCfgGroup = 0;
    gMonitorStop = gMonitorBusy = false;
    gLastPVPollTime = gLastSPPollTime = 0;
    gLogStatusText = {};
    gCommPort = 0;
    gBaudRate = 0;
    gParity.clear();
    gDataBits = gStopBits = gPollTimeoutMs = gControllerGroup = 0;
    gProtocolCode.clear();
    gPVPollSeconds = gSPPollSeconds = 0;
    gViewApp.clear();
    gDefaultFolder.clear();
    gInstruments.Clear();
    gInstruments.LoggingActive = false;
    gModelCount = {};
    for (int g = 0; g < 3; ++g)
        for (int s = 0; s <= kMaxModels; ++s) {
            gModelID[g][s].clear();
            gModelName[g][s].clear();
            gModelType[g][s].clear();
        }
    gModelFileName.clear();
    for (auto& row : gModelHasRegister)
        std::fill(row.begin(), row.end(), false);
    for (auto& r : gCfgField) r = {0, 0, 0, 0};
    for (auto& r : gZarnXref) r = {0, 0, 0};
    std::fill(gXrefG.begin(), gXrefG.end(), 0);
    std::fill(gXrefH.begin(), gXrefH.end(), 0);
    gPassword.clear();
    gRegLastAddress.clear();
    gRegLastRegister.clear();
    gRegLastNumbering = 0;
    gRegLastGroup = 0;
    gZarnLinkLastAddress.clear();
    gZarnLinkLastCommand.clear();
    gLastZarnReadTime = 0;
    gLastZarnReadAddress = 0;
    gGraphXTicks = gGraphYTicks = gGraphXGrid = gGraphYGrid = 0;
    gGraphCfgChanged = false;
}

} // namespace modZarn
