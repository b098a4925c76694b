#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace zp {
namespace {

const QMimeData* g_standIn = nullptr;

} // namespace

const QMimeData* clipboardContents() {
    if (g_standIn)
        return g_standIn;
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->mimeData() : nullptr;
}

void setClipboardStandIn(const QMimeData* contents) {
    g_standIn = contents;
}

} // namespace zp
