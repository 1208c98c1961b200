#include "core/owed.h"

#include <algorithm>
#include <iterator>

namespace modZarn::xchg {

namespace {

// How long past the latest time an answer can come the line waits for it:
// room for the rest of a frame and for the scheduling of both ends.
int QuietMargin(int attemptMs) { return std::clamp(attemptMs / 2, 50, 2000); }

// The longest an instrument takes over one request, and the margin.
qint64 Span(int attemptMs) { return 5 * qint64(attemptMs) / 2 + QuietMargin(attemptMs); }

// The latest `o`'s answer can come: its instrument starts on it when it
// came, or when the request before it was answered at the latest.
template <class O>
qint64 Latest(const O& o, qint64 previous) { return std::max(o.sent, previous) + o.span; }

} // namespace

QByteArray OwedAnswers::Key(const ReplyName& name)
{
    return QByteArray(1, name.protocol) + QByteArray::number(name.address);
}

template <class F>
void OwedAnswers::each(const Instrument& i, qint64 now, F&& f) const
{
    qint64 previous = i.lastAnswer;
    for (const Owed& o : i.owed) {
        const qint64 latest = Latest(o, previous);
        if (latest < now) {
            if (lastUnknown_ >= o.sent)
                previous = latest; // it may have been answered meanwhile
            continue;
        }
        previous = latest;
        f(o, latest);
    }
}

void OwedAnswers::prune(Instrument& i, qint64 now)
{
    while (!i.owed.empty()) {
        const Owed& o = i.owed.front();
        const qint64 latest = Latest(o, i.lastAnswer);
        if (latest >= now)
            return;
        if (lastUnknown_ >= o.sent)
            i.lastAnswer = std::max(i.lastAnswer, latest);
        i.owed.pop_front();
    }
}

qint64 OwedAnswers::clearFrom(const QByteArray& request, const ReplyName& name, qint64 now, qint64* recheck) const
{
    qint64 until = now;
    for (const auto& [key, instrument] : line_) {
        qint64 first = -1, last = now;
        each(instrument, now, [&](const Owed& o, qint64 latest) {
            if (first < 0)
                first = latest;
            if (o.request != request && !o.framer.name().toldApart(name))
                last = std::max(last, latest);
        });
        if (last > now && recheck)
            *recheck = std::min(*recheck, first);
        until = std::max(until, last);
    }
    return until;
}

std::vector<ReplyFramer> OwedAnswers::coming(qint64 now, const ReplyName* own) const
{
    std::vector<ReplyFramer> framers;
    for (const auto& [key, instrument] : line_) {
        each(instrument, now, [&](const Owed& o, qint64) {
            if (!own || o.framer.name().toldApart(*own))
                framers.push_back(o.framer);
        });
    }
    return framers;
}

void OwedAnswers::attemptEnded(const QByteArray& request, const ReplyFramer& framer, qint64 sent, int attemptMs,
                               qint64 answered)
{
    // Everything that came before `sent` has been sorted: what can no
    // longer come goes, and so do instruments that owe nothing.
    for (auto it = line_.begin(); it != line_.end();) {
        prune(it->second, sent);
        it = it->second.owed.empty() ? line_.erase(it) : std::next(it);
    }
    Instrument& i = line_[Key(framer.name())];
    ReplyFramer empty = framer;
    empty.clear();
    i.owed.push_back({request, empty, sent, Span(attemptMs)});
    if (answered >= 0)
        heard(framer.name(), answered);
}

void OwedAnswers::heard(const ReplyName& name, qint64 at)
{
    const auto it = line_.find(Key(name));
    if (it != line_.end()) {
        // Characters may wait a while before they are sorted: the answer is
        // the oldest one's it can be, whether or not that one's time has
        // passed since.
        Instrument& i = it->second;
        const auto answered = std::find_if(i.owed.begin(), i.owed.end(),
                                           [&](const Owed& o) { return !o.framer.name().toldApart(name); });
        if (answered != i.owed.end()) {
            i.owed.erase(i.owed.begin(), answered + 1);
            i.lastAnswer = at;
            return;
        }
    }
    // An answer to nothing owed: an instrument slower than its time.
    heardUnknown(at);
}

} // namespace modZarn::xchg
