#pragma once
// A user at the configuration screen: pages, drop-downs, typing, Tab and clicks.
#include <QAbstractItemView>
#include <QTest>
#include <gtest/gtest.h>

#include "config/frmConfig.h"
#include "core/deffiles.h"
#include "core/state.h"
#include "platform/msgbox.h"

namespace cfguser {

// The box that names the fields holding values outside their range.
inline const QString kStrayTitle = QStringLiteral("Parameter Values Outside Their Range");

// Answers the question about values outside their range with `answer`, every
// other box with its default; all are recorded.
inline void answerStrays(int answer)
{
    mb::setHandler([answer](const mb::Call& c) { return c.title == kStrayTitle ? answer : mb::defaultAnswer(c.style); });
}

// Brings the tab page holding `w` to the front, as a click on its tab does.
inline void showPageOf(FrmConfig& f, QWidget* w)
{
    TabStrip* strip = f.tabConfig(modZarn::gControllerGroup);
    for (int i = 0; i < strip->Tabs(); ++i)
        if (strip->page(i)->isAncestorOf(w)) {
            ASSERT_TRUE(strip->TabEnabled(i)) << "page " << i << " is closed to the user";
            strip->setTab(i);
        }
    ASSERT_TRUE(w->isVisible()) << w->objectName().toStdString();
}

// Opens the list, walks to the entry with the arrow keys, takes it with Enter.
inline void pick(FrmConfig& f, QComboBox* c, const QString& text)
{
    showPageOf(f, c);
    const int i = c->findText(text);
    ASSERT_GE(i, 0) << text.toStdString();
    c->showPopup();
    QAbstractItemView* v = c->view();
    ASSERT_TRUE(v->isVisible());
    for (int row = v->currentIndex().row(); row < i; ++row)
        QTest::keyClick(v, Qt::Key_Down);
    for (int row = v->currentIndex().row(); row > i; --row)
        QTest::keyClick(v, Qt::Key_Up);
    ASSERT_EQ(v->currentIndex().row(), i);
    QTest::keyClick(v, Qt::Key_Return);
    ASSERT_FALSE(v->isVisible());
}

// The model entry whose ID (last two characters) is `id`.
inline void pickModel(FrmConfig& f, const QString& id)
{
    ComboBox* list = f.cbxModelID(modZarn::gControllerGroup);
    for (int i = 0; i < list->ListCount(); ++i)
        if (list->List(i).right(2) == id)
            return pick(f, list, list->List(i));
    ADD_FAILURE() << "no model " << id.toStdString();
}

// Clicks into the field and replaces its text by typing.
inline void type(FrmConfig& f, QLineEdit* t, const QString& text)
{
    showPageOf(f, t);
    QTest::mouseClick(t, Qt::LeftButton, {}, QPoint(4, t->height() / 2));
    ASSERT_TRUE(t->hasFocus());
    QTest::keyClick(t, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(t, Qt::Key_Backspace);
    QTest::keyClicks(t, text);
}

// Leaves the field with the Tab key.
inline void leave(QWidget* w)
{
    ASSERT_TRUE(w->hasFocus());
    QTest::keyClick(w, Qt::Key_Tab);
    ASSERT_FALSE(w->hasFocus());
}

inline void tick(FrmConfig& f, QCheckBox* c)
{
    showPageOf(f, c);
    QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(6, c->height() / 2));
}

// Runs `set` as a read or a file load fills the screen: no change handling.
template <class F>
void asLoaded(FrmConfig& f, F set)
{
    f.Loading = true;
    set();
    f.Loading = false;
}

// Starts a group's definitions and loads the screen, not yet shown.
inline FrmConfig& loadScreen(int group, const char* protocol)
{
    modZarn::gControllerGroup = group;
    modZarn::gProtocolCode = protocol;
    modZarn::ReadDefinitionFiles();
    return frmConfig();
}

// Chooses a model from code, as a read or a file load does.
inline void selectModel(FrmConfig& f, const QString& id)
{
    ComboBox* list = f.cbxModelID(modZarn::gControllerGroup);
    for (int i = 0; i < list->ListCount(); ++i)
        if (list->List(i).right(2) == id)
            list->setListIndex(i);
    ASSERT_EQ(f.ModelID(), id);
}

// Opens the screen for a group, shown and active, as the user reaches it.
inline FrmConfig& openScreen(int group, const char* protocol)
{
    FrmConfig& f = loadScreen(group, protocol);
    f.Show();
    f.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
    return f;
}

// A saved parameter file edited by hand: its data line for `key` ("258,")
// put as `line`, or dropped where `line` is empty.
inline QByteArray withLine(const QByteArray& saved, const QByteArray& key, const QByteArray& line)
{
    QByteArray out;
    for (const QByteArray& l : saved.split('\n'))
        if (!l.isEmpty() && !(l.startsWith(key) && line.isEmpty()))
            out += (l.startsWith(key) ? line + '\r' : l) + '\n';
    return out;
}

} // namespace cfguser
