#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QProcess;

// Plays sounds through a short-lived player process (quillpost-sound, beside the program). The
// program that runs all day then neither loads the sound libraries nor keeps a connection to the
// sound server; a sound costs a process start before it is heard.
class SoundPlayer : public QObject
{
    Q_OBJECT
public:
    // How a player ends.
    enum Outcome
    {
        Played = 0,
        CannotPlay = 1,
        NoOutput = 2
    };
    // The player's argument for the alert tone, which travels inside the player.
    static constexpr char alertArgument[] = "--alert";

    // program: the player; empty for the one beside the running program.
    explicit SoundPlayer(const QString& program, QObject* parent = nullptr);
    // Stops the sound still playing.
    ~SoundPlayer() override;

    // Starts playing a wave file (an absolute path) or the alert tone, replacing a sound still
    // playing; noOutput runs when the system turns out to have no sound output, or the player
    // cannot start.
    void play(const QString& argument, std::function<void()> noOutput = {});
    void stop();
    // Whether the system has a sound output, as the last player to end found it; true until one
    // finds none. Never waits: while the answer is no, asking sends a quiet player to look again
    // (one at a time), so that an output that appears later is found.
    bool hasOutput();

private:
    // Starts a player as slot, which forgets it once it has ended.
    void start(QProcess*& slot, const QStringList& arguments, std::function<void()> noOutput);

    QString m_program;
    QProcess* m_playing = nullptr;
    QProcess* m_looking = nullptr;
    bool m_output = true;
};
