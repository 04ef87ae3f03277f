// The frameless sign-in dialog shown before the main window.
#ifndef LOGINDIALOG_H
#define LOGINDIALOG_H

#include <QDialog>

#include <functional>

class UserMgr;

namespace Ui {
class LoginDialog;
}

class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialog(QWidget *parent = nullptr);
    ~LoginDialog() override;

    // The user manager that takes the requests; owned by the caller.
    void setUserMgr(UserMgr *mgr) { userMgr = mgr; }
    // Tells whether the main window holds a signed-in identity: closing then only hides the
    // dialog, otherwise it quits the application.
    void setSignedInCheck(std::function<bool()> check) { signedIn = std::move(check); }

    void ShowLastLogin();
    void AutoLogin();

    // The recovery page: the account service's host + "/password_find.html".
    static QUrl passwordRecoveryUrl();

public slots:
    void OnLoginFinish(int errCode);
    void Login();
    void RegisterNewAccount();
    void ForgetPassword();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void closeDialog();
    void OnNameEdited(const QString &name);
    void setWaiting();
    void setIdle();
    void showToast(const QString &text);

    Ui::LoginDialog *ui;
    // The account ShowLastLogin filled in, and its remembered password while the password
    // field still holds it untouched.
    QString rememberedName;
    QString rememberedPassword;
    bool passwordFromHistory = false;
    UserMgr *userMgr = nullptr;
    std::function<bool()> signedIn;
};

#endif // LOGINDIALOG_H
