#pragma once

#include <QObject>
#include <QString>

class Platform;
class QWidget;

// The file-open dialog control: set its title, filter and folder, then ShowOpen. FileName holds
// the chosen path afterwards, or an empty text when the user cancelled.
class FileOpenDialog : public QObject
{
    Q_OBJECT
public:
    FileOpenDialog(Platform& platform, QWidget* owner);

    QString DialogTitle;
    QString Filter;
    QString InitDir;
    QString FileName;

    void ShowOpen();

private:
    Platform& m_platform;
    QWidget* m_owner;
};
