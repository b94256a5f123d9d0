#pragma once

#include <memory>

class Platform;
class TokenSource;
class frmSettings;

namespace MainModule {

// Starts the program: loads the settings window hidden, reads every stored setting into it,
// handles the first run, shows the window when the user chose so and puts the icon into the
// tray. The window lives until the program ends. tokens: where sign-ins other than the password
// get their access tokens.
std::unique_ptr<frmSettings> Main(Platform& platform, TokenSource& tokens);

// The set-up message; returns when the user has closed it. A message still open is not shown a
// second time.
void ShowSetUpMessage(Platform& platform);

} // namespace MainModule
