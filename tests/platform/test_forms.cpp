// Window life cycle and the message-box/dialog hooks the other tests rely on.
#include <QTimer>

#include "platform/form.h"
#include "platform/msgbox.h"
#include "support/testenv.h"

namespace {
struct Recorder : Form {
    QStringList* log;
    QString name;
    int cancelUnload = 0;
    Recorder() = default;
    void Form_Load() override { if (log) log->append(name + ":load"); }
    void Form_Activate() override { log->append(name + ":activate"); }
    void Form_Deactivate() override { log->append(name + ":deactivate"); }
    void Form_Unload(int& cancel) override
    {
        log->append(name + ":unload");
        cancel = cancelUnload;
    }
};
QStringList* gLog = nullptr;
struct FormA : Recorder { FormA() { log = gLog; name = "A"; } };
struct FormB : Recorder { FormB() { log = gLog; name = "B"; } };

class FormTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        gLog = &log;
    }
    QStringList log;
};
} // namespace

TEST_F(FormTest, OneInstanceLoadedOnFirstUseAndAnewAfterAnUncancelledUnload)
{
    FormA& a = Forms::get<FormA>();
    EXPECT_EQ(&a, &Forms::get<FormA>());
    EXPECT_EQ(log, QStringList{"A:load"});
    a.cancelUnload = 1;
    a.Show();
    EXPECT_FALSE(a.Unload());
    EXPECT_TRUE(Forms::isLoaded<FormA>() && a.Visible());
    a.cancelUnload = 0;
    EXPECT_TRUE(a.Unload());
    EXPECT_FALSE(Forms::isLoaded<FormA>());
    Forms::get<FormA>();
    EXPECT_EQ(log.count("A:load"), 2);
}

TEST_F(FormTest, ActivationMovesBetweenOwnWindowsOnly)
{
    FormA& a = Forms::get<FormA>();
    FormB& b = Forms::get<FormB>();
    a.Show();
    b.Show();
    EXPECT_EQ(log, (QStringList{"A:load", "B:load", "A:activate", "A:deactivate", "B:activate"}));
    log.clear();
    // A message box of the active window does not deactivate it.
    mb::MsgBox("hello", mb::OKOnly, "T", &b);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(Forms::active(), &b);
    // Showing the active window again fires nothing.
    b.Show();
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(FormTest, ModalDialogReturnsWhenHiddenAndReactivatesTheOpener)
{
    FormA& a = Forms::get<FormA>();
    FormB& b = Forms::get<FormB>();
    a.Show();
    log.clear();
    QTimer::singleShot(0, &b, [&] {
        EXPECT_TRUE(b.isModalShown());
        b.Hide();
    });
    b.ShowModal();
    EXPECT_FALSE(b.isModalShown());
    EXPECT_EQ(log, (QStringList{"A:deactivate", "B:activate", "B:deactivate", "A:activate"}));
}
