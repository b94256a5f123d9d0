#pragma once

#include <QIcon>
#include <QLabel>

// A borderless picture holding one icon. The hidden hook picture also stands in for the window
// at which the tray icon's mouse messages arrive: they come as MouseMove with the message number,
// in twips, as X.
class PictureBox : public QLabel
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QIcon& Picture() const { return m_picture; }
    void setPicture(const QIcon& picture);

    void raiseMouseMove(int button, int shift, float x, float y) { emit MouseMove(button, shift, x, y); }

signals:
    void MouseMove(int button, int shift, float x, float y);

private:
    QIcon m_picture;
};
