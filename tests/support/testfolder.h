#pragma once

#include <QDir>
#include <QTemporaryDir>

// A fresh working folder for one test: settings.txt is read from and written to
// the working folder, so every test gets its own.
class TestFolder
{
public:
    TestFolder() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~TestFolder() { QDir::setCurrent(previous); }

    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

private:
    QString previous;
    QTemporaryDir dir;
};
