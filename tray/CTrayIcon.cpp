#include "tray/CTrayIcon.h"

#include "core/Conversions.h"
#include "core/RuntimeError.h"
#include "platform/PictureBox.h"
#include "platform/Twips.h"

#include <array>

namespace {

constexpr qsizetype kTipLength = 64;

} // namespace

TrayIconHolder gTrayIcon;

CTrayIcon::CTrayIcon(Platform& platform)
    : m_platform(platform)
    , m_tip(kTipLength, QChar(0)) // no tip until one is set
{
    // The record's constants are its defaults.
}

CTrayIcon::~CTrayIcon()
{
    // The window and the number identify the icon to the desktop.
    m_record.cbSize = 88;
    m_record.uID = 1;
    send(NotifyMessage::Delete);
}

void CTrayIcon::Create()
{
    send(NotifyMessage::Add);
}

void CTrayIcon::Refresh()
{
    send(NotifyMessage::Modify);
}

void CTrayIcon::send(NotifyMessage message) const
{
    NotifyIconData record = m_record;
    record.szTip = m_tip.toUtf8();
    m_platform.notifyIcon(message, record);
}

void CTrayIcon::ToolTip(const QString& text)
{
    // Counted in code points, so a cut never splits a character in two.
    QList<uint> field = text.toUcs4();
    field.append(0);
    if (field.size() > kTipLength)
        field.resize(kTipLength);
    while (field.size() < kTipLength)
        field.append(' ');
    m_tip = QString::fromUcs4(reinterpret_cast<const char32_t*>(field.constData()), field.size());
}

void CTrayIcon::Notification(PictureBox* window)
{
    m_record.hWnd = window;
}

PictureBox* CTrayIcon::Notification() const
{
    return m_record.hWnd.data();
}

QString CTrayIcon::GetMouseEvent(float x)
{
    if (m_busy)
        return {};
    m_busy = true;
    // An X that gives no 32-bit number is no mouse message either.
    qint32 message = 0;
    runStep([&] { message = Conversions::roundToInt32(x / Twips::perPixelX()); });
    // The button messages from WM_LBUTTONDOWN (513) to WM_RBUTTONDBLCLK (518).
    static const std::array<QString, 6> names = {
        QStringLiteral("LeftButtonDown"), QStringLiteral("LeftButtonUp"),
        QStringLiteral("DoubleClick"),    QStringLiteral("RightButtonDown"),
        QStringLiteral("RightButtonUp"),  QStringLiteral("RightDoubleClick")};
    const QString name = message >= 513 && message <= 518 ? names[message - 513] : QString();
    m_busy = false;
    return name;
}

TrayIconHolder::~TrayIconHolder()
{
    // Only reached at static destruction when no exit path released the icon: the platform it
    // was bound to lived in main() and is gone, and the end of the process removes the icon.
    (void)m_icon.release();
}

CTrayIcon* TrayIconHolder::operator->()
{
    if (!m_icon) {
        if (!m_platform)
            throw RuntimeError(QStringLiteral("Tray icon: no platform bound"));
        m_icon = std::make_unique<CTrayIcon>(*m_platform);
    }
    return m_icon.get();
}
