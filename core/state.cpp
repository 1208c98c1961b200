#include "core/state.h"

#include "core/exchange.h"

namespace modZarn {

bool gDemoMode = false;
bool gCommOK = false;
bool gKT9PMode = false;
bool gCmdGapRequired = false;

bool gRampCfgMode = false;
int gRampCfgAddress = 0;
QString gRampCfgProtocol;
int gRampCfgGroup = 0;

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

int gControlCount = 0;
QVector<QString> gCtlAddress;
QVector<QString> gCtlName;
QVector<QString> gCtlProtocol;
QVector<int> gCtlGroup;
QVector<int> gCtlLogState;
QVector<double> gCtlLogStartSec;
QVector<double> gCtlLogStartDate;
QVector<int> gCtlLogDuration;
QVector<float> gCtlLogRate;
QVector<int> gCtlDurationUnits;
QVector<int> gCtlRateUnits;
QVector<QString> gCtlLogFile;
QVector<double> gCtlLogNextSec;
bool gLoggingActive = false;

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

void RedimInstrumentArrays(int ubound)
{
    const int n = ubound + 1;
    gCtlAddress.resize(n);
    gCtlName.resize(n);
    gCtlProtocol.resize(n);
    gCtlGroup.resize(n);
    gCtlLogState.resize(n);
    gCtlLogStartSec.resize(n);
    gCtlLogStartDate.resize(n);
    gCtlLogDuration.resize(n);
    gCtlLogRate.resize(n);
    gCtlDurationUnits.resize(n);
    gCtlRateUnits.resize(n);
    gCtlLogFile.resize(n);
    gCtlLogNextSec.resize(n);
}

void ResetSharedState()
{
    gDemoMode = gCommOK = gKT9PMode = gCmdGapRequired = false;
    xchg::SetLineGone(false);
    gRampCfgMode = false;
    gRampCfgAddress = 0;
    gRampCfgProtocol.clear();
    gRampCfgGroup = 0;
    gLogStatusText = {};
    gCommPort = 0;
    gBaudRate = 0;
    gParity.clear();
    gDataBits = gStopBits = gPollTimeoutMs = gControllerGroup = 0;
    gProtocolCode.clear();
    gPVPollSeconds = gSPPollSeconds = 0;
    gViewApp.clear();
    gDefaultFolder.clear();
    gControlCount = 0;
    RedimInstrumentArrays(-1);
    gLoggingActive = false;
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
}

} // namespace modZarn
