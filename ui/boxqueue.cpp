#include "ui/boxqueue.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>

#include <algorithm>

struct BoxQueue::Entry
{
    Notice notice;
    int choice = -1;
    bool done = false;
    // The caller's loop while it waits for this box.
    QEventLoop *loop = nullptr;

    void finish(int chosen)
    {
        done = true;
        choice = chosen;
        // Returns once every loop opened inside this one has returned.
        if (loop)
            loop->exit();
    }
};

// Shared with the waiting callers: the notifier may go while they wait.
struct BoxQueue::State
{
    QList<Entry *> waiting;
    Entry *open = nullptr;
    int similar = 0; // waiting boxes of the open one's kind
    bool gone = false;
};

BoxQueue::BoxQueue() : state(std::make_shared<State>()) {}

BoxQueue::~BoxQueue()
{
    state->gone = true;
    for (Entry *entry : qAsConst(state->waiting))
        entry->finish(-1);
    if (state->open)
        state->open->finish(-1);
    state->waiting.clear();
    state->open = nullptr;
}

void BoxQueue::show(const Notice &notice)
{
    wait(notice);
}

int BoxQueue::ask(const Notice &question)
{
    const int last = int(question.choices.size()) - 1;
    const int choice = wait(question);
    return choice >= 0 && choice <= last ? choice : last;
}

bool BoxQueue::sameKind(const Notice &a, const Notice &b)
{
    if (a.kind == Notice::Question || a.kind == Notice::About)
        return false;
    return a.kind == b.kind && a.title == b.title && a.text == b.text && a.button == b.button &&
           a.choices == b.choices && a.detailedText == b.detailedText;
}

QString BoxQueue::skipText(int similar)
{
    return QStringLiteral("Pomiń podobne (%1)").arg(similar);
}

int BoxQueue::waiting() const
{
    return int(state->waiting.size());
}

int BoxQueue::wait(const Notice &notice)
{
    const std::shared_ptr<State> s = state;
    Entry entry{notice};
    s->waiting.append(&entry);
    if (!s->open) {
        openNext();
    } else if (sameKind(s->open->notice, notice)) {
        ++s->similar;
        similarChanged(s->similar);
    }
    if (!entry.done) {
        // Events posted before this one (other printers' boxes) must still come
        // in the loop below: GLib's dispatcher would wait for a new one first.
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->wakeUp();
        QEventLoop loop;
        entry.loop = &loop;
        loop.exec();
        entry.loop = nullptr;
    }
    if (!entry.done) {
        // The loop was ended from outside: the program is quitting.
        s->waiting.removeOne(&entry);
        if (s->open == &entry)
            s->open = nullptr;
    }
    return entry.choice;
}

void BoxQueue::openNext()
{
    State &s = *state;
    if (s.gone || s.open || s.waiting.isEmpty())
        return;
    s.open = s.waiting.takeFirst();
    const Notice &notice = s.open->notice;
    s.similar = int(std::count_if(s.waiting.cbegin(), s.waiting.cend(),
                                  [&](const Entry *e) { return sameKind(notice, e->notice); }));
    open(notice, s.similar);
}

void BoxQueue::answered(int choice, bool skipSimilar)
{
    State &s = *state;
    Entry *entry = s.open;
    s.open = nullptr;
    if (entry) {
        if (skipSimilar) {
            // Their rows and the summary keep what these boxes would have said.
            QList<Entry *> kept;
            for (Entry *other : qAsConst(s.waiting)) {
                if (sameKind(entry->notice, other->notice))
                    other->finish(-1);
                else
                    kept.append(other);
            }
            s.waiting.swap(kept);
        }
        entry->finish(choice);
    }
    s.similar = 0;
    openNext();
}
