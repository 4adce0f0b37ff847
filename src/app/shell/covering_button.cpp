#include "app/shell/covering_button.h"

#include <QPushButton>

#include <algorithm>

CoveringButton::CoveringButton(QPushButton* cover, QWidget* parent)
    : QWidget(parent)
    , cover_(cover)
{
    cover_->setParent(this);
    cover_->setGeometry(rect());
    setSizePolicy(cover_->sizePolicy());
}

QPushButton* CoveringButton::addBeneath(const QString& caption, int side)
{
    auto* b = new QPushButton(caption, this);
    b->setFixedSize(side, side);
    b->setFocusPolicy(Qt::NoFocus);
    b->move(nextX_, std::max(0, (height() - side) / 2));
    nextX_ += side + 1;
    cover_->raise();
    return b;
}

QSize CoveringButton::sizeHint() const { return cover_->sizeHint(); }

QSize CoveringButton::minimumSizeHint() const { return cover_->minimumSizeHint(); }

void CoveringButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    cover_->setGeometry(rect());
    for (auto* b : findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly))
        if (b != cover_)
            b->move(b->x(), std::max(0, (height() - b->height()) / 2));
    cover_->raise();
}
