#pragma once
// A window's main button with small service buttons beneath it that only their shortcuts
// reach: the main button covers them, so they can be neither seen nor clicked, while Alt and
// the underlined letter still press them.
#include <QWidget>

class QPushButton;

class CoveringButton : public QWidget {
public:
    // Takes the main button over; it fills the whole widget.
    explicit CoveringButton(QPushButton* cover, QWidget* parent = nullptr);
    // A square service button of the given side beneath the main one, after those already there.
    QPushButton* addBeneath(const QString& caption, int side);
    QPushButton* cover() const { return cover_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QPushButton* cover_;
    int nextX_ = 4;
};
