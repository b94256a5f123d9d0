#include "platform/Winsock.h"

Winsock::Winsock(QObject* parent)
    : QObject(parent)
{}
