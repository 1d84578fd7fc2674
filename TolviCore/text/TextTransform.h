#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tolvi {

// The 18 local text transforms offered for a text clip. Each is a pure function of one text;
// none fails: a transform that cannot do its work gives the text back unchanged.
class TextTransform {
public:
    enum Case : quint8 {
        trimWhitespace,
        collapseSpaces,
        sentenceCase,
        titleCase,
        uppercase,
        lowercase,
        bulletList,
        numberedList,
        checklist,
        emailDraft,
        sortLines,
        deduplicateLines,
        quoteLines,
        codeBlock,
        slugify,
        prettyJSON,
        cleanURL,
        markdownLink,
    };
    static constexpr int caseCount = 18;

    constexpr TextTransform(Case value) noexcept : value_(value) {}
    constexpr Case value() const noexcept { return value_; }

    // All 18 transforms in declaration order.
    static QList<TextTransform> allCases();
    // The transform whose raw value (its case name) this is.
    static std::optional<TextTransform> fromRawValue(QStringView rawValue);

    QString rawValue() const;
    QString id() const { return rawValue(); }
    QString title() const;
    // What a paste of the result is called ("Trimmed Text", "Pretty JSON"), as paste menus list it.
    QString resultTitle() const;

    QString apply(const QString& text) const;

    // The transforms worth offering for a text, in declaration order: the first fifteen always,
    // prettyJSON for a JSON object or array, cleanURL and markdownLink for a web address.
    static QList<TextTransform> available(const QString& text);

    // An http or https address with a host, allowing white space around it but none inside.
    static bool isWebURL(const QString& text);

    friend constexpr bool operator==(TextTransform a, TextTransform b) noexcept { return a.value_ == b.value_; }

private:
    Case value_;
};

inline size_t qHash(TextTransform transform, size_t seed = 0) noexcept
{
    return ::qHash(int(transform.value()), seed);
}

} // namespace tolvi
