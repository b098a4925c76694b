#include "windowhost.h"

#include <algorithm>

namespace zp {

QString fileNamePart(const QString& pathOrName) {
    const qsizetype cut = std::max(pathOrName.lastIndexOf(QLatin1Char('/')),
                                   pathOrName.lastIndexOf(QLatin1Char('\\')));
    return pathOrName.mid(cut + 1);
}

} // namespace zp
