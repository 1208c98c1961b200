// Communications set-up driven through its controls.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>

#include "core/commport.h"
#include "core/deffiles.h"
#include "core/sysconfig.h"
#include "platform/app.h"
#include "platform/filedialog.h"
#include "shell/frmCommSetup.h"
#include "shell/frmMain.h"
#include "sim-driver/pty.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

class CommSetupTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        useSampleProgram();
        ASSERT_TRUE(pty_.ok());
        qputenv("QUINREX3_COM1", QByteArray::fromStdString(pty_.slavePath()));
        qputenv("QUINREX3_COM3", QByteArray::fromStdString(pty_.slavePath()));
        qputenv("QUINREX3_COM9", "/nonexistent/quinrex-tty");
    }
    static FrmCommSetup& open()
    {
        frmCommSetup().Show();
        return frmCommSetup();
    }
    // The user leaves a field with the Tab key.
    static void leave(QWidget* w)
    {
        ASSERT_TRUE(w->hasFocus());
        QTest::keyClick(w, Qt::Key_Tab);
        ASSERT_FALSE(w->hasFocus());
    }
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2)); }
    // The user replaces the text of a field by typing.
    static void type(QWidget* w, const QString& text)
    {
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(w, Qt::Key_Backspace);
        QTest::keyClicks(w, text);
    }
    // The user opens the combo box's list and clicks the entry.
    static void pick(QComboBox* c, const QString& text)
    {
        const int i = c->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        c->showPopup();
        QAbstractItemView* v = c->view();
        const QModelIndex entry = v->model()->index(i, c->modelColumn());
        v->scrollTo(entry);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(entry).center());
        ASSERT_FALSE(v->isVisible());
    }
    // The user clicks entry `row` of the instrument list.
    static void choose(FrmCommSetup& f, int row)
    {
        QListWidget* l = f.lstControls;
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
    }
    static QStringList addresses(const FrmCommSetup& f)
    {
        QStringList l;
        for (int i = 0; i < f.lstControls->count(); ++i)
            l << f.lstControls->item(i)->text().left(3).trimmed();
        return l;
    }
    // An address is chosen from the list (which enables Update), then the
    // address and the name are typed over, and Update is clicked.
    static void addInstrument(FrmCommSetup& f, const QString& address, const QString& name)
    {
        pick(f.cbxAddress, f.cbxAddress->itemText(0));
        type(f.cbxAddress, address);
        type(f.txtName, name);
        click(f.cmdUpdate);
    }
    QStringList configLines() const { return QString::fromLatin1(readFile("Quinrex3.cfg")).split("\r\n"); }

    PtyPair pty_;
};

QString Entry(const char* head, const QString& name, const char* tail)
{
    return QString::fromLatin1(head) + name.leftJustified(21) + QString::fromLatin1(tail);
}

} // namespace

TEST_F(CommSetupTest, ListShowsFixedColumnsInAddressOrderAndUpdateResetsLogging)
{
    FrmCommSetup& f = open();
    // A two-character group-0 address leaves column 3 blank.
    EXPECT_EQ(f.lstControls->item(2)->text(), Entry("32    Z0 ", "Oven Zone 1", " 00060 00005 1 1"));

    addInstrument(f, "05", "Five");
    addInstrument(f, "0A", "Ten");
    EXPECT_EQ(addresses(f), QStringList({"001", "002", "05", "0A", "32"}));

    // Choosing 32 from the address list loads it; Update resets its logging.
    pick(f.cbxAddress, "32");
    EXPECT_EQ(f.txtName->text(), "Oven Zone 1");
    type(f.txtName, "Oven");
    click(f.cmdUpdate);
    EXPECT_EQ(f.lstControls->item(4)->text(), Entry("32    Z0 ", "Oven", " 00001 00001 1 1"));

    click(f.cmdOK);
    ASSERT_EQ(gInstruments.Count(), 5);
    QStringList addresses;
    for (const InstrumentRecord& r : gInstruments)
        addresses << r.Address;
    EXPECT_EQ(addresses, QStringList({"001", "002", "05", "0A", "32"}));
    EXPECT_EQ(gInstruments[4].LogDuration, 1);
}

