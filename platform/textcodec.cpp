#include "textcodec.h"

#include "text/cp932.h"

namespace zp {

QString foldToCp932Forms(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        c = QChar(static_cast<char16_t>(cp932Form(c.unicode())));
    return out;
}

std::string toSjis(const QString& text) {
    return utf8ToSjis(text.toStdString());
}

QString fromSjis(const std::string& bytes) {
    return QString::fromStdString(sjisToUtf8(bytes));
}

std::pair<qsizetype, qsizetype> firstCharNotKeptInSjis(const QString& text) {
    if (fromSjis(toSjis(text)) == text)
        return {text.size(), 0};
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n =
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        const QString one = text.mid(i, n);
        if (fromSjis(toSjis(one)) != one)
            return {i, n};
        i += n;
    }
    return {text.size(), 0};
}

} // namespace zp
