#pragma once

#include <QString>

// One message for the operator: what kind of box, its title, text and single button.
struct Notice
{
    enum Kind { Critical, Information, About };
    enum Button { Ok, Close };

    Kind kind;
    QString title;
    QString text;
    Button button;
    // Shown under the text as the box's informative text; says, for instance,
    // which of many printers the box is about.
    QString detail = {};

    bool operator==(const Notice &other) const
    {
        return kind == other.kind && title == other.title && text == other.text &&
               button == other.button && detail == other.detail;
    }
};

// The one way code tells the operator something. The program shows modal
// message boxes; tests record what would have been shown.
class Notifier
{
public:
    virtual ~Notifier();
    virtual void show(const Notice &notice) = 0;

    void critical(const QString &title, const QString &text, const QString &detail = {})
    {
        show({Notice::Critical, title, text, Notice::Close, detail});
    }
    void information(const QString &title, const QString &text, const QString &detail = {})
    {
        show({Notice::Information, title, text, Notice::Ok, detail});
    }
    void about(const QString &title, const QString &text)
    {
        show({Notice::About, title, text, Notice::Ok});
    }
};
