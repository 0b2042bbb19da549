#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A fresh working folder for one test: settings.txt is read from and written to
// the working folder, so every test gets its own; so is the journal of
// programmed printers (XDG_STATE_HOME), which the programs it starts inherit.
class TestFolder
{
public:
    TestFolder() : previous(QDir::currentPath()), previousState(qgetenv("XDG_STATE_HOME"))
    {
        QDir::setCurrent(dir.path());
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    }
    ~TestFolder()
    {
        QDir::setCurrent(previous);
        qputenv("XDG_STATE_HOME", previousState);
    }

    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

private:
    QString previous;
    QByteArray previousState;
    QTemporaryDir dir;
};
