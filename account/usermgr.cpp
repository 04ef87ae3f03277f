#include "account/usermgr.h"

#include "qmuserhelper.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <functional>

namespace {

// Library callbacks come on the account component's own thread and may outlive a manager
// by a hair: they only post to managers that still exist, and the work runs on the
// manager's (GUI) thread, where the database and the widgets may be touched.
QMutex liveMutex;
QSet<UserMgr *> liveManagers;

void postToManager(void *context, const std::function<void(UserMgr *)> &work)
{
    QMutexLocker lock(&liveMutex);
    auto *mgr = static_cast<UserMgr *>(context);
    if (!liveManagers.contains(mgr))
        return;
    QMetaObject::invokeMethod(
        mgr, [mgr, work] { work(mgr); }, Qt::QueuedConnection);
}

} // namespace

UserMgr::UserMgr(QObject *parent) : QObject(parent)
{
    QMutexLocker lock(&liveMutex);
    liveManagers.insert(this);
}

UserMgr::~UserMgr()
{
    Uninit();
    QMutexLocker lock(&liveMutex);
    liveManagers.remove(this);
}

int UserMgr::Init(QString version, int clientId)
{
    if (initialised)
        return 0;
    UserInitParams params;
    params.clientId = clientId;
    params.version = version.toUtf8().toStdString();
    UserEventCallbacks callbacks;
    callbacks.onLoginFinish = &UserMgr::OnLibraryLoginFinish;
    callbacks.onKickOut = &UserMgr::OnLibraryKickOut;
    callbacks.onLoginOverTime = &UserMgr::OnLibraryLoginOverTime;
    callbacks.onEvent8 = nullptr;
    callbacks.context = this;
    const int result = qmuser_init(&params, &callbacks);
    if (result == 0)
        initialised = true;
    return result;
}

bool UserMgr::IsLogin()
{
    return initialised && qmuser_islogin();
}

int UserMgr::Login(std::string userName, std::string password, int option, bool flag)
{
    int result = -1;
    if (initialised) {
        result = qmuser_login(&userName, &password, option, flag ? 1 : 0);
        this->userName = QString::fromStdString(userName);
        this->password = QString::fromStdString(password);
    }
    if (result != 0) {
        // No event will come for a request that never went out; report a network error
        // after the caller has switched to waiting.
        QMetaObject::invokeMethod(
            this, [this] { emit LoginFinish(1); }, Qt::QueuedConnection);
    }
    return result;
}

int UserMgr::Logout()
{
    if (!initialised || !IsLogin())
        return 0;
    uint64_t userId = 0;
    qmuser_get_userid(&userId);
    return qmuser_logout(userId, 0);
}

int UserMgr::Uninit()
{
    if (initialised) {
        qmuser_uninit();
        initialised = false;
    }
    return 0;
}

LoginInfo UserMgr::LastLogin()
{
    LoginInfo info;
    GetLastLoginInfo(&info);
    return info;
}

int UserMgr::GetUserId(quint64 *userId)
{
    if (userId)
        *userId = 0;
    if (!initialised)
        return -1;
    uint64_t id = 0;
    const int result = qmuser_get_userid(&id);
    if (userId)
        *userId = id;
    return result;
}

int UserMgr::GetSessionId(std::string *out)
{
    return initialised ? qmuser_get_sessionid(out) : -1;
}

int UserMgr::GetJumpKey(std::string *out)
{
    return initialised ? qmuser_get_jumpkey(out) : -1;
}

int UserMgr::GetUserName(std::string *out)
{
    return initialised ? qmuser_get_username(out) : -1;
}

int UserMgr::GetNickName(std::string *out)
{
    return initialised ? qmuser_get_nickname(out) : -1;
}

int UserMgr::GetImageUrl(std::string *out)
{
    return initialised ? qmuser_get_image_url(out) : -1;
}

QString UserMgr::ErrorText(int code)
{
    switch (code) {
    case 1:
        return QString::fromUtf8("网络错误");
    case 2:
        return QString::fromUtf8("用户名不存在");
    case 3:
        return QString::fromUtf8("密码错误,请核对密码后登录");
    case 4:
        return QString::fromUtf8("在其他地方登录了");
    case 5:
        return QString::fromUtf8("超时");
    case 6:
        return QString::fromUtf8("系统维护");
    case 7:
        return QString::fromUtf8("账号被锁定");
    case 8:
        return QString::fromUtf8("服务器内部错误");
    default:
        return QString::fromUtf8("未知错误");
    }
}

void UserMgr::OnLoginResult(int code)
{
    if (code == 0) {
        const int flag = savePassword ? 1 : 0;
        AddLoginInfo({userName, password, flag, flag});
    }
    emit LoginFinish(code);
}

void UserMgr::OnLibraryLoginFinish(int code, void *context)
{
    postToManager(context, [code](UserMgr *mgr) { mgr->OnLoginResult(code); });
}

void UserMgr::OnLibraryKickOut(void *context)
{
    postToManager(context, [](UserMgr *mgr) { emit mgr->KickOut(); });
}

void UserMgr::OnLibraryLoginOverTime(void *context)
{
    postToManager(context, [](UserMgr *mgr) { emit mgr->LoginOverTime(); });
}
