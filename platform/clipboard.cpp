#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace zp {

const QMimeData* clipboardContents() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->mimeData() : nullptr;
}

} // namespace zp
