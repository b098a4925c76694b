#include "fixedrows.h"

#include <QApplication>
#include <QListView>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyledItemDelegate>

namespace zp {
namespace {

class FixedRowDelegate : public QStyledItemDelegate {
public:
    FixedRowDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), m_height(height) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), m_height};
    }

private:
    int m_height;
};

// The check box of a row is the row's height less a pixel above and below.
class FixedRowStyle : public QProxyStyle {
public:
    explicit FixedRowStyle(int height)
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name())),
          m_indicator(height - 2) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight)
            return std::min(m_indicator, QProxyStyle::pixelMetric(metric, option, widget));
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int m_indicator;
};

} // namespace

void setFixedRowHeight(QListView* list, int height) {
    list->setUniformItemSizes(true);
    list->setItemDelegate(new FixedRowDelegate(height, list));
    auto* style = new FixedRowStyle(height);
    // Deleted with the window, after the list, which is one of its descendants.
    style->setParent(list->window());
    list->setStyle(style);
}

} // namespace zp
