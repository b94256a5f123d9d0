#pragma once

#include <QString>

// The log-on start entry: an XDG autostart file "Quillpost.desktop" that starts this program's
// own executable. Creating replaces an entry that exists; removing an absent one is quiet; a
// failure leaves things as they were and is not reported.
void CreateStartUpShortcut();
void RemoveStartUpShortcut();

// The Exec value, as written in a desktop entry file, that starts the given program without
// arguments.
QString desktopExecValue(const QString& program);
