#pragma once

#include "support/FakePlatform.h"
#include "support/TestConfig.h"

#include <QString>
#include <QStringList>

#include <memory>

class TokenSource;
class frmSettings;

// A settings window on a FakePlatform, pointed at one POP3 server (the server text as a user types
// it, such as "127.0.0.1:1110" or "pop3s://localhost:1995") and ready for whole checks:
// going on-line, tool tip with count and size, a beep and a command line on new mail. The tray
// icon shows the no-mail picture and "Off-Line", as after start-up; the settings store lives in
// a temporary folder.
class CheckingWindow
{
public:
    // tokens: where sign-ins other than the password get their tokens; the platform's script unless
    // given.
    CheckingWindow(const QString& server, const QString& user, const QString& password,
                   TokenSource* tokens = nullptr);
    ~CheckingWindow();

    frmSettings& window() { return *m_window; }
    FakePlatform& platform() { return m_platform; }
    // One check from "Check Now"; returns once it has ended.
    void check();
    // One check, as check(); returns the texts of the message boxes it showed.
    QStringList checkForMessages();
    // Whether every trigger of a check is back on and the conversation's timers are off.
    bool idle() const;

private:
    TestConfig m_config;
    FakePlatform m_platform;
    std::unique_ptr<frmSettings> m_window;
};
