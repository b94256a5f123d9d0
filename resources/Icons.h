#pragma once

#include <QIcon>

// The program's artwork, each icon drawn for 16, 22, 32 and 48 pixels.
namespace Icons {

QIcon application();
QIcon noMail();
QIcon gotMail();
QIcon checking();

} // namespace Icons
