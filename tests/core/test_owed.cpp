// The ledger of answers the instruments still owe, worked out by hand on
// the line's clock (ms). At a time-out of 100 ms an instrument takes up to
// 250 ms over a request, and the margin is 50 ms: 300 ms each.
#include <climits>
#include <gtest/gtest.h>

#include "core/owed.h"

using namespace modZarn::xchg;

namespace {

const ReplyName kRead{'R', 1, 3};   // Modbus RTU, address 1, function 3
const ReplyName kWrite{'R', 1, 16}; // the same instrument, another function
const QByteArray kA = "read A", kB = "read B", kW = "write";

// What the line saw: an attempt that ended (`request` went out `at`, a reply
// of its own came `answered`, -1: none), or, with no request, an answer
// told apart from `name` (unnamed: characters no owed answer starts with).
struct Event {
    QByteArray request;
    ReplyName name;
    qint64 at;
    qint64 answered = -1;
};
Event Heard(const ReplyName& name, qint64 at) { return {{}, name, at}; }
Event Unknown(qint64 at) { return {{}, {}, at}; }

OwedAnswers Ledger(std::initializer_list<Event> events, int attemptMs = 100)
{
    OwedAnswers owed;
    for (const Event& e : events) {
        const ReplyFramer framer = ReplyFramer::Length(7, e.name.address, e.name.function + 128).naming(e.name);
        if (!e.request.isEmpty())
            owed.attemptEnded(e.request, framer, e.at, attemptMs, e.answered);
        else if (e.name.protocol)
            owed.heard(e.name, e.at);
        else
            owed.heardUnknown(e.at);
    }
    return owed;
}

TEST(OwedAnswersTest, ARequestWaitsOnlyForAnswersThatCouldPassForItsReply)
{
    struct Case {
        const char* what;
        OwedAnswers owed;
        QByteArray request;
        ReplyName name;
        qint64 now, clear;
    };
    const OwedAnswers silentTwice = Ledger({{kA, kRead, 0}, {kA, kRead, 100}});
    const Case cases[] = {
        {"a silent read's two attempts: a backlog, one answer after the other", silentTwice, kB, kRead, 200, 600},
        {"the same request asks the same: at once", silentTwice, kA, kRead, 200, 200},
        {"another address", Ledger({{kA, kRead, 0}}), kB, {'R', 2, 3}, 150, 150},
        {"another function", Ledger({{kA, kRead, 0}}), kW, kWrite, 150, 150},
        {"another protocol at the same address", Ledger({{kA, kRead, 0}}), kB, {'A', 1, 3}, 150, 150},
        {"\"Zarn Link\" names no command: another command waits", Ledger({{kA, {'Z', 1}, 0}}), kB, {'Z', 1}, 150,
         300},
        {"\"Zarn Link\" at another address", Ledger({{kA, {'Z', 1}, 0}}), kB, {'Z', 2}, 150, 150},
        {"both attempts answered at once, if only with a bad check: nothing owed",
         Ledger({{kA, kRead, 0, 40}, {kA, kRead, 40, 70}}), kB, kRead, 70, 70},
        // The reply in the second attempt was the first's answer: the
        // second's follows, at most 300 ms after it.
        {"the second attempt heard the first's answer", Ledger({{kA, kRead, 0}, {kA, kRead, 100, 250}}), kB, kRead,
         250, 550},
        // Nothing came in its time, with the line watched throughout: the
        // instrument never took it, and its backlog starts with the second.
        {"a request not answered in its time was never taken", silentTwice, kB, kRead, 350, 400},
        {"something unknown came (or the port reopened): the first may have been answered",
         Ledger({{kA, kRead, 0}, {kA, kRead, 100}, Unknown(200)}), kB, kRead, 350, 600},
        // At 2000 ms: 5000 ms and a margin of 1000.
        {"each request keeps the time-out it went out with", Ledger({{kA, kRead, 0}}, 2000), kB, kRead, 5000, 6000},
        {"a write's backlog holds back the read after it", Ledger({{kW, kWrite, 0}, {kA, kRead, 100}}), kB, kRead,
         150, 600},
        {"an answer told apart answers the oldest it can: the read's time runs from then",
         Ledger({{kW, kWrite, 0}, {kA, kRead, 100}, Heard(kWrite, 220)}), kB, kRead, 230, 520},
        {"both answers came: nothing owed",
         Ledger({{kW, kWrite, 0}, {kA, kRead, 100}, Heard(kWrite, 220), Heard(kRead, 300)}), kB, kRead, 300, 300},
        {"an answer of a later request: those before it were never taken",
         Ledger({{kW, kWrite, 0}, {kA, kRead, 100}, Heard(kRead, 200)}), "write 2", kWrite, 200, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.owed.clearFrom(c.request, c.name, c.now), c.clear);
    }
    // A wait looks again once the first answer is due: if it never came,
    // the second's time runs from its own sending.
    qint64 recheck = LLONG_MAX;
    silentTwice.clearFrom(kB, kRead, 200, &recheck);
    EXPECT_EQ(recheck, 300);
}

TEST(OwedAnswersTest, AnAttemptDiscardsTheAnswersItTellsApart)
{
    OwedAnswers owed = Ledger({{kW, kWrite, 0}, {kA, {'R', 2, 3}, 10}, {kA, kRead, 20}});
    const std::vector<ReplyFramer> others = owed.coming(50, &kRead);
    ASSERT_EQ(others.size(), 2u);
    for (const ReplyFramer& f : others)
        EXPECT_TRUE(f.name().toldApart(kRead));
    EXPECT_EQ(owed.coming(50).size(), 3u);
    // Past their times, with nothing heard: none can come.
    EXPECT_EQ(owed.coming(700).size(), 0u);
}

TEST(ReplyNameTest, TheStartOfAReplySaysWhoseItIs)
{
    using Fit = ReplyName::Fit;
    struct Case {
        ReplyName name;
        QByteArray start;
        Fit fit;
    };
    const Case cases[] = {
        {{'R', 1, 3}, QByteArray::fromHex("01"), Fit::Partly},
        {{'R', 1, 3}, QByteArray::fromHex("0103"), Fit::Reply},
        {{'R', 1, 3}, QByteArray::fromHex("0183"), Fit::Exception},
        {{'R', 1, 3}, QByteArray::fromHex("0110"), Fit::No},
        {{'R', 2, 3}, QByteArray("\x02Z"), Fit::No}, // RTU address 2 starts like a "Zarn Link" reply
        {{'A', 1, 3}, ":0103", Fit::Reply},
        {{'A', 200, 3}, ":c803", Fit::Reply}, // hexadecimal digits in either case
        {{'A', 1, 3}, ":0183", Fit::Exception},
        {{'A', 1, 3}, ":01", Fit::Partly},
        {{'A', 1, 3}, ":0203", Fit::No},
        {{'Z', 0xC8}, "\x02ZC8", Fit::Reply},
        {{'Z', 0xC8}, "\x02Zc8", Fit::Reply},
        {{'Z', 0xC8}, "\x02ZC9", Fit::No},
        {{'Z', 0xC8}, QByteArray::fromHex("c8"), Fit::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.toHex().toStdString());
        EXPECT_EQ(c.name.fits(c.start), c.fit);
    }
    EXPECT_FALSE(ReplyName({}).toldApart({'R', 1, 3})); // a reply that names nothing
}

} // namespace
