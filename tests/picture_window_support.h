#pragma once
// Shared by the intake and preview tests: the real main window with a stand-in for the
// send operation, a fresh folder for its files, and pictures written by Qt's own image
// writers (independent of the program's decoders).
#include "app/zoripost1.h"
#include "app_support.h"
#include "bitmap/bitmap.h"
#include "picture/ui/intake.h"
#include "picture/ui/picturepage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <random>
#include <string_view>

namespace zp::test {

// The send operation is another part's: here it only counts its calls.
class SendCountingWindow : public TfrmMain {
public:
    explicit SendCountingWindow(const QString& executablePath) : TfrmMain(executablePath) {
        intake()->setSend([this] {
            ++sends;
            if (onSend)
                onSend();
        });
    }
    int sends = 0;
    std::function<void()> onSend;
};

// A picture with detail everywhere: a gradient under noise of the given strength.
inline QImage noisyImage(int w, int h, int noise, unsigned seed = 7) {
    QImage image(w, h, QImage::Format_RGB888);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> n(-noise, noise);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int base[3] = {x * 255 / w, y * 255 / h, 128};
            int c[3];
            for (int i = 0; i < 3; ++i)
                c[i] = std::clamp(base[i] + (noise ? n(rng) : 0), 0, 255);
            image.setPixel(x, y, qRgb(c[0], c[1], c[2]));
        }
    return image;
}

// The pixel (x, y) of a bitmap as a colour.
inline QRgb pixelOf(const Bitmap& b, int x, int y) {
    const std::uint8_t* p = b.row(y) + 3 * x;
    return qRgb(p[0], p[1], p[2]);
}

class PictureWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        window = std::make_unique<SendCountingWindow>(m_dir.filePath(QStringLiteral("zoripost")));
        page = window->picturePage();
        ASSERT_NE(page, nullptr);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents(); // the first showing's work (a welcome box)
        dialogs.messages.clear();
    }
    void TearDown() override { window.reset(); }

    template <class T> T* ctl(const char* name) { return findControl<T>(window.get(), name); }
    void check(const char* name, bool on) { ctl<QAbstractButton>(name)->setChecked(on); }
    QString status() { return ctl<QStatusBar>("statusBar")->currentMessage(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString working() const { return m_dir.filePath(QStringLiteral("zoripost.jpg")); }
    // Typed size boxes ("直接指定"); a small picture then keeps its size and orientation.
    void setFrame(int w, int h) {
        check("chkStretchMiniImg", false);
        check("chkRot", false);
        ctl<QComboBox>("cmbSize")->setCurrentIndex(0);
        page->cmbSizeChange();
        ctl<QLineEdit>("edtSizeW")->setText(QString::number(w));
        ctl<QLineEdit>("edtSizeH")->setText(QString::number(h));
    }
    // Writes a picture file with Qt's writer for the format of its extension (or the one
    // given), and returns its path.
    QString writePicture(const QString& name, const QImage& image, const char* format = nullptr) {
        const QString p = path(name);
        EXPECT_TRUE(image.save(p, format)) << name.toStdString();
        return p;
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString p = path(name);
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return p;
    }
    bool hasPicture() { return page->source().present(); }
    bool jpegShown() { return !ctl<QWidget>("imgJPEGnized")->isHidden(); }
    bool attachmentShown() { return !ctl<QWidget>("pnlAttach")->isHidden(); }

    ScriptedDialogs dialogs;
    QTemporaryDir m_dir;
    std::unique_ptr<SendCountingWindow> window;
    PicturePage* page = nullptr;
};

} // namespace zp::test
