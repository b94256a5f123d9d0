// quillpost-sound: plays one sound and ends. "quillpost-sound FILE" plays a wave file,
// "quillpost-sound --alert" the alert tone; without an argument it only tells, by its exit code,
// whether the system has a sound output.

#include "platform/SoundPlayer.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <csignal>

#include <sys/prctl.h>

int main(int argc, char* argv[])
{
    // A sound ends with the program that asked for it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    if (QMediaDevices::audioOutputs().isEmpty())
        return SoundPlayer::NoOutput;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
        return SoundPlayer::Played;

    QSoundEffect effect;
    // Queued, so that an outcome known before the event loop runs still ends it.
    QObject::connect(
        &effect, &QSoundEffect::statusChanged, &app,
        [&effect] {
            if (effect.status() == QSoundEffect::Error)
                QCoreApplication::exit(SoundPlayer::CannotPlay);
        },
        Qt::QueuedConnection);
    QObject::connect(
        &effect, &QSoundEffect::playingChanged, &app,
        [&effect] {
            if (!effect.isPlaying())
                QCoreApplication::exit(SoundPlayer::Played);
        },
        Qt::QueuedConnection);
    const QString source = arguments.at(1);
    effect.setSource(source == QLatin1String(SoundPlayer::alertArgument)
                         ? QUrl(QStringLiteral("qrc:/sounds/Alert.wav"))
                         : QUrl::fromLocalFile(source));
    effect.play();
    return QCoreApplication::exec();
}
