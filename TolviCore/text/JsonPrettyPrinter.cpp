#include "TolviCore/text/JsonPrettyPrinter.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace tolvi::JsonPrettyPrinter {

namespace {

struct Value;

struct Member {
    QString key;
    std::unique_ptr<Value> value;
};

struct Value {
    enum class Kind { Object, Array, String, Number, True, False, Null };
    Kind kind = Kind::Null;
    QString text; // the decoded string, or the number as written
    std::vector<Member> members;
    std::vector<std::unique_ptr<Value>> elements;
};

// Orders UTF-16 strings by code point (plain UTF-16 order puts U+E000..U+FFFF after the
// supplementary planes).
bool codePointLess(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y)
            continue;
        auto rank = [](char16_t c) -> unsigned {
            if (c >= 0xD800 && c <= 0xDFFF)
                return unsigned(c) + 0x2000u;
            if (c >= 0xE000)
                return unsigned(c) - 0x800u;
            return c;
        };
        return rank(x) < rank(y);
    }
    return a.size() < b.size();
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

class Reader {
public:
    explicit Reader(QStringView text) : text_(text) {}

    std::unique_ptr<Value> readDocument()
    {
        skipWhitespace();
        if (atEnd() || (peek() != u'{' && peek() != u'['))
            return nullptr;
        auto value = readValue(0);
        if (!value)
            return nullptr;
        skipWhitespace();
        return atEnd() ? std::move(value) : nullptr;
    }

private:
    bool atEnd() const { return position_ >= text_.size(); }
    char16_t peek() const { return text_[position_].unicode(); }

    void skipWhitespace()
    {
        while (!atEnd()) {
            const char16_t c = peek();
            if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
                return;
            ++position_;
        }
    }

    bool consumeLiteral(QStringView literal)
    {
        if (text_.sliced(position_).startsWith(literal)) {
            position_ += literal.size();
            return true;
        }
        return false;
    }

    std::unique_ptr<Value> readValue(int depth)
    {
        if (atEnd())
            return nullptr;
        auto value = std::make_unique<Value>();
        const char16_t c = peek();
        if (c == u'{') {
            if (depth >= maximumDepth || !readObject(*value, depth + 1))
                return nullptr;
        } else if (c == u'[') {
            if (depth >= maximumDepth || !readArray(*value, depth + 1))
                return nullptr;
        } else if (c == u'"') {
            value->kind = Value::Kind::String;
            if (!readString(value->text))
                return nullptr;
        } else if (c == u'-' || (c >= u'0' && c <= u'9')) {
            value->kind = Value::Kind::Number;
            if (!readNumber(value->text))
                return nullptr;
        } else if (consumeLiteral(u"true")) {
            value->kind = Value::Kind::True;
        } else if (consumeLiteral(u"false")) {
            value->kind = Value::Kind::False;
        } else if (consumeLiteral(u"null")) {
            value->kind = Value::Kind::Null;
        } else {
            return nullptr;
        }
        return value;
    }

    bool readObject(Value& value, int depth)
    {
        value.kind = Value::Kind::Object;
        ++position_; // {
        skipWhitespace();
        if (!atEnd() && peek() == u'}') {
            ++position_;
            return true;
        }
        while (true) {
            skipWhitespace();
            if (atEnd() || peek() != u'"')
                return false;
            Member member;
            if (!readString(member.key))
                return false;
            skipWhitespace();
            if (atEnd() || peek() != u':')
                return false;
            ++position_;
            skipWhitespace();
            member.value = readValue(depth);
            if (!member.value)
                return false;
            value.members.push_back(std::move(member));
            const Separator next = readSeparator(u'}');
            if (next == Separator::invalid)
                return false;
            if (next == Separator::closed)
                break;
        }
        std::stable_sort(value.members.begin(), value.members.end(),
                         [](const Member& a, const Member& b) { return codePointLess(a.key, b.key); });
        for (std::size_t i = 1; i < value.members.size(); ++i) {
            if (value.members[i - 1].key == value.members[i].key)
                return false; // a repeated key
        }
        return true;
    }

    bool readArray(Value& value, int depth)
    {
        value.kind = Value::Kind::Array;
        ++position_; // [
        skipWhitespace();
        if (!atEnd() && peek() == u']') {
            ++position_;
            return true;
        }
        while (true) {
            skipWhitespace();
            auto element = readValue(depth);
            if (!element)
                return false;
            value.elements.push_back(std::move(element));
            const Separator next = readSeparator(u']');
            if (next != Separator::comma)
                return next == Separator::closed;
        }
    }

    enum class Separator { comma, closed, invalid };

    // What follows a member or an element: a comma, the closing bracket, or anything else.
    Separator readSeparator(char16_t closing)
    {
        skipWhitespace();
        if (atEnd())
            return Separator::invalid;
        const auto c = peek();
        if (c != u',' && c != closing)
            return Separator::invalid;
        ++position_;
        return c == u',' ? Separator::comma : Separator::closed;
    }

