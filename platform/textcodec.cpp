#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace zp {

// Input methods outside Windows type some characters as JIS X 0208's own mapping (a wave
// dash for "〜", a minus sign for "−"), which code page 932 maps to other code points. They are
// the same characters to the person typing, so they take the code page's form instead of "?".
QString foldToCp932Forms(const QString& text) {
    static constexpr struct {
        char16_t from, to;
    } kForms[] = {{u'\u301C', u'\uFF5E'}, {u'\u2016', u'\u2225'}, {u'\u2212', u'\uFF0D'},
                  {u'\u00A2', u'\uFFE0'}, {u'\u00A3', u'\uFFE1'}, {u'\u00AC', u'\uFFE2'},
                  {u'\u2014', u'\u2015'}, {u'\u00A6', u'\uFFE4'}, {u'\u00A5', u'\uFFE5'},
                  {u'\u203E', u'\uFFE3'}};
    QString out = text;
    for (QChar& c : out)
        for (const auto& f : kForms)
            if (c.unicode() == f.from) {
                c = QChar(f.to);
                break;
            }
    return out;
}

std::string toSjis(const QString& original) {
    // Text the code page takes whole, the common case, is encoded in one call without a copy.
    QStringEncoder whole("CP932", QStringEncoder::Flag::Stateless);
    QByteArray bytes = whole.encode(original);
    if (!whole.hasError())
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));

    // The encoder cannot be told to substitute, so characters without a CP932 form (once the
    // JIS forms are folded, which the code page never takes) are replaced one at a time.
    const QString text = foldToCp932Forms(original);
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()) * 2);
    for (qsizetype i = 0; i < text.size();) {
        qsizetype n =
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        QStringEncoder one("CP932", QStringEncoder::Flag::Stateless);
        QByteArray b = one.encode(QStringView(text).mid(i, n));
        if (one.hasError() || b.isEmpty())
            out += '?';
        else
            out.append(b.constData(), static_cast<std::size_t>(b.size()));
        i += n;
    }
    return out;
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

QString fromSjis(const std::string& bytes) {
    QStringDecoder dec("CP932", QStringDecoder::Flag::Stateless);
    return dec.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

} // namespace zp
