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
    connect(player, &QProcess::finished, this,
            [this, player, noOutput](int code, QProcess::ExitStatus status) {
                if (m_playing == player)
                    m_playing = nullptr;
                player->deleteLater();
                if (status == QProcess::NormalExit && code == NoOutput && noOutput)
                    noOutput();
            });
    // Without its player the program has no sound at all, as without an output.
    connect(player, &QProcess::errorOccurred, this, [this, player, noOutput](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        qCWarning(lcSound) << "cannot start the sound player" << m_program << player->errorString();
        if (m_playing == player)
            m_playing = nullptr;
        player->deleteLater();
        if (noOutput)
            noOutput();
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
