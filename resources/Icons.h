#pragma once

#include <QIcon>

// The program's artwork, each icon with its 16 and 32 pixel images.
namespace Icons {

QIcon application();
QIcon noMail();
QIcon gotMail();
QIcon checking();

} // namespace Icons
