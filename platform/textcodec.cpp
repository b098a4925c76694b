#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace zp {

std::string toSjis(const QString& text) {
    // The encoder cannot be told to substitute, so characters without a CP932 form are
    // replaced one at a time: each code point is tried on its own when the whole text fails.
    QStringEncoder whole("CP932", QStringEncoder::Flag::Stateless);
    QByteArray bytes = whole.encode(text);
    if (!whole.hasError())
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));

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

QString fromSjis(const std::string& bytes) {
    QStringDecoder dec("CP932", QStringDecoder::Flag::Stateless);
    return dec.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

} // namespace zp
