#include "account/logindialog.h"

#include "account/usermgr.h"
#include "app/framelessdrag.h"
#include "app/messagebox.h"
#include "platform/endpoints.h"
#include "ui_logindialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QUrl>

LoginDialog::LoginDialog(QWidget *parent) : QDialog(parent), ui(new Ui::LoginDialog)
{
    ui->setupUi(this);
    // No title bar: the whole dialog is the handle.
    new FramelessDrag(this);
    setFixedSize(330, 364);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui->PasswordEdit->setEchoMode(QLineEdit::Password);

    connect(ui->CloseBtn, &QPushButton::clicked, this, &LoginDialog::closeDialog);
    connect(ui->LoginBtn, &QPushButton::clicked, this, &LoginDialog::Login);
    connect(ui->ForgetPwBtn, &QPushButton::clicked, this, &LoginDialog::ForgetPassword);
    connect(ui->PasswordEdit, &QLineEdit::returnPressed, this, &LoginDialog::Login);
    connect(ui->NameEdit, &QLineEdit::returnPressed, this, &LoginDialog::Login);
    connect(ui->NameEdit, &QLineEdit::textEdited, this, &LoginDialog::OnNameEdited);
    connect(ui->PasswordEdit, &QLineEdit::textEdited, this,
            [this] { passwordFromHistory = false; });
    // Accepting (after a successful sign-in) always ends the waiting state; one connection
    // serves every later ShowLastLogin.
    connect(this, &QDialog::accepted, this, &LoginDialog::setIdle);
    ui->SavePwBox->setChecked(true);
}

LoginDialog::~LoginDialog()
{
    delete ui;
}

void LoginDialog::ShowLastLogin()
{
    if (userMgr) {
        const LoginInfo info = userMgr->LastLogin();
        if (!info.login_name.isEmpty()) {
            rememberedName = info.login_name;
            rememberedPassword = info.savepwflag != 0 ? info.pw : QString();
            passwordFromHistory = !rememberedPassword.isEmpty();
            ui->NameEdit->setText(info.login_name);
            ui->PasswordEdit->setText(rememberedPassword);
        }
    }
    ui->SavePwBox->setChecked(true);
}

void LoginDialog::AutoLogin()
{
    if (!userMgr)
        return;
    const LoginInfo info = userMgr->LastLogin();
    if (info.savepwflag != 1)
        return;
    userMgr->SetSavePassword(true);
    userMgr->SetAutoLogin(true);
    userMgr->Login(info.login_name.toUtf8().toStdString(), info.pw.toUtf8().toStdString(), 0,
                   false);
    setWaiting();
}

QUrl LoginDialog::passwordRecoveryUrl()
{
    return QUrl(accountServiceUrl() + QStringLiteral("/password_find.html"));
}

void LoginDialog::OnLoginFinish(int errCode)
{
    Q_UNUSED(errCode)
    setIdle();
}

void LoginDialog::Login()
{
    // Return in an edit acts like the button, which does nothing while a request is out.
    if (!ui->LoginBtn->isEnabled())
        return;
    const QString name = ui->NameEdit->text();
    const QString password = ui->PasswordEdit->text();
    if (name.isEmpty()) {
        showToast(password.isEmpty() ? tr("请输入用户名和密码") : tr("请输入用户名"));
        return;
    }
    if (password.isEmpty()) {
        showToast(tr("请输入密码"));
        return;
    }
    if (!userMgr)
        return;
    userMgr->SetSavePassword(ui->SavePwBox->isChecked());
    userMgr->SetAutoLogin(ui->AutoLoginBox->isChecked());
    userMgr->Login(name.toUtf8().toStdString(), password.toUtf8().toStdString(), 0, false);
    setWaiting();
}

void LoginDialog::RegisterNewAccount() {}

void LoginDialog::ForgetPassword()
{
    const QUrl url = passwordRecoveryUrl();
    if (QDesktopServices::openUrl(url))
        return;
    // No browser: the address goes into a toast, broken before a "/" where it would not fit
    // the dialog (room for the toast's icon and close button left).
    const QFontMetrics metrics(font());
    QStringList lines{tr("无法打开浏览器，请访问：")};
    QString line;
    const QString address = url.toString();
    for (int start = 0; start < address.size();) {
        int end = address.indexOf(QLatin1Char('/'), start + 1);
        while (end > 0 && end + 1 < address.size() && address.at(end + 1) == QLatin1Char('/'))
            end = address.indexOf(QLatin1Char('/'), end + 2);
        const QString piece = address.mid(start, end < 0 ? -1 : end - start);
        if (!line.isEmpty() && metrics.horizontalAdvance(line + piece) > width() - 100) {
            lines << line;
            line.clear();
        }
        line += piece;
        start = end < 0 ? address.size() : end;
    }
    lines << line;
    MessageBox::showMessage(Info, lines.join(QLatin1Char('\n')), this, true, 15000);
}

void LoginDialog::OnNameEdited(const QString &name)
{
    // A remembered password belongs to its account: another name must not send it.
    if (name == rememberedName) {
        if (ui->PasswordEdit->text().isEmpty() && !rememberedPassword.isEmpty()) {
            ui->PasswordEdit->setText(rememberedPassword);
            passwordFromHistory = true;
        }
    } else if (passwordFromHistory) {
        ui->PasswordEdit->clear();
        passwordFromHistory = false;
    }
}

void LoginDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape would otherwise hide the dialog and leave the program running without a window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        closeDialog();
        return;
    }
    QDialog::keyPressEvent(event);
}

void LoginDialog::closeEvent(QCloseEvent *event)
{
    // A close from the window system (Alt+F4) behaves like the close button; programmatic
    // closes (closeAllWindows at sign-out) only hide the dialog.
    if (event->spontaneous() && !(signedIn && signedIn())) {
        event->ignore();
        closeDialog();
        return;
    }
    QDialog::closeEvent(event);
}

void LoginDialog::closeDialog()
{
    if (signedIn && signedIn())
        reject();
    else
        QApplication::quit();
}

void LoginDialog::setWaiting()
{
    ui->LoginBtn->setText(tr("登录中 ..."));
    ui->LoginBtn->setEnabled(false);
}

void LoginDialog::setIdle()
{
    ui->LoginBtn->setText(tr("登录"));
    ui->LoginBtn->setEnabled(true);
}

void LoginDialog::showToast(const QString &text)
{
    MessageBox::showMessage(Error, text, this, false, 2000, QPoint(16, 118));
}
