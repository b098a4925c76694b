#include "picturepage.h"

#include "app/platform/controlevents.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace zp {

PicturePage::PicturePage(WindowHost& host, QObject* parent) : QObject(parent), m_host(host) {
    QWidget* w = host.window();
    onExit(findControl<QLineEdit>(w, "edtQuality"), this, [this] { edtQualityExit(); });
    onExit(findControl<QLineEdit>(w, "edtLimitSize"), this, [this] { edtLimitSizeExit(); });
    onExit(findControl<QLineEdit>(w, "edtSizeW"), this, [this] { edtSizeWExit(); });
    onExit(findControl<QLineEdit>(w, "edtSizeH"), this, [this] { edtSizeHExit(); });
    connect(findControl<QAbstractButton>(w, "chkLimitSize"), &QAbstractButton::clicked, this,
            &PicturePage::chkLimitSizeClick);
    for (const char* name : {"chkRot", "chkAllowCut", "chkStretchMiniImg"})
        connect(findControl<QAbstractButton>(w, name), &QAbstractButton::clicked, this,
                &PicturePage::chkRotClick);
    connect(findControl<QComboBox>(w, "cmbSize"), &QComboBox::activated, this,
            &PicturePage::cmbSizeChange);
    connect(findControl<QPushButton>(w, "btnMakeJpeg"), &QPushButton::clicked, this,
            &PicturePage::btnMakeJpegClick);
}

// The pipeline arrives with the picture preparation; until then these handlers keep the
// controls as they are.
void PicturePage::edtQualityExit() {}
void PicturePage::edtLimitSizeExit() {}
void PicturePage::edtSizeWExit() {}
void PicturePage::edtSizeHExit() {}
void PicturePage::chkLimitSizeClick() {}
void PicturePage::chkRotClick() {}
void PicturePage::cmbSizeChange() {}
void PicturePage::btnMakeJpegClick() {}
void PicturePage::applyTargetSize() {}

bool PicturePage::makeJpeg(bool rescale) {
    Q_UNUSED(rescale);
    return false;
}

} // namespace zp
