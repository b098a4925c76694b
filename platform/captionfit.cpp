#include "captionfit.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace zp {
namespace {

bool isTextLabel(const QLabel* label) {
    return label->pixmap().isNull() && !label->text().isEmpty();
}

// What the text's glyphs reach beyond its advance (a closing bracket's ink, say).
int overhang(const QLabel* label) {
    const QFontMetrics fm(label->font());
    int extra = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n')))
        extra = std::max(extra, fm.boundingRect(line).right() + 1 - fm.horizontalAdvance(line));
    return extra;
}

void fitLabel(QLabel* label) {
    if (!isTextLabel(label))
        return;
    QSize size = label->sizeHint();
    size.rwidth() += overhang(label);
    QRect r(label->pos(), size);
    // A label's text ends inside its parent: one that would run out is moved left. Only a
    // parent with the size of the form counts: a page gets its size from the layout of
    // its page control, later.
    QWidget* parent = label->parentWidget();
    QWidget* grandParent = parent ? parent->parentWidget() : nullptr;
    if (parent && grandParent && !grandParent->layout()) {
        const QRect inner = parent->contentsRect();
        if (r.right() > inner.right()) {
            r.moveRight(inner.right());
            r.moveLeft(std::max(r.left(), inner.left()));
        }
    }
    if (r != label->geometry())
        label->setGeometry(r);
}

// How much more room the caption needs than the control gives it (0 when it fits): the
// widest line's advance, or its ink where a glyph reaches further, against the contents rect.
int captionShortfall(QAbstractButton* button) {
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    opt.icon = button->icon();
    opt.iconSize = button->iconSize();
    const QStyle::SubElement element = qobject_cast<QCheckBox*>(button)
                                           ? QStyle::SE_CheckBoxContents
                                           : QStyle::SE_RadioButtonContents;
    const int room = button->style()->subElementRect(element, &opt, button).width();
    const QFontMetrics fm(button->font());
    int need = 0;
    for (const QString& line : QString(button->text()).remove(QLatin1Char('&')).split('\n'))
        need = std::max({need, fm.horizontalAdvance(line), fm.boundingRect(line).right() + 1});
    return std::max(0, need - room);
}

void fitButton(QAbstractButton* button) {
    // Only wider, and only by what the caption lacks: the click area the design gives stays,
    // and a control does not grow into the one beside it for nothing.
    if (const int more = captionShortfall(button); more > 0)
        button->resize(button->width() + more, button->height());
}

bool isFitted(QObject* o) {
    return qobject_cast<QLabel*>(o) || qobject_cast<QCheckBox*>(o) ||
           qobject_cast<QRadioButton*>(o);
}

void fit(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w))
        fitLabel(label);
    else if (isFitted(w))
        fitButton(static_cast<QAbstractButton*>(w));
}

// A new text makes a label ask its parent for a new layout (when the parent is shown); a
// label hidden at the time is fitted when it is shown.
class CaptionFitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::FontChange:
        case QEvent::StyleChange:
            if (isFitted(watched))
                fit(static_cast<QWidget*>(watched));
            break;
        case QEvent::LayoutRequest:
            for (QObject* child : watched->children())
                if (qobject_cast<QLabel*>(child))
                    fit(static_cast<QWidget*>(child));
            break;
        default:
            break;
        }
        return false;
    }
};

} // namespace

void fitCaptions(QWidget* window) {
    auto* fitter = new CaptionFitter(window);
    QList<QWidget*> parents;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!isFitted(w))
            continue;
        // Measuring a caption loads and hints every glyph of it: the controls of the hidden
        // settings pages are fitted when they are first shown, not at start.
        if (w->isVisibleTo(window))
            fit(w);
        w->installEventFilter(fitter);
        if (qobject_cast<QLabel*>(w) && !parents.contains(w->parentWidget()))
            parents.append(w->parentWidget());
    }
    for (QWidget* p : parents)
        p->installEventFilter(fitter);
}

} // namespace zp