TEST_F(CommSetupTest, CommitRewritesTheFileReopensThePortAndKeepsExactRates)
{
    gInstruments[0].LogRate = 0.4f;
    gInstruments[0].LogState = 1;
    gInstruments.LoggingActive = true;

    FrmCommSetup& f = open();
    // The rate column holds whole seconds only.
    EXPECT_EQ(f.lstControls->item(2)->text().mid(37, 5), "00000");
    type(f.txtCommPort, "3");
    pick(f.cbxBaudRate, "19200");
    pick(f.cbxParity, "Even");
    pick(f.cbxStopBits, "2");
    click(f.optGlobalControllerGroup(1));

    boxes_.push(mb::Yes);
    click(f.cmdOK);
    EXPECT_EQ(boxes_.last().title, "Change System Configuration?");
    EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());

    SerialPortControl& port = CommPort();
    EXPECT_TRUE(port.portOpen() && port.commPort() == 3);
    EXPECT_EQ(port.settings(), "19200,E,8,2");
    EXPECT_EQ(gModelID[1][1], "XG"); // model file read again for group 1

    EXPECT_FLOAT_EQ(gInstruments[2].LogRate, 0.4f);
    EXPECT_EQ(gInstruments[2].LogState, 0);
    const QStringList lines = configLines();
    EXPECT_EQ(lines.mid(0, 8), QStringList({" 3 ", " 19200 ", "Even", " 8 ", " 2 ", " 500 ", " 1 ", "R"}));
}

TEST_F(CommSetupTest, CommitQuestionNoAndFailedPortOpening)
{
    const QByteArray before = readFile("Quinrex3.cfg");
    gInstruments[1].LogState = 1;
    gInstruments.LoggingActive = true;
    FrmCommSetup& f = open();
    type(f.txtCommPort, "9");
    boxes_.push(mb::No);
    click(f.cmdOK);
    EXPECT_TRUE(Forms::isLoaded<FrmCommSetup>() && gInstruments[1].LogState == 1);
    EXPECT_EQ(readFile("Quinrex3.cfg"), before);

    // The port cannot open, yet the settings are saved for the next start.
    boxes_.clear();
    boxes_.push(mb::Yes);
    click(f.cmdOK);
    ASSERT_EQ(boxes_.count(), 3);
    EXPECT_EQ(boxes_.calls()[1].title, "InitComm");
    EXPECT_EQ(boxes_.last().title, "Communications Disabled");
    EXPECT_FALSE(gCommOK);
    EXPECT_EQ(configLines().value(0), " 9 ");
}

TEST_F(CommSetupTest, AnEntryIsChosenOnlyBySelectingIt)
{
    FrmCommSetup& f = open();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    // The list taking the focus makes a row current without choosing it.
    f.lstControls->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(f.cmdRemove->isEnabled() || f.cmdUpdate->isEnabled());
}

TEST_F(CommSetupTest, ClosingAsksOnlyAfterEdits)
{
    choose(open(), 0); // choosing is no edit
    click(frmCommSetup().cmdCancel);
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());

    FrmCommSetup& g = open();
    type(g.txtPollTimeout, "900");
    boxes_.push(mb::No);
    click(g.cmdCancel);
    EXPECT_EQ(boxes_.last().title, "Cancel Changes?");
    EXPECT_TRUE(Forms::isLoaded<FrmCommSetup>());
    boxes_.push(mb::Yes);
    g.close();
    EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());
    EXPECT_EQ(gPollTimeoutMs, 500);
}

TEST_F(CommSetupTest, ClampsAndProtocolRules)
{
    FrmCommSetup& f = open();
    const std::tuple<QLineEdit*, const char*, const char*> entries[] = {
        {f.txtCommPort, "0", "1"}, {f.txtCommPort, "17", "16"},
        {f.txtCommPort, "99999999", "16"}, {f.txtCommPort, "abc", "1"}, {f.txtPollTimeout, "0", "1"},
        {f.txtPollTimeout, "40000", "32767"}, {f.txtPollTimeout, "150.9", "150"},
        {f.txtName, "123456789012345678901234567890", "123456789012345678901"}};
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    for (const auto& [box, in, out] : entries) {
        box->setFocus(Qt::MouseFocusReason);
        type(box, in);
        leave(box);
        EXPECT_EQ(box->text(), out) << in;
    }

    click(f.optGlobalControllerGroup(1)); // "Zarn Link" was selected
    EXPECT_TRUE(f.optGlobalProtocol(1)->isChecked() && !f.optGlobalProtocol(0)->isEnabled());
    click(f.optInstControllerGroup(2));
    EXPECT_TRUE(f.OptInstProtocol(2)->isChecked());
    EXPECT_EQ(f.cbxAddress->itemText(0), "001");
}

