// The configuration screen's commands: the top row that moves a
// configuration between screen, instrument and file, and the navigation
// buttons that ask about unsaved edits before the screen is left.
#include "config/frmConfig.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "platform/app.h"
#include "platform/builders.h"
#include "platform/filedialog.h"
#include "shell/navigation.h"

namespace {

const QString kFilter = QStringLiteral("Configuration Files (*.csv)");

// The folder a file dialog opens in: that of the last file, else the program's.
QString DialogFolder(const QString& lastFile)
{
    if (lastFile.isEmpty())
        return App::path();
    const qsizetype cut = std::max(lastFile.lastIndexOf(u'/'), lastFile.lastIndexOf(u'\\'));
    return cut > 0 ? lastFile.left(cut) : App::path();
}

} // namespace

void FrmConfig::wireCommands()
{
    ctl::on(cmdReadFile, &QPushButton::clicked, "Click", [this] { cmdReadFile_Click(); });
    ctl::on(cmdSaveFile, &QPushButton::clicked, "Click", [this] { cmdSaveFile_Click(); });
    ctl::on(cmdReadControl, &QPushButton::clicked, "Click", [this] { cmdReadControl_Click(); });
    ctl::on(cmdSaveControl, &QPushButton::clicked, "Click", [this] { cmdSaveControl_Click(); });
}

// One file command: the dialog (proposing the last file), then `use` with
// the chosen file; a cancelled dialog ends the command quietly. A failure
// names the command and the file it was working on.
void FrmConfig::fileCommand(bool save, const QString& routine, const std::function<void(const QString&)>& use)
{
    const QString where = QStringLiteral("frmConfig.") + routine + QStringLiteral(", File >");
    QString failedAt = where + (save ? ConfigFileName : QString());
    ctl::guard(this, failedAt, [&] {
        fd::Request r;
        r.kind = save ? fd::Save : fd::Open;
        r.title = save ? QStringLiteral("Save Instrument Configuration File")
                       : QStringLiteral("Read Instrument Configuration File");
        r.filter = kFilter;
        r.initialDir = DialogFolder(ConfigFileName);
        if (save)
            r.initialName = modZarn::NameOfFile(ConfigFileName);
        const QString chosen = fd::ask(r, this);
        failedAt = where + chosen;
        if (chosen.isEmpty())
            return;
        ConfigFileName = chosen;
        use(chosen);
    });
}

void FrmConfig::cmdReadFile_Click()
{
    fileCommand(false, QStringLiteral("cmdReadFile_Click"), [this](const QString& name) { ReadParameterFile(name); });
}

void FrmConfig::cmdSaveFile_Click()
{
    fileCommand(true, QStringLiteral("cmdSaveFile_Click"), [this](const QString& name) { SaveParameterFile(name); });
}

void FrmConfig::cmdReadControl_Click() { ReadControllerParameters(); }

void FrmConfig::cmdSaveControl_Click()
{
    bool failed = false;
    SendControllerParameters(failed, false);
}

// The buttons that leave the screen offer to save unsaved edits first and
// stay when the user cancels; Graphing leaves the edits on the hidden screen.
void FrmConfig::leaveAfterAsking(const std::function<void()>& leave)
{
    int cancel = 0;
    AskIfDiscardChanges(cancel);
    if (!cancel && leave)
        leave();
}

void FrmConfig::cmdMainMenu_Click() { leaveAfterAsking([this] { MainScreen::cmdMainMenu_Click(); }); }
// The screen itself: the switch would do nothing, so only the question remains.
void FrmConfig::cmdConfigureController_Click() { leaveAfterAsking(nullptr); }
void FrmConfig::cmdStatus_Click() { leaveAfterAsking([this] { MainScreen::cmdStatus_Click(); }); }
void FrmConfig::cmdFind_Click() { leaveAfterAsking([this] { MainScreen::cmdFind_Click(); }); }
