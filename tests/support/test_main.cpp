#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/app.h"

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    // Lock files of serial ports in a folder of this run (and of the programs
    // it starts), not in the machine's /run/lock; open to every user, as that is.
    QTemporaryDir locks;
    ::chmod(QFile::encodeName(locks.path()).constData(), 01777);
    qputenv("QUINREX3_LOCK_DIR", QFile::encodeName(locks.path()));
    App::ignoreDesktopSettings(); // as the program starts
    QApplication app(argc, argv);
    App::useDesignLook();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
