#pragma once
// Plays a WAV file by its path without waiting for it: the call returns at once and the
// sound goes on while the caller continues (the send operation's firing sound). Qt Multimedia
// is loaded with the first sound, from the module zp_sound, not when the program starts.
#include <QObject>
#include <QString>

namespace zp {

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);
    ~SoundPlayer() override;

    // Starts playing the file; a missing or unreadable file plays nothing. Returns, once per
    // run, why no sound can play at all (the sound module could not be loaded), for the
    // status line; empty otherwise.
    QString playWav(const QString& path);
    // The file most recently handed to playWav (empty before the first call).
    QString lastPath() const { return m_lastPath; }

private:
    QString m_lastPath;
};

// The window's one player, created on first use and owned by the application object.
SoundPlayer& soundPlayer();

} // namespace zp
