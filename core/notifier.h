#pragma once

#include <QString>
#include <QStringList>

// One message for the operator: what kind of box, its title, text and single button.
struct Notice
{
    enum Kind
    {
        Critical,
        Information,
        About,
        Question
    };
    enum Button
    {
        Ok,
        Close
    };

    Kind kind;
    QString title;
    QString text;
    Button button;
    // Shown under the text as the box's informative text; says, for instance,
    // which of many printers the box is about.
    QString detail = {};
    // A question's buttons, in order; the last one is also what Escape or closing
    // the box chooses.
    QStringList choices = {};
    // A long list behind the box's "Show Details..." button.
    QString detailedText = {};

    bool operator==(const Notice &other) const
    {
        return kind == other.kind && title == other.title && text == other.text &&
               button == other.button && detail == other.detail && choices == other.choices &&
               detailedText == other.detailedText;
    }
};

// The one way code tells the operator something. The program shows modal
// message boxes; tests record what would have been shown.
class Notifier
{
public:
    virtual ~Notifier();
    virtual void show(const Notice &notice) = 0;
    // Asks, and returns the index in `choices` of the button chosen. A notifier
    // that cannot ask shows the question and takes the last choice.
    virtual int ask(const Notice &question)
    {
        show(question);
        return int(question.choices.size()) - 1;
    }

    void critical(const QString &title, const QString &text, const QString &detail = {})
    {
        show({Notice::Critical, title, text, Notice::Close, detail});
    }
    void information(const QString &title, const QString &text, const QString &detail = {})
    {
        show({Notice::Information, title, text, Notice::Ok, detail});
    }
    int question(const QString &title, const QString &text, const QStringList &choices,
                 const QString &detail = {})
    {
        return ask({Notice::Question, title, text, Notice::Close, detail, choices});
    }
    void about(const QString &title, const QString &text)
    {
        show({Notice::About, title, text, Notice::Ok});
    }
};
