#include "selfupdate/ReleaseNotes.h"

#include <QRegularExpression>
#include <QString>

namespace ReleaseNotes {
namespace {

// A character reference (&amp; &#39; &#x4E2D; ...) decoded; unknown names stay as written.
QString decodedReferences(const QString& text) {
    static const QRegularExpression reference(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[a-zA-Z]+);"));
    QString decoded;
    qsizetype last = 0;
    for (auto match = reference.globalMatch(text); match.hasNext();) {
        QRegularExpressionMatch found = match.next();
        decoded += QStringView(text).mid(last, found.capturedStart() - last);
        last = found.capturedEnd();
        QString name = found.captured(1);
        char32_t codePoint = 0;
        if (name.startsWith(QLatin1Char('#'))) {
            bool hex =
                name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
            codePoint = name.mid(hex ? 2 : 1).toUInt(nullptr, hex ? 16 : 10);
        } else {
            static const QHash<QString, char32_t> named = {
                {QStringLiteral("amp"), U'&'},   {QStringLiteral("lt"), U'<'},
                {QStringLiteral("gt"), U'>'},    {QStringLiteral("quot"), U'"'},
                {QStringLiteral("apos"), U'\''}, {QStringLiteral("nbsp"), U' '},
            };
            codePoint = named.value(name, 0);
        }
        bool usable = codePoint >= 0x20 && codePoint <= 0x10FFFF &&
                      !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
        decoded += usable ? QString::fromUcs4(&codePoint, 1) : found.captured(0);
    }
    decoded += QStringView(text).mid(last);
    return decoded;
}

} // namespace

std::string plainText(std::string_view markup, std::size_t maximumCharacters) {
    static const QRegularExpression hidden(QStringLiteral("<(script|style)\\b.*?</\\1\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression blockEnd(
        QStringLiteral("<(br\\s*/?|/(p|div|h[1-6]|li|ul|ol|tr|table|blockquote|pre))\\s*>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression listEntry(QStringLiteral("<li\\b[^>]*>"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression blanks(QStringLiteral("[ \\t\\r\\f\\x0B]+"));
    static const QRegularExpression spacedBreak(QStringLiteral(" ?\\n ?"));
    static const QRegularExpression emptyLines(QStringLiteral("\\n{3,}"));

    QString text = QString::fromUtf8(markup.data(), static_cast<qsizetype>(markup.size()));
    text.remove(hidden);
    text.replace(blockEnd, QStringLiteral("\n"));
    text.replace(listEntry, QStringLiteral("• "));
    text.remove(tag);
    text = decodedReferences(text);
    text.replace(blanks, QStringLiteral(" "));
    text.replace(spacedBreak, QStringLiteral("\n"));
    text.replace(emptyLines, QStringLiteral("\n\n"));
    text = text.trimmed();

    QList<uint> codePoints = text.toUcs4();
    if (static_cast<std::size_t>(codePoints.size()) > maximumCharacters) {
        codePoints.resize(static_cast<qsizetype>(maximumCharacters));
        text = QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.constData()),
                                 codePoints.size()) +
               QStringLiteral("……");
    }
    return text.toStdString();
}

} // namespace ReleaseNotes