TEST_F(CommSetupTest, BadNamesAndAddressesAreRefusedAndDialogCancelLeavesFields)
{
    FrmCommSetup& f = open();
    const std::tuple<const char*, const char*, const char*> refused[] = {
        {"40", "Oven, left", "Invalid Character"}, {"4,", "Oven", "Invalid Character"},
        {"", "Oven", "Invalid Address"}, {"100", "Oven", "Invalid Address"}, {"0040", "Oven", "Invalid Address"}};
    for (const auto& [address, name, title] : refused) {
        boxes_.clear();
        addInstrument(f, address, name);
        ASSERT_EQ(boxes_.count(), 1) << address << name;
        EXPECT_EQ(boxes_.last().title, title);
    }
    EXPECT_EQ(f.lstControls->count(), 3);
    addInstrument(f, "40", "Oven \"A\"");
    EXPECT_EQ(f.lstControls->count(), 4);
    // OK applies the entry being edited first, and stops when it is refused.
    const QByteArray before = readFile("Quinrex3.cfg");
    type(f.txtName, "Oven, right");
    click(f.cmdOK);
    EXPECT_TRUE(Forms::isLoaded<FrmCommSetup>());
    EXPECT_EQ(readFile("Quinrex3.cfg"), before);

    QString answer; // "" is Cancel
    QStringList startedIn;
    fd::setHandler([&](const fd::Request& r) {
        startedIn << r.initialDir;
        return answer;
    });
    f.cmdDefaultFolder->click();
    f.cmdViewApp->click();
    // The relative folder opens where the program keeps it, not where it was started.
    EXPECT_EQ(startedIn.value(0), QDir(App::path()).filePath("logs/"));
    EXPECT_EQ(f.txtDefaultFolder->text(), "logs/");
    EXPECT_EQ(f.txtViewApp->text(), "/usr/bin/xdg-open");
    answer = "/data/logs";
    f.cmdDefaultFolder->click();
    EXPECT_EQ(f.txtDefaultFolder->text(), "/data/logs/");
}

TEST_F(CommSetupTest, AFolderOrViewerWhoseNameHoldsALineEndIsRefused)
{
    FrmCommSetup& f = open();
    QString answer;
    fd::setHandler([&](const fd::Request&) { return answer; });
    const std::tuple<QPushButton*, QLineEdit*, const char*, const char*> cases[] = {
        {f.cmdDefaultFolder, f.txtDefaultFolder, "/data/new\nlogs", "Invalid Folder"},
        {f.cmdDefaultFolder, f.txtDefaultFolder, "/data/new\rlogs/", "Invalid Folder"},
        {f.cmdViewApp, f.txtViewApp, "/opt/view\nlog", "Invalid Program"},
    };
    for (const auto& [button, field, chosen, title] : cases) {
        boxes_.clear();
        const QString shown = field->text();
        answer = QString::fromLatin1(chosen);
        button->click();
        ASSERT_EQ(boxes_.count(), 1) << chosen;
        EXPECT_EQ(boxes_.last().title, title);
        EXPECT_EQ(field->text(), shown);
    }
}

TEST_F(CommSetupTest, OkKeepsTheChosenInstrumentsLoggingUnlessItsProtocolOrGroupChanged)
{
    ASSERT_EQ(gInstruments[0].Address, "32"); // 60 minutes, 5 s per sample in the sample file
    gInstruments[0].LogRate = 0.4f;           // a rate the list's columns cannot hold
    const auto logging = [] {
        for (const InstrumentRecord& r : gInstruments)
            if (r.Address == "32")
                return QStringLiteral("%1 %2 min %3 s").arg(r.Name).arg(r.LogDuration).arg(r.LogRate);
        return QString();
    };

    // Chosen, then only the name changed.
    FrmCommSetup& g = open();
    choose(g, 2);
    type(g.txtName, "Oven");
    click(g.cmdOK);
    EXPECT_EQ(logging(), "Oven 60 min 0.4 s");

    // Another protocol makes it another instrument: logging starts afresh.
    FrmCommSetup& h = open();
    choose(h, 2);
    click(h.OptInstProtocol(1));
    click(h.cmdOK);
    EXPECT_EQ(logging(), "Oven 1 min 1 s");
}

