#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

void KolvoHomeTest::SetUp()
{
    m_dir =
        std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kolvo-test-XXXXXX"));
    ASSERT_TRUE(m_dir->isValid());
    if (const char* prev = std::getenv("KOLVO_HOME")) {
        m_hadPrevious = true;
        m_previous = prev;
    }
    setenv("KOLVO_HOME", m_dir->path().toUtf8().constData(), 1);
}

void KolvoHomeTest::TearDown()
{
    if (m_hadPrevious)
        setenv("KOLVO_HOME", m_previous.c_str(), 1);
    else
        unsetenv("KOLVO_HOME");
    // A test may leave read-only folders behind; make them removable again.
    if (m_dir) {
        const std::string cmd = "chmod -R u+rwX '" + m_dir->path().toStdString() + "' 2>/dev/null";
        [[maybe_unused]] int rc = std::system(cmd.c_str());
    }
    m_dir.reset();
}

std::string KolvoHomeTest::home() const
{
    return m_dir->path().toStdString();
}

std::string KolvoHomeTest::homePath(const std::string& relative) const
{
    return home() + "/" + relative;
}

std::string KolvoHomeTest::writeFile(const std::string& relative, const std::string& content) const
{
    const std::string path = homePath(relative);
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string builtProgram(const std::string& name)
{
    return std::string(KOLVO_BIN_DIR) + "/" + name;
}

bool runningAsRoot()
{
    return geteuid() == 0;
}
