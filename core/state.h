#pragma once
// Shared state of the module modZarn: everything more than one form uses,
// alive for the whole run.
#include <QString>
#include <QVector>
#include <array>
#include <vector>

namespace modZarn {

constexpr int kMaxRegister = 20480;
constexpr int kMaxModels = 15;

// ---- RunFlags ----
extern bool gDemoMode;
extern bool gCommOK;
extern bool gKT9PMode;
extern bool gCmdGapRequired;

// ---- RampCfgRequest ----
extern bool gRampCfgMode;
extern int gRampCfgAddress;
extern QString gRampCfgProtocol;
extern int gRampCfgGroup;

// ---- LogStatusTexts: "STARTED", "STOPPED", "FINISHED" for states 1..3 (index state-1) ----
extern std::array<QString, 4> gLogStatusText;

// ---- SystemSettings (one line each of the system configuration file) ----
extern int gCommPort;
extern float gBaudRate;
extern QString gParity;
extern int gDataBits;
extern int gStopBits;
extern int gPollTimeoutMs;
extern int gControllerGroup;
extern QString gProtocolCode;
extern float gPVPollSeconds;
extern float gSPPollSeconds;
extern QString gViewApp;
extern QString gDefaultFolder;

// ---- InstrumentTable: parallel arrays indexed 0..gControlCount (one spare) ----
extern int gControlCount;
extern QVector<QString> gCtlAddress;
extern QVector<QString> gCtlName;
extern QVector<QString> gCtlProtocol;
extern QVector<int> gCtlGroup;
extern QVector<int> gCtlLogState;       // 0 idle, 1 started, 2 stopped, 3 finished
extern QVector<double> gCtlLogStartSec; // UtcNow() * 86400 at the session start
extern QVector<double> gCtlLogStartDate;
extern QVector<int> gCtlLogDuration;    // minutes
extern QVector<float> gCtlLogRate;      // seconds between samples
extern QVector<int> gCtlDurationUnits;  // 0 hours, 1 minutes
extern QVector<int> gCtlRateUnits;      // 0 minutes per sample, 1 seconds per sample
extern QVector<QString> gCtlLogFile;
extern QVector<double> gCtlLogNextSec;
extern bool gLoggingActive;
// Resizes all thirteen arrays to upper bound `ubound` (keeping contents).
void RedimInstrumentArrays(int ubound);

// ---- Definition tables (element 0 unused) ----
extern std::array<int, 3> gModelCount;
extern std::array<std::array<QString, kMaxModels + 1>, 3> gModelID;
extern std::array<std::array<QString, kMaxModels + 1>, 3> gModelName;
extern std::array<std::array<QString, kMaxModels + 1>, 3> gModelType;
extern QString gModelFileName;
// gModelHasRegister[slot][register]
extern std::vector<std::vector<bool>> gModelHasRegister;
// gCfgField[register][column 0..3]
extern std::vector<std::array<int, 4>> gCfgField;
// gZarnXref[register][column 0..2]: 1 read command, 2 write command, -1 none
extern std::vector<std::array<int, 3>> gZarnXref;
extern std::vector<int> gXrefG;
extern std::vector<int> gXrefH;
extern QString gPassword;

// ---- ToolRecall: what the register and "Zarn Link" tools showed when last
// closed, for the next opening in the same run (never saved) ----
extern QString gRegLastAddress;
extern QString gRegLastRegister;
extern int gRegLastNumbering; // 1 program numbering, 0 native
extern int gRegLastGroup;
extern QString gZarnLinkLastAddress;
extern QString gZarnLinkLastCommand;

// ---- CommandStamp: time and address of the last "Zarn Link" read attempt ----
extern double gLastZarnReadTime;
extern int gLastZarnReadAddress;

// Puts every shared variable back to its start-of-run value (tests).
void ResetSharedState();

} // namespace modZarn
