#pragma once

#include "platform/Platform.h"

#include <QIcon>
#include <QString>

#include <memory>

class PictureBox;

// The program's icon in the notification area: one notify-icon record, handed to the desktop to
// add, change and remove the icon. Setting the picture or the tip changes the record only; the
// desktop sees it at the next Refresh.
class CTrayIcon
{
public:
    explicit CTrayIcon(Platform& platform);
    // Removes the icon.
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    void Create();
    void Refresh();

    // The tip field always holds 64 characters: the text and a zero, blank-padded and cut at 64.
    void ToolTip(const QString& text);
    QString ToolTip() const { return m_tip; }

    void Icon(const QIcon& icon) { m_record.hIcon = icon; }
    QIcon Icon() const { return m_record.hIcon; }

    // The window at which the icon's mouse messages arrive.
    void Notification(PictureBox* window);
    PictureBox* Notification() const;

    // The name of the mouse event a tray callback carries as its X coordinate in twips; empty for
    // any other message and for a call made while one is running.
    QString GetMouseEvent(float x);

private:
    void send(NotifyMessage message) const;

    Platform& m_platform;
    NotifyIconData m_record;
    QString m_tip;
    bool m_busy = false;
};

// The program-wide icon: created on first use, bound to the platform given to bind(); release()
// destroys it, which removes the icon, and a later use creates a fresh one.
class TrayIconHolder
{
public:
    ~TrayIconHolder();

    void bind(Platform* platform) { m_platform = platform; }
    // Throws RuntimeError when no platform is bound.
    CTrayIcon* operator->();
    void release() { m_icon.reset(); }
    bool exists() const { return m_icon != nullptr; }

private:
    Platform* m_platform = nullptr;
    std::unique_ptr<CTrayIcon> m_icon;
};

extern TrayIconHolder gTrayIcon;
