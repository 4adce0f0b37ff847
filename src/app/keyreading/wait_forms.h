#pragma once
// The notice windows shown while a long read runs.
#include <QWidget>

// "Downloading data, please wait...": borderless, centred on the main window.
class TDownloading_Form : public QWidget {
    Q_OBJECT
public:
    explicit TDownloading_Form(QWidget* owner);
    // Shows it and paints it at once (the read that follows keeps the loop busy).
    void showNow();
};

// "Get Debug Information, please wait..." for the key dump.
class TGetInfor_Form : public QWidget {
    Q_OBJECT
public:
    explicit TGetInfor_Form(QWidget* owner);
    void showNow();
};
