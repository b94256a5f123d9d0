#include "platform/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace Twips {

static double logicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

double perPixelX()
{
    return 1440.0 / logicalDpi();
}

int toPixels(int twips)
{
    return static_cast<int>(std::lround(twips / perPixelX()));
}

} // namespace Twips