// While the "Communications Disabled" box of OK is open, a screen reader
// presses OK again (its "press" reaches a button the box blocks for the mouse
// and the keys), or a timer unloads the window: the second press does
// nothing, an unload closes the box as Escape would, and the window outlives
// the handler still running under the box.
TEST_F(CommSetupTest, OkPressedAgainOrTheWindowUnloadedUnderItsOwnBox)
{
    const std::pair<const char*, bool> cases[] = {{"pressed again", false}, {"unloaded by a timer", true}};
    for (const auto& [name, unload] : cases) {
        SCOPED_TRACE(name);
        gCommPort = 9; // a port that cannot open; nothing edited
        FrmCommSetup& f = open();
        QPointer<FrmCommSetup> alive = &f;
        mb::setHandler(nullptr);
        QStringList keyed;
        bool acted = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || QGuiApplication::focusWindow() != box->windowHandle())
                return;
            if (box->windowTitle() == "Communications Disabled" && !acted) {
                acted = true;
                if (unload)
                    f.Unload();
                else
                    QAccessible::queryAccessibleInterface(f.cmdOK)->actionInterface()->doAction(
                        QAccessibleActionInterface::pressAction());
                return;
            }
            if (box->property("qxKeyed").toBool())
                return;
            box->setProperty("qxKeyed", true);
            keyed << box->windowTitle();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        poll.start(1);
        mb::clearCalls();
        click(f.cmdOK);
        poll.stop();
        boxes_.install();
        EXPECT_TRUE(acted);
        QStringList titles;
        for (const mb::Call& c : mb::calls())
            titles << c.title;
        EXPECT_EQ(titles, (QStringList{"InitComm", "Communications Disabled"})) << "OK ran once";
        EXPECT_EQ(keyed, unload ? QStringList{"InitComm"} : (QStringList{"InitComm", "Communications Disabled"}));
        EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());
        EXPECT_EQ(configLines().value(0), " 9 ");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(alive);
    }
}

TEST_F(CommSetupTest, FieldsAreNamedByTheirCaptionsForScreenReaders)
{
    FrmCommSetup& f = open();
    const std::pair<QWidget*, const char*> fields[] = {
        {f.txtCommPort, "Comm Port"},
        {f.cbxBaudRate, "Baud Rate"},
        {f.txtPollTimeout, "Polling Timeout: msec"},
        {f.txtName, "Name"},
        {f.cbxAddress, "Address"},
        {f.txtViewApp, "Application Used to View Hist. Logs"},
        {f.lstControls, "Address P Name"},
    };
    for (const auto& [field, name] : fields) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(field);
        ASSERT_NE(a, nullptr);
        // A list's name on this desktop is its value: its caption is the widget's name.
        EXPECT_EQ(qobject_cast<QComboBox*>(field) ? field->accessibleName() : a->text(QAccessible::Name), name)
            << field->objectName().toStdString();
    }
    // Each list is labelled by the caption beside it, ahead of its frame's
    // title (a reader announces a list by its value and its labels).
    const std::pair<QComboBox*, const char*> lists[] = {
        {f.cbxBaudRate, "Baud Rate:"}, {f.cbxParity, "Parity:"}, {f.cbxDataLength, "Data Length:"},
        {f.cbxStopBits, "Stop Bits:"}, {f.cbxAddress, "Address"},
    };
    for (const auto& [list, caption] : lists) {
        const auto labels = QAccessible::queryAccessibleInterface(list)->relations(QAccessible::Label);
        ASSERT_FALSE(labels.isEmpty()) << caption;
        EXPECT_EQ(labels.first().first->text(QAccessible::Name), caption);
        EXPECT_TRUE(qobject_cast<QLabel*>(labels.first().first->object())) << caption;
    }
    // A name the screen gives its field stays.
    f.Hide();
    f.txtName->setAccessibleName(QStringLiteral("Instrument name"));
    f.Show();
    EXPECT_EQ(f.txtName->accessibleName(), "Instrument name");
}
