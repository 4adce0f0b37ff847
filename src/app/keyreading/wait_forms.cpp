#include "app/keyreading/wait_forms.h"

#include "app/shell/main_window.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace {
QLabel* addText(
    QWidget* w, const QString& text, int pixelSize, bool bold, const QColor& colour, const QString& family)
{
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(text, w);
    label->setAlignment(Qt::AlignCenter);
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    layout->addWidget(label);
    return label;
}

void centreAndPaint(QWidget* w)
{
    QWidget* anchor = Main_Form ? static_cast<QWidget*>(Main_Form) : w->parentWidget();
    if (anchor) {
        const QPoint c = anchor->mapToGlobal(anchor->rect().center());
        w->move(c.x() - w->width() / 2, c.y() - w->height() / 2);
    }
    w->show();
    w->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
} // namespace

TDownloading_Form::TDownloading_Form(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Downloading_Form"));
    setWindowTitle(QStringLiteral("Downloading"));
    setFixedSize(560, 74);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Base));
    setPalette(p);
    addText(this, QStringLiteral("Downloading data, please wait..."), 32, true, Qt::blue,
        QStringLiteral("Arial"));
}

void TDownloading_Form::showNow()
{
    centreAndPaint(this);
}

TGetInfor_Form::TGetInfor_Form(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("GetInfor_Form"));
    setWindowTitle(QStringLiteral("Waiting"));
    setFixedSize(616, 72);
    addText(this, QStringLiteral("Get Debug Information, please wait..."), 24, true, Qt::blue,
        QStringLiteral("Arial"));
}

void TGetInfor_Form::showNow()
{
    centreAndPaint(this);
}
