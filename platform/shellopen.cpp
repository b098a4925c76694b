#include "shellopen.h"

#include <QDesktopServices>
#include <QUrl>

namespace zp {

bool shellOpen(const QString& target) {
    const QString t = target.trimmed();
    if (t.isEmpty())
        return false;
    QUrl url(t, QUrl::StrictMode);
    // "C:\dir" parses with the scheme "c"; only schemes of two letters or more are URLs.
    if (!url.isValid() || url.scheme().size() < 2)
        url = QUrl::fromLocalFile(t);
    return QDesktopServices::openUrl(url);
}

} // namespace zp
