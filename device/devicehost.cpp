#include "device/devicehost.h"

#include "app/messagebox.h"

void DeviceHost::showError(const QString &text) const
{
    if (QWidget *parent = toastParent())
        MessageBox::showMessage(Error, text, parent, false, 2000);
}
