#include "platform/FileOpenDialog.h"

#include "platform/Platform.h"

#include <QWidget>

FileOpenDialog::FileOpenDialog(Platform& platform, QWidget* owner)
    : QObject(owner)
    , m_platform(platform)
    , m_owner(owner)
{}

void FileOpenDialog::ShowOpen()
{
    FileName = m_platform.getOpenFileName(m_owner, DialogTitle, Filter, InitDir);
}
