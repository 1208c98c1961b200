#pragma once
// The simulator's demonstration line (32H "Zarn Link" and 33H Modbus RTU in
// group 0, 001 group 1 RTU and ASCII, 002 group 2 ASCII) with the sample
// definition tables loaded; tests add instruments and values at run time.
#include <QStringList>

#include "core/deffiles.h"
#include "platform/clock.h"
#include "support/simline.h"

#include <QTimeZone>

class DemoLineTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        copySampleData();
        modZarn::ReadModelFile();
        modZarn::ReadCfgFieldFile();
        modZarn::ReadZarnXrefFile();
        modZarn::ReadxxGXrefFile();
        modZarn::ReadxxHXrefFile();
        Clock::setFake(QDateTime(QDate(2026, 12, 7), QTime(17, 27, 41), QTimeZone::utc()));
        startLine("");
    }
    // Sends statements of the simulator's language, one a line.
    void serve(const QString& statements)
    {
        for (const QString& s : statements.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            sim_.must(s.trimmed().toStdString());
    }
    void serve(const char* statements) { serve(QString::fromLatin1(statements)); }
};
