#include "soundplayer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace zp {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer() = default;

void SoundPlayer::playWav(const QString& path) {
    m_lastPath = path;
    if (!QFileInfo(path).isFile())
        return;
    // The effect loads the file on its own and starts once it is loaded; a new request
    // replaces a sound still playing, as the platform's asynchronous play does.
    if (!m_effect)
        m_effect = new QSoundEffect(this);
    m_effect->stop();
    m_effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    m_effect->play();
}

SoundPlayer& soundPlayer() {
    static QPointer<SoundPlayer> player;
    if (!player)
        player = new SoundPlayer(QCoreApplication::instance());
    return *player;
}

} // namespace zp
