#include "platform/PictureBox.h"

PictureBox::PictureBox(QWidget* parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
}

void PictureBox::setPicture(const QIcon& picture)
{
    m_picture = picture;
    setPixmap(picture.pixmap(32, 32));
}
