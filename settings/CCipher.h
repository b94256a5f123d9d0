#pragma once

#include <QByteArray>
#include <QString>

// Enciphers the POP3 password into printable text for the settings store and back. Each byte is
// XORed with a key stream from the process-wide generator, seeded from the key, and the result is
// packed into the 64 characters with codes 59 to 122. Texts cross into the cipher as UTF-8 bytes.
// Every Key or Text assignment restarts the key stream, so set both, then run one transform.
class CCipher
{
public:
    void Encrypt();
    // Never fails: text that no Encrypt produced still deciphers to some text.
    void Decrypt();
    void Key(const QString& key);
    QString Text() const;
    void Text(const QString& text);

private:
    void SeedFromKey();
    void XorWithKeyStream();

    QByteArray m_key;
    QByteArray m_text;
};

// The key of every stored password, built from its character codes at run time so that it never
// sits in the binary as a whole.
QString ApplicationKey();