    bool readHex4(char16_t& unit)
    {
        if (position_ + 4 > text_.size())
            return false;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char16_t c = text_[position_ + i].unicode();
            if (!isHexDigit(c))
                return false;
            v = v * 16 + (c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10);
        }
        position_ += 4;
        unit = char16_t(v);
        return true;
    }

    bool readString(QString& out)
    {
        ++position_; // opening quote
        const qsizetype start = position_;
        // Fast path: a run without escapes.
        while (!atEnd()) {
            const char16_t c = peek();
            if (c == u'"' || c == u'\\' || c < 0x20 || (c >= 0xD800 && c <= 0xDFFF))
                break;
            ++position_;
        }
        out = text_.sliced(start, position_ - start).toString();
        while (!atEnd()) {
            const char16_t c = peek();
            if (c == u'"') {
                ++position_;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == u'\\') {
                ++position_;
                if (atEnd())
                    return false;
                const char16_t e = peek();
                ++position_;
                switch (e) {
                case u'"': out.append(QChar(u'"')); break;
                case u'\\': out.append(QChar(u'\\')); break;
                case u'/': out.append(QChar(u'/')); break;
                case u'b': out.append(QChar(u'\b')); break;
                case u'f': out.append(QChar(u'\f')); break;
                case u'n': out.append(QChar(u'\n')); break;
                case u'r': out.append(QChar(u'\r')); break;
                case u't': out.append(QChar(u'\t')); break;
                case u'u': {
                    char16_t unit = 0;
                    if (!readHex4(unit))
                        return false;
                    if (QChar::isHighSurrogate(unit)) {
                        char16_t low = 0;
                        if (!consumeLiteral(u"\\u") || !readHex4(low) || !QChar::isLowSurrogate(low))
                            return false;
                        out.append(QChar(unit));
                        out.append(QChar(low));
                    } else if (QChar::isLowSurrogate(unit)) {
                        return false;
                    } else {
                        out.append(QChar(unit));
                    }
                    break;
                }
                default:
                    return false;
                }
                continue;
            }
            if (QChar::isHighSurrogate(c)) {
                if (position_ + 1 >= text_.size() || !text_[position_ + 1].isLowSurrogate())
                    return false;
                out.append(text_.sliced(position_, 2));
                position_ += 2;
                continue;
            }
            if (QChar::isLowSurrogate(c))
                return false;
            out.append(QChar(c));
            ++position_;
        }
        return false;
    }

    bool readDigits()
    {
        const qsizetype start = position_;
        while (!atEnd() && peek() >= u'0' && peek() <= u'9')
            ++position_;
        return position_ > start;
    }

    bool readNumber(QString& out)
    {
        const qsizetype start = position_;
        if (peek() == u'-')
            ++position_;
        if (atEnd())
            return false;
        if (peek() == u'0') {
            ++position_;
        } else if (!readDigits()) {
            return false;
        }
        if (!atEnd() && peek() == u'.') {
            ++position_;
            if (!readDigits())
                return false;
        }
        if (!atEnd() && (peek() == u'e' || peek() == u'E')) {
            ++position_;
            if (!atEnd() && (peek() == u'+' || peek() == u'-'))
                ++position_;
            if (!readDigits())
                return false;
        }
        out = text_.sliced(start, position_ - start).toString();
        return true;
    }

    QStringView text_;
    qsizetype position_ = 0;
};

void writeString(QString& out, const QString& text)
{
    out.append(QChar(u'"'));
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'"': out.append(QLatin1String("\\\"")); break;
        case u'\\': out.append(QLatin1String("\\\\")); break;
        case u'\b': out.append(QLatin1String("\\b")); break;
        case u'\f': out.append(QLatin1String("\\f")); break;
        case u'\n': out.append(QLatin1String("\\n")); break;
        case u'\r': out.append(QLatin1String("\\r")); break;
        case u'\t': out.append(QLatin1String("\\t")); break;
        default:
            if (c < 0x20) {
                static const char digits[] = "0123456789abcdef";
                out.append(QLatin1String("\\u00"));
                out.append(QChar(digits[c >> 4]));
                out.append(QChar(digits[c & 0xF]));
            } else {
                out.append(ch);
            }
        }
    }
    out.append(QChar(u'"'));
}

void writeIndent(QString& out, int level)
{
    for (int i = 0; i < level * 2; ++i)
        out.append(QChar(u' '));
}

void writeValue(QString& out, const Value& value, int level)
{
    switch (value.kind) {
    case Value::Kind::Object:
        if (value.members.empty()) {
            out.append(QLatin1String("{}"));
            return;
        }
        out.append(QLatin1String("{\n"));
        for (std::size_t i = 0; i < value.members.size(); ++i) {
            writeIndent(out, level + 1);
            writeString(out, value.members[i].key);
            out.append(QLatin1String(" : "));
            writeValue(out, *value.members[i].value, level + 1);
            out.append(i + 1 < value.members.size() ? QLatin1String(",\n") : QLatin1String("\n"));
        }
        writeIndent(out, level);
        out.append(QChar(u'}'));
        return;
    case Value::Kind::Array:
        if (value.elements.empty()) {
            out.append(QLatin1String("[]"));
            return;
        }
        out.append(QLatin1String("[\n"));
        for (std::size_t i = 0; i < value.elements.size(); ++i) {
            writeIndent(out, level + 1);
            writeValue(out, *value.elements[i], level + 1);
            out.append(i + 1 < value.elements.size() ? QLatin1String(",\n") : QLatin1String("\n"));
        }
        writeIndent(out, level);
        out.append(QChar(u']'));
        return;
    case Value::Kind::String:
        writeString(out, value.text);
        return;
    case Value::Kind::Number:
        out.append(value.text);
        return;
    case Value::Kind::True:
        out.append(QLatin1String("true"));
        return;
    case Value::Kind::False:
        out.append(QLatin1String("false"));
        return;
    case Value::Kind::Null:
        out.append(QLatin1String("null"));
        return;
    }
}

} // namespace

std::optional<QString> prettyPrinted(QStringView text)
{
    Reader reader(text);
    const std::unique_ptr<Value> document = reader.readDocument();
    if (!document)
        return std::nullopt;
    QString out;
    out.reserve(text.size() * 2);
    writeValue(out, *document, 0);
    return out;
}

bool isObjectOrArray(QStringView text)
{
    Reader reader(text);
    return reader.readDocument() != nullptr;
}

} // namespace tolvi::JsonPrettyPrinter
