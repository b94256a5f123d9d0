// The password cipher: deciphering whatever text the settings file holds, and enciphering any
// password and deciphering it again.

#include "fuzz/Require.h"

#include "settings/CCipher.h"
#include "settings/SixBit.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>

namespace {

QString decrypt(const QString& stored, const QString& key)
{
    CCipher cipher;
    cipher.Text(stored);
    cipher.Key(key);
    cipher.Decrypt();
    return cipher.Text();
}

QString encrypt(const QString& password, const QString& key)
{
    CCipher cipher;
    cipher.Text(password);
    cipher.Key(key);
    cipher.Encrypt();
    return cipher.Text();
}

bool printable(const QByteArray& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= SixBit::kFirst && c <= 122; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype length = bytes.size();

    // Anything a hand-edited file may hold still deciphers, to a text of the promised length.
    const QByteArray unpacked = SixBit::decode(bytes);
    require(unpacked.size() == (length == 0 ? 0 : (length - 1) - (length - 1) / 4),
            "decode gives (L - 1) - (L - 1) / 4 bytes");
    decrypt(QString::fromUtf8(bytes), ApplicationKey());

    // Any bytes survive the packing.
    const QByteArray packed = SixBit::encode(bytes);
    require(printable(packed), "packed text is printable");
    require(SixBit::decode(packed) == bytes, "decode undoes encode");

    // Any password comes back from the store as it went in, under the program's key and under
    // the first half of the input as a key.
    const QString password = QString::fromUtf8(bytes);
    const QString key = QString::fromUtf8(bytes.left(length / 2));
    for (const QString& k : {ApplicationKey(), key}) {
        const QString stored = encrypt(password, k);
        require(printable(stored.toLatin1()), "the stored password is printable");
        require(decrypt(stored, k) == password, "a password comes back as it went in");
    }

    // A password of any UTF-16 code units, lone surrogates too, comes back as the same bytes on
    // the wire.
    const QString units(reinterpret_cast<const QChar*>(bytes.constData()), length / 2);
    require(decrypt(encrypt(units, ApplicationKey()), ApplicationKey()).toUtf8() == units.toUtf8(),
            "a password comes back as the same UTF-8 bytes");
    return 0;
}
