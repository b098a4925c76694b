#include "soundplayer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QPointer>
#include <QStringList>

namespace zp {

namespace {

using PlayFn = void (*)(QObject* owner, const QString& absolutePath);

// The sound module, looked for where it is installed relative to the program and beside it
// (a copy carried around with its module); loaded once, on the first sound, and kept.
PlayFn playFunction() {
    static const PlayFn play = [] {
        const QString dir = QCoreApplication::applicationDirPath();
        QStringList tried;
        for (const QString& folder : {dir + QStringLiteral("/" ZP_SOUND_MODULE_DIR), dir}) {
            QLibrary module(folder + QStringLiteral("/zp_sound"));
            if (auto fn = reinterpret_cast<PlayFn>(module.resolve("zpPlayWav")))
                return fn;
            tried << module.errorString();
        }
        qWarning("zoripost: no sound: %s", qPrintable(tried.join(QStringLiteral("; "))));
        return PlayFn{};
    }();
    return play;
}

} // namespace

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer() = default;

void SoundPlayer::playWav(const QString& path) {
    m_lastPath = path;
    if (!QFileInfo(path).isFile())
        return;
    if (const PlayFn play = playFunction())
        play(this, QFileInfo(path).absoluteFilePath());
}

SoundPlayer& soundPlayer() {
    static QPointer<SoundPlayer> player;
    if (!player)
        player = new SoundPlayer(QCoreApplication::instance());
    return *player;
}

} // namespace zp
