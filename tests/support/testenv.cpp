#include "testenv.h"

#include <QFile>

#include "core/state.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/filedialog.h"

namespace {
MsgBoxAnswers* gActiveAnswers = nullptr;
}

MsgBoxAnswers::MsgBoxAnswers()
{
    mb::clearCalls();
    mb::setHandler([this](const mb::Call& c) {
        if (answers_.empty())
            return mb::defaultAnswer(c.style);
        int a = answers_.front();
        answers_.pop_front();
        return a;
    });
    gActiveAnswers = this;
}

MsgBoxAnswers::~MsgBoxAnswers()
{
    if (gActiveAnswers == this) {
        mb::clearHandler();
        gActiveAnswers = nullptr;
    }
}

mb::Call MsgBoxAnswers::last() const
{
    return mb::calls().empty() ? mb::Call{} : mb::calls().back();
}

QString sourceDir() { return QStringLiteral(QX_SOURCE_DIR); }

void QxTest::SetUp()
{
    ASSERT_TRUE(dir_.isValid());
    modZarn::ResetSharedState();
    App::setPath(dir_.path());
    App::setExeName(QStringLiteral("Quinrex3"));
    App::setPrevInstanceOverride(0);
    App::setCommandLine(QString());
    App::setEndHandler([](int code) { throw ProgramEnded{code}; });
    Clock::useReal();
    fd::setHandler([](const fd::Request&) { return QString(); });
    boxes_.clear();
}

void QxTest::TearDown()
{
    Clock::useReal();
    fd::clearHandler();
}

void QxTest::copySampleData()
{
    QDir src(sourceDir() + QStringLiteral("/data"));
    for (const QString& name : src.entryList(QDir::Files))
        QFile::copy(src.filePath(name), dir_.filePath(name));
}

void QxTest::writeFile(const QString& name, const QByteArray& content) const
{
    QFile f(dir_.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray QxTest::readFile(const QString& name) const
{
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
