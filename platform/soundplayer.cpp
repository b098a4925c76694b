#include "soundplayer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QPointer>
#include <QStringList>

#include <atomic>

#ifdef Q_OS_WIN
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>
#endif

namespace zp {

namespace {

#ifdef Q_OS_WIN

// Windows plays the file itself, without waiting; no module is loaded.
QString play(QObject*, const QString& absolutePath) {
    const std::wstring path = absolutePath.toStdWString();
    if (PlaySoundW(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT))
        return {};
    return QStringLiteral("the system could not play %1").arg(absolutePath);
}

#else

using PlayFn = void (*)(QObject* owner, const QString& absolutePath);

struct SoundModule {
    PlayFn play = nullptr;
    QString error; // why it could not be loaded
};

// The sound module, looked for where it is installed relative to the program and beside it
// (a copy carried around with its module); loaded once, on the first sound, and kept.
const SoundModule& soundModule() {
    static const SoundModule module = [] {
        const QString dir = QCoreApplication::applicationDirPath();
        QStringList tried;
        for (const QString& folder : {dir + QStringLiteral("/" ZP_SOUND_MODULE_DIR), dir}) {
            QLibrary library(folder + QStringLiteral("/zp_sound"));
            if (auto fn = reinterpret_cast<PlayFn>(library.resolve("zpPlayWav")))
                return SoundModule{fn, {}};
            tried << library.errorString();
        }
        const QString why = tried.join(QStringLiteral("; "));
        qWarning("zoripost: no sound: %s", qPrintable(why));
        return SoundModule{nullptr, why};
    }();
    return module;
}

QString play(QObject* owner, const QString& absolutePath) {
    const SoundModule& module = soundModule();
    if (!module.play)
        return module.error;
    module.play(owner, absolutePath);
    return {};
}

#endif

} // namespace

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer() = default;

QString SoundPlayer::playWav(const QString& path) {
    m_lastPath = path;
    if (!QFileInfo(path).isFile())
        return {};
    const QString error = play(this, QFileInfo(path).absoluteFilePath());
    if (error.isEmpty())
        return {};
    static std::atomic<bool> told{false};
    if (told.exchange(true))
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("効果音を鳴らせません（%1）").arg(error);
#else
    return QStringLiteral("サウンドモジュールを読み込めないため、効果音を鳴らせません（%1）")
        .arg(error);
#endif
}

SoundPlayer& soundPlayer() {
    static QPointer<SoundPlayer> player;
    if (!player)
        player = new SoundPlayer(QCoreApplication::instance());
    return *player;
}

} // namespace zp
