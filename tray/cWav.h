#pragma once

#include <QString>

class Platform;

// Plays a wave sound file through the platform's sound output.
class cWav
{
public:
    // Start the sound and return at once.
    static constexpr quint32 SND_ASYNC = 0x1;

    explicit cWav(Platform& platform);

    // Starts playing file; false when there is no sound output or the file cannot be played.
    // Playback is always asynchronous and a new sound replaces one still playing, so mode adds
    // nothing: SND_ASYNC is the only mode the program passes. The sound goes on after this
    // object is gone.
    bool Play(const QString& file, quint32 mode);
    // Stops the sounds that are playing; always false.
    bool StopPlay();
    // Whether the system has a sound output.
    bool CanPlay() const;

private:
    Platform& m_platform;
};
