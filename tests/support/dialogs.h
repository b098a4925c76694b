#pragma once
// Message boxes and file dialogs answered by a script: installed for its lifetime, it records
// every request and answers from its fields, so that no test waits for a person.
#include "platform/dialogs.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace zp::test {

struct ShownMessage {
    MsgKind kind;
    QString text;
    MsgButtons buttons;
};

class ScriptedDialogs : public Dialogs {
public:
    ScriptedDialogs() { setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

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
    QString saveFile(QWidget*, const QString& initialPath, const QString& filter) override {
        saveRequests.push_back(initialPath + QLatin1Char('|') + filter);
        return saveAnswer;
    }
    QString chooseFolder(QWidget*, const QString& title, const QString& startDir) override {
        folderRequests.push_back(title + QLatin1Char('|') + startDir);
        return folderAnswer;
    }
    // The texts of the messages shown so far.
    QStringList texts() const {
        QStringList out;
        for (const ShownMessage& m : messages)
            out << m.text;
        return out;
    }

    std::vector<ShownMessage> messages;
    QStringList openRequests;
    QStringList saveRequests;
    QStringList folderRequests;
    std::function<void()> onMessage;
    MsgAnswer answer = MsgAnswer::Yes; // to yes/no questions
    QString fileAnswer;
    QString saveAnswer;
    QString folderAnswer;
};

} // namespace zp::test
