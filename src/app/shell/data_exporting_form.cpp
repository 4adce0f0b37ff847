#include "app/shell/data_exporting_form.h"

#include "app/shell/main_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

TDataExporting_Form::TDataExporting_Form(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("DataExporting_Form"));
    setWindowTitle(QStringLiteral("Exporting"));
    auto* label = new QLabel(QStringLiteral("Exporting data, please wait..."), this);
    label->setObjectName(QStringLiteral("Label1"));
    QFont f = label->font();
    f.setPointSize(20);
    f.setBold(true);
    label->setFont(f);
    label->setStyleSheet(QStringLiteral("color: blue"));
    label->setAlignment(Qt::AlignCenter);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(label);
    adjustSize();
    // Centred on the main window.
    if (QWidget* main = Main_Form ? static_cast<QWidget*>(Main_Form) : owner) {
        const QPoint centre = main->mapToGlobal(main->rect().center());
        move(centre - rect().center());
    }
}

QString TDataExporting_Form::text() const { return findChild<QLabel*>(QStringLiteral("Label1"))->text(); }

ExportingNotice::ExportingNotice(QWidget* owner)
    : form_(new TDataExporting_Form(owner))
{
    form_->show();
    form_->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

ExportingNotice::~ExportingNotice()
{
    form_->hide();
    delete form_;
}
