#pragma once

#include <thread>

// Reads the system's font configuration on a thread of its own. Loading it is the slowest step
// of building the settings window, so a start that begins this before the application's own
// set-up has its tray icon up sooner.
class FontConfiguration
{
public:
    FontConfiguration();
    ~FontConfiguration();
    FontConfiguration(const FontConfiguration&) = delete;
    FontConfiguration& operator=(const FontConfiguration&) = delete;

    // Returns once the configuration is loaded.
    void wait();

private:
    std::thread m_loader;
};
