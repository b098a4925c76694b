#pragma once
// The picture settings page: quality, size limit, target size, turning and cutting, and
// the JPEG pipeline that reads them. Handler slots are named after the control events.
#include "app/platform/windowhost.h"

#include <QObject>

namespace zp {

class PicturePage : public QObject {
    Q_OBJECT
public:
    PicturePage(WindowHost& host, QObject* parent);

public slots:
    void edtQualityExit();
    void edtLimitSizeExit();
    void edtSizeWExit();
    void edtSizeHExit();
    void chkLimitSizeClick();
    void chkRotClick();
    void cmbSizeChange();
    void btnMakeJpegClick();
    void applyTargetSize();
    // Fits, encodes and previews the picture; true when a JPEG within the limit was made.
    bool makeJpeg(bool rescale);

private:
    [[maybe_unused]] WindowHost& m_host;
};

} // namespace zp
