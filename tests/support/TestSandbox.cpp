#include "tests/support/TestSandbox.h"

#include "app/RuntimePaths.h"

#include <QDir>
#include <cstdio>
#include <cstdlib>

TestSandbox::TestSandbox() : m_dir(QDir::tempPath() + "/magtest-XXXXXX")
{
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        std::abort();
    }
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    RuntimePaths::setAppDir(m_dir.path());
}

TestSandbox::~TestSandbox()
{
    QDir::setCurrent(m_previousDir);
    RuntimePaths::setAppDir(QString());
}
