#pragma once

#include "platform/Platform.h"

#include <QString>

#include <functional>

namespace QKeychain {
class Job;
}

// The desktop's Secret Service (GNOME Keyring, KWallet, KeePassXC) through QtKeychain: one entry
// per account under the service "Quillpost". QtKeychain answers asynchronously; each call here
// waits for the answer with events running, but never longer than the deadline, so a locked
// keyring whose unlock prompt the user ignores holds the window up for a moment only.
class Keyring
{
public:
    static constexpr int kDeadlineMs = 2000;

    // A secret read after the deadline goes to lateAnswer.
    SecretAnswer read(const QString& account, const std::function<void(const QString&)>& lateAnswer = {});
    SecretAnswer write(const QString& account, const QString& secret);
    SecretAnswer remove(const QString& account);

private:
    // Starts the job, waits for its answer and deletes it. A job still running at the deadline is
    // left to delete itself once it ends, since QtKeychain's callbacks still point at it.
    SecretAnswer run(QKeychain::Job* job, const std::function<void(const QString&)>& lateAnswer = {});
};
