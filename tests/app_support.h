#pragma once
// Shared by the window and platform tests: one QApplication for the test binary and a
// scripted answerer for the message boxes and file dialogs.
#include "platform/dialogs.h"

#include <QApplication>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

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

struct ShownMessage {
    MsgKind kind;
    QString text;
    MsgButtons buttons;
};

// Records every request; answers from the scripted fields.
class ScriptedDialogs : public Dialogs {
public:
    ScriptedDialogs() { setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(nullptr); }

    MsgAnswer message(QWidget*, MsgKind kind, const QString& text, MsgButtons buttons) override {
        messages.push_back({kind, text, buttons});
        if (onMessage)
            onMessage();
        return buttons == MsgButtons::YesNo ? answer : MsgAnswer::Ok;
    }
    QString openFile(QWidget*, const QString& initialDir, const QString& filter) override {
        openRequests.push_back(initialDir + QLatin1Char('|') + filter);
        return fileAnswer;
    }
    QString chooseFolder(QWidget*, const QString& title, const QString& startDir) override {
        folderRequests.push_back(title + QLatin1Char('|') + startDir);
        return folderAnswer;
    }

    std::vector<ShownMessage> messages;
    QStringList openRequests;
    QStringList folderRequests;
    std::function<void()> onMessage;
    MsgAnswer answer = MsgAnswer::Yes;
    QString fileAnswer;
    QString folderAnswer;
};

} // namespace zp::test
