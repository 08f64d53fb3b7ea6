#pragma once
// A fresh KOLVO_HOME for every test, removed afterwards.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>
#include <string>

class KolvoHomeTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::string home() const;
    std::string homePath(const std::string& relative) const;
    // Writes a file below the home (folders made as needed); returns its path.
    std::string writeFile(const std::string& relative, const std::string& content) const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// Reads a whole file; "" when it cannot be read.
std::string readFile(const std::string& path);
// The path of a program built beside the tests.
std::string builtProgram(const std::string& name);
// Deadlines on whole program starts are the optimised build's; an instrumented build starts
// several times slower, so there they are stretched.
#ifdef KOLVO_SANITIZED_BUILD
inline constexpr int kStartDeadlineScale = 4;
#else
inline constexpr int kStartDeadlineScale = 1;
#endif

// True when this process runs as root (file permissions do not stop root).
bool runningAsRoot();
