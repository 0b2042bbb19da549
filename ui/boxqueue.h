#pragma once

#include "core/notifier.h"

#include <QList>
#include <QString>

#include <memory>

class QEventLoop;

// Boxes one at a time, whoever asks for them. A caller whose box must wait sits
// in an event loop of its own until the box has been shown and answered, or
// dropped. Boxes arrive from inside other boxes' loops (one printer's box while
// another printer's is open), so the next box is opened when the open one is
// answered, not by the caller that happens to return first. While a box is open,
// the waiting boxes of its kind (the same box about another printer) can be
// dropped with it: "Pomiń podobne (N)".
class BoxQueue : public Notifier
{
public:
    BoxQueue();
    ~BoxQueue() override;

    void show(const Notice &notice) override;
    int ask(const Notice &question) override;

    // The same box apart from what its detail says (which printer). Questions
    // and the about box have no kind: each is answered on its own.
    static bool sameKind(const Notice &a, const Notice &b);
    static QString skipText(int similar);

    // Boxes waiting behind the open one.
    int waiting() const;

protected:
    // Opens the box and returns at once; the box calls answered() when the
    // operator closes it. `similar` boxes of its kind wait behind it.
    virtual void open(const Notice &notice, int similar) = 0;
    // Another box of the open one's kind has come: `similar` wait now.
    virtual void similarChanged(int similar) = 0;
    // The open box is closed: with the index of the question's choice, or with
    // its "Pomiń podobne". Opens the next box.
    void answered(int choice, bool skipSimilar = false);

private:
    struct Entry;
    struct State;

    int wait(const Notice &notice);
    void openNext();

    std::shared_ptr<State> state;
};
