#pragma once
// Gives a test process a temporary working folder that also stands in for the
// folder beside the executable, so "config.ini", "logs" and "file" never leak.

#include <QString>
#include <QTemporaryDir>

class TestSandbox
{
public:
    TestSandbox();
    ~TestSandbox();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
};
