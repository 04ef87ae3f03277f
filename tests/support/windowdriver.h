#pragma once
// What the widget tests against the lab share: the window's choice of a LAN device, a list's
// next load, rows by name, and answers to the confirmation dialog.
#include "app/mainwidget.h"
#include "app/yesnodialog.h"
#include "browse/fileentry.h"
#include "browse/filelistwidget.h"
#include "browse/filepaths.h"
#include "device/deviceitem.h"
#include "device/localdevicelistwidget.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

// Makes the LAN device `id` current in the window, as a double click on its card does, once
// discovery has found it.
inline bool chooseLanDevice(MainWidget &window, const QString &id, int timeoutMs = 60000)
{
    auto *local =
        window.findChild<LocalDeviceListWidget *>(QStringLiteral("localDeviceListWidget"));
    if (!local || !QTest::qWaitFor([&] { return local->findDevice(id) != nullptr; }, timeoutMs))
        return false;
    for (int row = 0; row < local->count(); ++row)
        if (local->deviceAt(row)->deviceid == id)
            emit local->itemDoubleClicked(local->item(row));
    return window.currentDevice() && window.currentDevice()->deviceid == id;
}

// The list's next load ends, as expected.
inline bool waitLoad(FileListWidget *list, bool expected = true, int timeoutMs = 60000)
{
    QSignalSpy spy(list, &FileListWidget::loadFinished);
    return spy.wait(timeoutMs) && spy.at(0).at(0).toBool() == expected;
}

// The row whose entry has the given file name, -1 when none.
inline int rowNamed(const QListWidget *list, const QString &name)
{
    for (int row = 0; row < list->count(); ++row)
        if (FilePaths::fileName(list->item(row)->data(PathRole).toString()) == name)
            return row;
    return -1;
}

// Clicks "确定" (yes) or "取消" of the next confirmation dialog; its question goes to asked.
inline void answerConfirmation(bool yes, QString *asked = nullptr)
{
    QTimer::singleShot(50, [yes, asked] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<YesNoDialog *>(w); dialog && dialog->isVisible()) {
                if (asked)
                    *asked = dialog->findChild<QLabel *>(QStringLiteral("label_tip"))->text();
                dialog
                    ->findChild<QPushButton *>(yes ? QStringLiteral("btn_yes")
                                                   : QStringLiteral("btn_cancel"))
                    ->click();
            }
        }
    });
}
