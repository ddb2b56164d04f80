#include "ui/shell/FormSearch.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace ostero::ui {

TFormSearch::TFormSearch(QWidget* parent) : QDialog(parent) {
    setObjectName("FormSearch");
    setWindowTitle(tr("Search..."));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* grid = new QGridLayout(this);
    RBText_ = new QRadioButton(tr("&Text:"), this);
    RBText_->setObjectName("RBText");
    RBText_->setChecked(true);
    EditText_ = new QLineEdit(this);
    EditText_->setObjectName("EditText");
    EditText_->setMinimumWidth(220);
    RBErrors_ = new QRadioButton(tr("&Error entrys"), this);
    RBErrors_->setObjectName("RBErrors");
    RBWarnings_ = new QRadioButton(tr("&Warnings"), this);
    RBWarnings_->setObjectName("RBWarnings");
    BtnStart_ = new QPushButton(tr("&Start"), this);
    BtnStart_->setObjectName("BtnStart");
    BtnStart_->setDefault(true);
    BtnStart_->setEnabled(false);
    grid->addWidget(RBText_, 0, 0);
    grid->addWidget(EditText_, 0, 1);
    grid->addWidget(RBErrors_, 1, 0, 1, 2);
    grid->addWidget(RBWarnings_, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnStart_);
    grid->addLayout(buttons, 3, 0, 1, 2);
    // A fixed dialog border.
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(RBText_, &QRadioButton::toggled, this, [this](bool on) {
        EditText_->setEnabled(on);
        UpdateStart();
        if (on)
            EditText_->setFocus();
    });
    connect(EditText_, &QLineEdit::textChanged, this, [this] { UpdateStart(); });
    connect(BtnStart_, &QPushButton::clicked, this, &QDialog::accept);
    EditText_->setFocus();
}

report::TSearchKind TFormSearch::Kind() const {
    if (RBErrors_->isChecked())
        return report::TSearchKind::Errors;
    if (RBWarnings_->isChecked())
        return report::TSearchKind::Warnings;
    return report::TSearchKind::Text;
}

QString TFormSearch::Text() const {
    return RBText_->isChecked() ? EditText_->text() : QString();
}

void TFormSearch::UpdateStart() {
    BtnStart_->setEnabled(!RBText_->isChecked() || !EditText_->text().isEmpty());
}

} // namespace ostero::ui
