#include "platform/SoundPlayer.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcess>

#include <optional>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcSound, "quillpost.sound")

// A killed player ends at once; even on a busy machine it is gone well within this.
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
    for (QProcess* player : {m_playing, m_looking})
        if (player) {
            player->kill();
            player->waitForFinished(playerLimitMs);
        }
}

void SoundPlayer::play(const QString& argument, std::function<void()> noOutput)
{
    stop();
    start(m_playing, {argument}, std::move(noOutput));
}

void SoundPlayer::start(QProcess*& slot, const QStringList& arguments, std::function<void()> noOutput)
{
    auto* player = new QProcess(this);
    slot = player;
    player->setProcessChannelMode(QProcess::ForwardedChannels);
    // The player is done: forgotten, and what it found is the answer about the output; a killed
    // player found nothing.
    const auto ended = [this, &slot, player, noOutput](std::optional<bool> output) {
        if (slot == player)
            slot = nullptr;
        player->deleteLater();
        if (!output)
            return;
        m_output = *output;
        if (!m_output && noOutput)
            noOutput();
    };
    connect(player, &QProcess::finished, this, [ended](int code, QProcess::ExitStatus status) {
        ended(status == QProcess::NormalExit ? std::optional(code != NoOutput) : std::nullopt);
    });
    // Without its player the program has no sound at all, as without an output.
    connect(player, &QProcess::errorOccurred, this, [this, player, ended](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        qCWarning(lcSound) << "cannot start the sound player" << m_program << player->errorString();
        ended(false);
    });
    player->start(m_program, arguments);
}

void SoundPlayer::stop()
{
    if (QProcess* player = std::exchange(m_playing, nullptr))
        player->kill(); // deleted once it has ended
}

bool SoundPlayer::hasOutput()
{
    // Without arguments the player plays nothing and only tells whether there is an output.
    if (!m_output && !m_looking)
        start(m_looking, {}, {});
    return m_output;
}
