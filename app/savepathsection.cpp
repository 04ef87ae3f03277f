#include "app/savepathsection.h"

#include "app/messagebox.h"
#include "store/database.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

SavePathSection::SavePathSection(QLineEdit *edit, QPushButton *choose, QPushButton *ok,
                                 QPushButton *cancel, QWidget *window)
    : QObject(window), edit(edit), window(window), path(GetSavePath())
{
    edit->setText(path);
    connect(choose, &QPushButton::clicked, this, &SavePathSection::OnChooseClicked);
    connect(ok, &QPushButton::clicked, this, &SavePathSection::OnOkClicked);
    connect(cancel, &QPushButton::clicked, this, &SavePathSection::OnCancelClicked);
}

void SavePathSection::setChosen(const QString &folder)
{
    edit->setText(folder);
}

void SavePathSection::OnChooseClicked()
{
    QFileDialog dialog(window);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    connect(&dialog, &QFileDialog::fileSelected, this, &SavePathSection::setChosen);
    dialog.exec();
}

void SavePathSection::OnOkClicked()
{
    const QString folder = edit->text();
    if (folder.isEmpty() || !QFileInfo::exists(folder)) {
        MessageBox::showMessage(Error, tr("设置失败，非法路径:%1").arg(folder), window, true, 2000);
        return;
    }
    SetSavePath(folder);
    // The store reports no failure of its own: read the row back before saying it is saved.
    if (GetSavePath() != folder) {
        MessageBox::showMessage(Error, tr("保存失败"), window, true, 2000);
        return;
    }
    path = folder;
    emit saved(path);
    MessageBox::showMessage(Done, tr("保存成功"), window, true, 2000);
}

void SavePathSection::OnCancelClicked()
{
    edit->setText(path);
}
