#pragma once
// What the instruments on the line may still answer. Every answer belongs to
// its own request; a request that went out without its answer coming in its
// attempt stays on the line, and its instrument may answer it late. An
// instrument serves its requests one at a time, in the order they came,
// and takes up to two and a half time-outs over each: a backlog's answers
// come one after another. An instrument slower than that cannot be told
// from one that answers on its own.
//
// The ledger only decides; it does no input or output and keeps no clock of
// its own (every time is on the line's clock). Reopening the port, new
// settings or a new time-out leave it as it is: the instruments still
// answer what they were asked.
#include <QByteArray>
#include <deque>
#include <map>
#include <vector>

#include "core/exchange.h"

namespace modZarn::xchg {

class OwedAnswers {
public:
    // When `request`, whose reply `name` names, may go out: the time from
    // which no answer owed by its instrument that could pass for its reply
    // can come any more (at or before `now`: at once). Answers told apart
    // (another instrument, another function) never hold it back, nor do
    // those to the same request, which answer the same question.
    // `recheck`, when given, is lowered to the first time the answer may
    // turn out never to come: a request its instrument did not answer in its
    // time was never taken, and the wait may end sooner.
    qint64 clearFrom(const QByteArray& request, const ReplyName& name, qint64 now, qint64* recheck = nullptr) const;

    // The framers of the answers that may still come at `now` and that an
    // attempt for `own` tells apart and discards (unnamed: every answer that
    // may come), oldest first.
    std::vector<ReplyFramer> coming(qint64 now, const ReplyName* own = nullptr) const;

    // One attempt ended: `request` went out at `sent` with the time-out
    // `attemptMs`, its reply framed by `framer`. `answered`: when a reply of
    // its own came in the attempt (-1: none came, or too late). A reply that
    // came is the instrument's answer to its oldest request it could answer,
    // so an attempt answered at once owes nothing more, even when its reply
    // failed its check, unless an earlier request of the same question was
    // still owed: that one was answered, and this one is owed now.
    void attemptEnded(const QByteArray& request, const ReplyFramer& framer, qint64 sent, int attemptMs,
                      qint64 answered);

    // An answer from `name`'s instrument came at `at`, told apart from the
    // attempt's own: the oldest request it can answer is answered, and those
    // before it were never taken (the instrument serves in turn).
    void heard(const ReplyName& name, qint64 at);

    // Characters came at `at` that no owed answer starts with, or the line
    // went unwatched until then (a reopened port drops what came): the
    // requests owed may have been answered, and none counts as never taken.
    void heardUnknown(qint64 at) { lastUnknown_ = at; }

    // Nothing is owed.
    bool empty() const { return line_.empty(); }

private:
    struct Owed {
        QByteArray request;
        ReplyFramer framer;
        qint64 sent = 0;
        qint64 span = 0; // the longest the instrument takes over it, and a margin
    };
    struct Instrument {
        std::deque<Owed> owed;
        qint64 lastAnswer = -1; // when its last answer came
    };

    // Calls `f(owed, latest)` for each request of `i`, oldest first, that
    // may still be answered at `now`, with the latest time it can be: its
    // instrument starts on it when it came or when the request before it
    // was answered at the latest. A request whose time passed without an
    // answer, while nothing unknown came, was never taken: the instrument
    // was off or did not hear it, and it delays nothing after it.
    template <class F>
    void each(const Instrument& i, qint64 now, F&& f) const;
    // Drops what can no longer come, keeping the latest times of the rest.
    void prune(Instrument& i, qint64 now);
    static QByteArray Key(const ReplyName& name);

    std::map<QByteArray, Instrument> line_;
    qint64 lastUnknown_ = -1;
};

} // namespace modZarn::xchg
