#include "qmuserhelper.h"

int32_t qmuser_init(const UserInitParams *, const UserEventCallbacks *)
{
    return -1;
}
int32_t qmuser_uninit(void)
{
    return 0;
}
int32_t qmuser_login(const std::string *, const std::string *, int32_t, int32_t)
{
    return -1;
}
int32_t qmuser_logout(uint64_t, int32_t)
{
    return -1;
}
bool qmuser_islogin(void)
{
    return false;
}
int32_t qmuser_get_userid(uint64_t *userId)
{
    if (userId)
        *userId = 0;
    return -1;
}
int32_t qmuser_get_sessionid(std::string *)
{
    return -1;
}
int32_t qmuser_get_jumpkey(std::string *)
{
    return -1;
}
int32_t qmuser_get_username(std::string *)
{
    return -1;
}
int32_t qmuser_get_nickname(std::string *)
{
    return -1;
}
int32_t qmuser_get_image_url(std::string *)
{
    return -1;
}
