// Sign-in state over the user helper library: forwards requests, turns the account
// component's events into Qt signals on the GUI thread and records successful sign-ins.
#ifndef USERMGR_H
#define USERMGR_H

#include "store/database.h"

#include <QObject>
#include <QString>

#include <string>

class UserMgr : public QObject
{
    Q_OBJECT

public:
    explicit UserMgr(QObject *parent = nullptr);
    ~UserMgr() override;

    // 0 on success (also when already initialised), -1 when the library could not start.
    int Init(QString version, int clientId);
    bool IsInitialised() const { return initialised; }
    bool IsLogin();
    // Strings hold UTF-8. 0 means the request went out and LoginFinish will follow. When
    // nothing could be sent (library not initialised, or refused) gives -1 and LoginFinish(1)
    // follows from the event loop, so a waiting caller always hears back.
    int Login(std::string userName, std::string password, int option, bool flag);
    void SetSavePassword(bool save) { savePassword = save; }
    void SetAutoLogin(bool autoLogin) { autoLoginFlag = autoLogin; }
    int Logout();
    int Uninit();
    // The newest login-history record; empty strings and flags 0 when there is none.
    LoginInfo LastLogin();

    // The signed-in identity, read from the library; -1 when not initialised or on failure.
    int GetUserId(quint64 *userId);
    int GetSessionId(std::string *out);
    int GetJumpKey(std::string *out);
    int GetUserName(std::string *out);
    int GetNickName(std::string *out);
    int GetImageUrl(std::string *out);

    // The failure text shown for a sign-in result code ("未知错误" for unknown codes).
    static QString ErrorText(int code);

    QString UserName() const { return userName; }
    bool SavePassword() const { return savePassword; }
    bool AutoLogin() const { return autoLoginFlag; }

signals:
    void LoginFinish(int errCode);
    void LoginOverTime();
    void KickOut();

private:
    void OnLoginResult(int code);
    static void OnLibraryLoginFinish(int code, void *context);
    static void OnLibraryKickOut(void *context);
    static void OnLibraryLoginOverTime(void *context);

    QString userName;
    QString password;
    bool savePassword = false;
    bool autoLoginFlag = false;
    bool initialised = false;
};

#endif // USERMGR_H
