#include "app/shell/qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>

BoxResult QtDialogs::show(BoxType type, const std::string& text, BoxButtons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setText(QString::fromStdString(text));
    switch (type) {
    case BoxType::Information:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Information"));
        break;
    case BoxType::Warning:
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(QStringLiteral("Warning"));
        break;
    case BoxType::Error:
        box.setIcon(QMessageBox::Critical);
        box.setWindowTitle(QStringLiteral("Error"));
        break;
    case BoxType::Confirmation:
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(QStringLiteral("Confirm"));
        break;
    }
    switch (buttons) {
    case BoxButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case BoxButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case BoxButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case BoxButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return BoxResult::Ok;
    case QMessageBox::Yes:
        return BoxResult::Yes;
    case QMessageBox::No:
        return BoxResult::No;
    default:
        // Escape or the title bar's close button: the safe answer of the set.
        return buttons == BoxButtons::Ok ? BoxResult::Ok : buttons == BoxButtons::YesNo ? BoxResult::No : BoxResult::Cancel;
    }
}
