#pragma once
// The in-report search dialog: a text, the error entries or the warnings of the shown report.

#include "report/ReportScan.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ostero::ui {

class TFormSearch : public QDialog {
    Q_OBJECT

public:
    explicit TFormSearch(QWidget* parent = nullptr);

    report::TSearchKind Kind() const;
    QString Text() const;

    QRadioButton& RBText() { return *RBText_; }
    QRadioButton& RBErrors() { return *RBErrors_; }
    QRadioButton& RBWarnings() { return *RBWarnings_; }
    QLineEdit& EditText() { return *EditText_; }
    QPushButton& BtnStart() { return *BtnStart_; }

private:
    void UpdateStart();

    QRadioButton* RBText_;
    QRadioButton* RBErrors_;
    QRadioButton* RBWarnings_;
    QLineEdit* EditText_;
    QPushButton* BtnStart_;
};

} // namespace ostero::ui
