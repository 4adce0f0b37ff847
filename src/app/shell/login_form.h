#pragma once
#include <QDialog>
struct TDbConnection {};
class TLogin_Form : public QDialog {
public:
    static inline QString OperatorName;
    static inline int OperatorLevel = 0;
    TDbConnection DbConnection1;
};
extern TLogin_Form* Login_Form;
