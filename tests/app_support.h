#pragma once
// Shared by the window and platform tests: one QApplication for the test binary and a
// scripted answerer for the message boxes and file dialogs.
#include "platform/dialogs.h"
#include "support/dialogs.h"

#include <QApplication>
#include <QString>
#include <gtest/gtest.h>

#include <ostream>

// Failure messages show texts as text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace zp::test {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "zoripost_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            m_app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

} // namespace zp::test
