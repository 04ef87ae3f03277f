#ifndef KELVORA_YESNODIALOG_H
#define KELVORA_YESNODIALOG_H

#include <QDialog>

namespace Ui {
class YesNoDialog;
}

// Frameless modal confirmation: "确定" accepts, "取消" and the close button reject.
class YesNoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit YesNoDialog(const QString &text, QWidget *parent = nullptr);
    ~YesNoDialog() override;

private:
    Ui::YesNoDialog *ui;
};

#endif
