#include "platform/SoundPlayer.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcess>

#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcSound, "quillpost.sound")

// A player only opens the sound output and ends, or ends when killed; a busy machine still
// answers well within this.
constexpr int playerLimitMs = 3000;

} // namespace

SoundPlayer::SoundPlayer(const QString& program, QObject* parent)
    : QObject(parent)
    , m_program(program.isEmpty()
                    ? QCoreApplication::applicationDirPath() + QStringLiteral("/quillpost-sound")
                    : program)
{}

SoundPlayer::~SoundPlayer()
{
    if (m_playing) {
        m_playing->kill();
        m_playing->waitForFinished(playerLimitMs);
    }
}

void SoundPlayer::play(const QString& argument, std::function<void()> noOutput)
{
    stop();
    auto* player = new QProcess(this);
    m_playing = player;
    player->setProcessChannelMode(QProcess::ForwardedChannels);
    // The player is done: forgotten, and noOutput told when it could make no sound.
    const auto ended = [this, player, noOutput](bool silent) {
        if (m_playing == player)
            m_playing = nullptr;
        player->deleteLater();
        if (silent && noOutput)
            noOutput();
    };
    connect(player, &QProcess::finished, this, [ended](int code, QProcess::ExitStatus status) {
        ended(status == QProcess::NormalExit && code == NoOutput);
    });
    // Without its player the program has no sound at all, as without an output.
    connect(player, &QProcess::errorOccurred, this, [this, player, ended](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        qCWarning(lcSound) << "cannot start the sound player" << m_program << player->errorString();
        ended(true);
    });
    player->start(m_program, {argument});
}

void SoundPlayer::stop()
{
    if (QProcess* player = std::exchange(m_playing, nullptr))
        player->kill(); // deleted once it has ended
}

bool SoundPlayer::hasOutput()
{
    QProcess query;
    query.setProcessChannelMode(QProcess::ForwardedChannels);
    query.start(m_program, {});
    if (!query.waitForFinished(playerLimitMs)) {
        qCWarning(lcSound) << "the sound player" << m_program << "did not answer:" << query.errorString();
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == Played;
}
