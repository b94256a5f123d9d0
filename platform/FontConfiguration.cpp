#include "platform/FontConfiguration.h"

#include <fontconfig/fontconfig.h>

FontConfiguration::FontConfiguration()
    // Qt's font database asks for the same default configuration later and then finds it loaded.
    : m_loader([] { FcInit(); })
{}

FontConfiguration::~FontConfiguration()
{
    wait();
}

void FontConfiguration::wait()
{
    if (m_loader.joinable())
        m_loader.join();
}
