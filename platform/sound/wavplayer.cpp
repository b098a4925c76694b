// The one part of the sound player that needs Qt Multimedia, built as a module of its own.
// The platform layer loads it when the first sound plays, so Qt Multimedia and its sound
// stack (some 25 shared libraries) are not loaded while the window starts.
#include <QObject>
#include <QSoundEffect>
#include <QString>
#include <QUrl>

// Plays the WAV file without waiting for it, through an effect that `owner` keeps: a new
// request replaces a sound still playing, as the platform's asynchronous play does. The
// effect loads the file on its own and starts once it is loaded.
extern "C" Q_DECL_EXPORT void zpPlayWav(QObject* owner, const QString& absolutePath) {
    auto* effect = owner->findChild<QSoundEffect*>(QString(), Qt::FindDirectChildrenOnly);
    if (!effect)
        effect = new QSoundEffect(owner);
    effect->stop();
    effect->setSource(QUrl::fromLocalFile(absolutePath));
    effect->play();
}
