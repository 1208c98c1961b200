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

// ---- MonitorPollState: shared by the monitor's two windows, its poll and
// its commands ----
extern bool gMonitorStop;       // set on deactivation: a running pass ends after its row
extern bool gMonitorBusy;       // code is filling monitor rows: their change handlers do nothing
extern double gLastPVPollTime;  // start of the last process-value pass, seconds since midnight
extern double gLastSPPollTime;  // start of the last set-point pass; kPollNow forces one
constexpr double kPollNow = -99999;

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

// ---- InstrumentTable ----
// One configured instrument. The first group of fields is stored in the
// system configuration file; the logging fields below it live for the run.
struct InstrumentRecord {
    QString Address;        // two hex digits in group 0, three decimal digits otherwise
    QString Name;           // at most 21 characters
    QString Protocol;       // "Z", "R" or "A"
    int Group = 0;          // controller group 0..2
    int LogState = 0;       // 0 idle, 1 started, 2 stopped, 3 finished
    double LogStartSec = 0; // UtcNow() * 86400 at the session start
    double LogStartDate = 0; // local date number of the session start
    int LogDuration = 0;    // minutes
    float LogRate = 0;      // seconds between samples
    int DurationUnits = 0;  // 0 hours, 1 minutes
    int RateUnits = 0;      // 0 minutes per sample, 1 seconds per sample
    QString LogFile;        // full path of the session's log file
    double LogNextSec = 0;  // offset from LogStartSec of the next due sample
};

// The configured instruments in list order. Every access is checked: an
// index outside 0..Count()-1 raises run-time error 9 instead of reaching
// past the end.
class InstrumentTable {
public:
    int Count() const { return int(records_.size()); }
    InstrumentRecord& operator[](int i);
    const InstrumentRecord& operator[](int i) const;
    // Grows with fresh records (idle, no times, no file) or drops the tail.
    void Resize(int n);
    void Clear();
    void Append(const InstrumentRecord& r);
    void RemoveAt(int i);

    auto begin() { return records_.begin(); }
    auto end() { return records_.end(); }
    auto begin() const { return records_.begin(); }
    auto end() const { return records_.end(); }

    // Some instrument was logging during the latest logging tick; only the
    // logging engine sets it.
    bool LoggingActive = false;

private:
    void check(int i) const;
    std::vector<InstrumentRecord> records_;
};

extern InstrumentTable gInstruments;

// The text that names an instrument in monitor rows, graph pens and their
// files: address in 3 columns, a blank, protocol, group digit, a blank, name.
QString InstrumentLabel(const InstrumentRecord& r);

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

// ---- GraphSettings: the trend graph's ticks and grids (Graph.val) ----
extern int gGraphXTicks;
extern int gGraphYTicks;
extern int gGraphXGrid; // 1 vertical grid lines, 0 none
extern int gGraphYGrid; // 1 horizontal grid lines, 0 none
extern bool gGraphCfgChanged;

// Puts every shared variable back to its start-of-run value (tests).
void ResetSharedState();

} // namespace modZarn
