#include "platform/WaveFile.h"

#include <QFile>
#include <QtEndian>

namespace WaveFile {

bool isPlayable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(12);
    if (header.size() != 12 || !header.startsWith("RIFF") || header.mid(8, 4) != "WAVE")
        return false;

    bool formatOk = false;
    // Walk the chunks; a bounded number of them, so a damaged file cannot keep us reading.
    for (int chunk = 0; chunk < 64; ++chunk) {
        const QByteArray head = file.read(8);
        if (head.size() != 8)
            return false;
        const quint32 size = qFromLittleEndian<quint32>(head.constData() + 4);
        const QByteArray id = head.left(4);
        if (id == "fmt ") {
            if (size < 16)
                return false;
            const QByteArray fmt = file.read(16);
            if (fmt.size() != 16)
                return false;
            const quint16 tag = qFromLittleEndian<quint16>(fmt.constData());
            const quint16 channels = qFromLittleEndian<quint16>(fmt.constData() + 2);
            const quint32 rate = qFromLittleEndian<quint32>(fmt.constData() + 4);
            const quint16 bits = qFromLittleEndian<quint16>(fmt.constData() + 14);
            // Qt's wave decoder takes plain integer PCM only: no float, no extensible format.
            formatOk = tag == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32) && channels >= 1 &&
                       channels <= 8 && rate > 0;
            if (!formatOk)
                return false;
            if (!file.seek(file.pos() + (size - 16) + (size & 1)))
                return false;
        } else if (id == "data") {
            return formatOk && size > 0;
        } else if (!file.seek(file.pos() + size + (size & 1))) {
            return false;
        }
    }
    return false;
}

} // namespace WaveFile
