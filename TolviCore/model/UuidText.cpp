#include "TolviCore/model/UuidText.h"

namespace tolvi::UuidText {

namespace {

int hexValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

template <typename Text>
std::optional<QUuid> parseImpl(const Text& text, qsizetype size)
{
    if (size != 36)
        return std::nullopt;
    unsigned char bytes[16];
    int nibble = 0;
    for (qsizetype i = 0; i < 36; ++i) {
        const char16_t c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-')
                return std::nullopt;
            continue;
        }
        const int v = hexValue(c);
        if (v < 0)
            return std::nullopt;
        if (nibble % 2 == 0)
            bytes[nibble / 2] = static_cast<unsigned char>(v << 4);
        else
            bytes[nibble / 2] |= static_cast<unsigned char>(v);
        ++nibble;
    }
    return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(bytes), 16));
}

} // namespace

QString format(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parse(QStringView text)
{
    struct Access {
        QStringView v;
        char16_t operator[](qsizetype i) const { return v[i].unicode(); }
    };
    return parseImpl(Access{text}, text.size());
}

std::optional<QUuid> parse(std::string_view latin1)
{
    struct Access {
        std::string_view v;
        char16_t operator[](qsizetype i) const { return static_cast<unsigned char>(v[static_cast<size_t>(i)]); }
    };
    return parseImpl(Access{latin1}, static_cast<qsizetype>(latin1.size()));
}

} // namespace tolvi::UuidText
