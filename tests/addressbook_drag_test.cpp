// Reordering the recipient list by dragging an entry onto another, with the mouse, on the
// real main window. The headless "offscreen" platform ends every drag at once without a
// drop, so this binary runs on the "minimal" platform, whose generic drag follows the
// mouse events it is sent.
#include "addressbook_ui_support.h"
#include "platform/controlevents.h"

#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWindow>

using zp::test::AddrWindowTest;
using zp::test::kEntries;

namespace {

class MinimalPlatform : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
        static int argc = 1;
        static char name[] = "zoripost_drag_test";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override { delete m_app; }

private:
    QApplication* m_app = nullptr;
};

::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new MinimalPlatform);

struct DragCase {
    const char* what;
    int source;
    int target; // -1: below the last entry
    std::vector<int> order;
};

void PrintTo(const DragCase& c, std::ostream* os) {
    *os << c.what;
}

class DragEntry : public AddrWindowTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DragEntry, MovesItWithItsCheckMark) {
    const DragCase& c = GetParam();
    open();
    QWindow* handle = window->windowHandle();
    QWidget* view = list()->viewport();
    auto inWindow = [&](QPoint p) { return handle->mapFromGlobal(view->mapToGlobal(p)); };
    const QPoint from = inWindow(entryPoint(c.source) + QPoint(40, 0));
    const QPoint to = inWindow(c.target < 0 ? QPoint(60, view->height() - 2)
                                            : entryPoint(c.target) + QPoint(60, 0));
    ASSERT_LT(list()->visualItemRect(list()->item(4)).bottom(), view->height() - 2);
    const QStringList before = entries();
    const QString labelBefore = label();

    QTest::mousePress(handle, Qt::LeftButton, {}, from);
    // Runs inside the drag's own event loop, which the move below starts.
    bool dropped = false;
    QTimer::singleShot(0, [&] {
        QTest::mouseMove(handle, to);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, to);
        dropped = true;
    });
    // Should the release be lost, Esc ends the drag instead of leaving the test hanging.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { QTest::keyClick(handle, Qt::Key_Escape); });
    guard.start(10000);
    // The drag begins only past the drag distance; this move starts it.
    QTest::mouseMove(handle, from + QPoint(QApplication::startDragDistance() + 2, 0));
    ASSERT_TRUE(dropped) << "the drag never started";

    QStringList expected;
    for (int i : c.order)
        expected << before.at(i);
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(label(), labelBefore);
}

INSTANTIATE_TEST_SUITE_P(Rows, DragEntry,
                         ::testing::Values(DragCase{"first onto third", 0, 2, {1, 2, 0, 3, 4}},
                                           DragCase{"fourth onto second", 3, 1, {0, 3, 1, 2, 4}},
                                           DragCase{"last onto first", 4, 0, {4, 0, 1, 2, 3}},
                                           DragCase{"middle onto last", 2, 4, {0, 1, 3, 4, 2}},
                                           DragCase{"onto itself", 2, 2, {0, 1, 2, 3, 4}},
                                           DragCase{
                                               "below the last entry", 1, -1, {0, 1, 2, 3, 4}}));

// A press and a move shorter than the drag distance is a click: no drag, the entry chosen.
TEST_F(AddrWindowTest, ShortMoveIsAClick) {
    open();
    QWindow* handle = window->windowHandle();
    QWidget* view = list()->viewport();
    const QPoint at = handle->mapFromGlobal(view->mapToGlobal(entryPoint(3) + QPoint(60, 0)));
    const QStringList before = entries();
    QTest::mousePress(handle, Qt::LeftButton, {}, at);
    QTest::mouseMove(handle, at + QPoint(QApplication::startDragDistance() - 1, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, at);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(list()->currentRow(), 3);
}

// A file dragged from elsewhere onto the list is no entry: it goes on to the intake, which
// takes dropped files anywhere in the window, and the list stays as it was.
TEST_F(AddrWindowTest, FileDraggedOntoTheListGoesToTheIntake) {
    open();
    const QString path = dir.filePath(QStringLiteral("photo.txt"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
    QWindow* handle = window->windowHandle();
    QWidget* view = list()->viewport();
    const QPoint onEntry = handle->mapFromGlobal(view->mapToGlobal(entryPoint(1)));
    const QStringList before = entries();
    QWidget source;
    source.setGeometry(0, 0, 10, 10);
    auto* drag = new QDrag(&source);
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    drag->setMimeData(data);
    QTest::mousePress(handle, Qt::LeftButton, {}, onEntry - QPoint(0, 30));
    QTimer::singleShot(0, [&] {
        QTest::mouseMove(handle, onEntry);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, onEntry);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { QTest::keyClick(handle, Qt::Key_Escape); });
    guard.start(10000);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    EXPECT_EQ(action, Qt::CopyAction) << "nobody took the file";
    // The intake takes the file after the drop has returned.
    auto* attach = window->findChild<QPlainTextEdit*>(QStringLiteral("memAttach"));
    ASSERT_NE(attach, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return attach->toPlainText() == path; }, 5000));
    EXPECT_EQ(entries(), before);
}

} // namespace
