#include "tray/cWav.h"

#include "platform/Platform.h"

cWav::cWav(Platform& platform)
    : m_platform(platform)
{}

bool cWav::Play(const QString& file, quint32 /*mode*/)
{
    if (!CanPlay())
        return false;
    return m_platform.playSound(file);
}

bool cWav::StopPlay()
{
    m_platform.stopSounds();
    return false;
}

bool cWav::CanPlay() const
{
    return m_platform.hasAudioOutput();
}
