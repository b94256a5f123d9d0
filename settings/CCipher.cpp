#include "settings/CCipher.h"

#include "settings/RandomGenerator.h"
#include "settings/SixBit.h"

#include <QStringDecoder>

#include <array>
#include <cmath>

void CCipher::Encrypt()
{
    XorWithKeyStream();
    m_text = SixBit::encode(m_text);
}

void CCipher::Decrypt()
{
    m_text = SixBit::decode(m_text);
    XorWithKeyStream();
}

void CCipher::Key(const QString& key)
{
    m_key = key.toUtf8();
    SeedFromKey();
}

QString CCipher::Text() const
{
    // A leading U+FEFF belongs to the password; QString::fromUtf8 would drop it as a byte-order mark.
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom).decode(m_text);
}

void CCipher::Text(const QString& text)
{
    m_text = text.toUtf8();
    SeedFromKey();
}

// Leaves the generator in a state that depends on the key alone.
void CCipher::SeedFromKey()
{
    float v = RandomGenerator::value(-1.0F);
    RandomGenerator::reseed(v);
    for (const char byte : m_key) {
        const int c = static_cast<unsigned char>(byte);
        const float r = RandomGenerator::next();
        // Exact in double (24-bit by 8-bit product), so one rounding to float on every build.
        const auto x = static_cast<float>(-static_cast<double>(r) * c);
        v = RandomGenerator::value(x);
        RandomGenerator::reseed(v);
    }
}

void CCipher::XorWithKeyStream()
{
    for (char& byte : m_text) {
        const auto k = static_cast<int>(std::floor(RandomGenerator::next() * 256.0F));
        byte = static_cast<char>(k ^ static_cast<unsigned char>(byte));
    }
}

QString ApplicationKey()
{
    static constexpr std::array<char16_t, 6> codes{0x51, 0x77, 0x33, 0x23, 0x6B, 0x21};
    QString key;
    for (const char16_t code : codes)
        key += QChar(code);
    return key;
}
