#pragma once
// Running programs from the installation tests: a command with a bounded wait, and the
// installed tree made once per test binary.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace zp::test {

struct RunResult {
    bool finished = false;
    int code = -1;
    QByteArray out;
    QByteArray err;
};

inline RunResult
runCommand(const QString& program, const QStringList& args,
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
           int timeoutMs = 120000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    RunResult r;
    if (!p.waitForStarted(10000))
        return r;
    r.finished = p.waitForFinished(timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline QString describe(const RunResult& r) {
    return QStringLiteral("finished=%1 code=%2\nstdout: %3\nstderr: %4")
        .arg(r.finished)
        .arg(r.code)
        .arg(QString::fromLocal8Bit(r.out), QString::fromLocal8Bit(r.err));
}

// Every file below root (links and folders left out), as paths relative to root.
inline QStringList filesBelow(const QString& root) {
    QStringList files;
    const QDir base(root);
    QStringList pending{root};
    while (!pending.isEmpty()) {
        const QDir d(pending.takeFirst());
        for (const QFileInfo& fi : d.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                   QDir::NoDotAndDotDot | QDir::System)) {
            if (fi.isDir() && !fi.isSymLink())
                pending << fi.filePath();
            else
                files << base.relativeFilePath(fi.filePath());
        }
    }
    files.sort();
    return files;
}

// The build tree installed with prefix /usr into a temporary DESTDIR, once.
class InstalledTree {
public:
    static InstalledTree& get() {
        static InstalledTree tree;
        return tree;
    }
    bool ok() const { return m_ok; }
    const QString& log() const { return m_log; }
    QString root() const { return m_dir.path(); }
    QString path(const QString& rel) const { return m_dir.filePath(rel); }

private:
    InstalledTree() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_dir.path());
        const RunResult r = runCommand(QStringLiteral(ZP_CMAKE),
                                       {QStringLiteral("--install"), QStringLiteral(ZP_BUILD_DIR),
                                        QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                       env);
        m_ok = m_dir.isValid() && r.finished && r.code == 0;
        m_log = describe(r);
    }
    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_log;
};

} // namespace zp::test
