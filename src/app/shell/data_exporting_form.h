#pragma once
// The "Exporting" notice: shown and painted before a workbook export starts, freed when it ends.
#include <QDialog>

class TDataExporting_Form : public QDialog {
    Q_OBJECT
public:
    explicit TDataExporting_Form(QWidget* owner);
    QString text() const;
};

// Shows the notice for the life of a scope; the export's exception still propagates.
class ExportingNotice {
public:
    explicit ExportingNotice(QWidget* owner);
    ~ExportingNotice();
    ExportingNotice(const ExportingNotice&) = delete;
    ExportingNotice& operator=(const ExportingNotice&) = delete;
    TDataExporting_Form* form() const { return form_; }

private:
    TDataExporting_Form* form_;
};
