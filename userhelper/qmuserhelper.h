// Public interface of the user helper library: eleven plain functions over the account
// component. Strings are UTF-8 std::string, records go by pointer; library and program are
// built with the same compiler and runtime since std::string crosses the boundary.
#ifndef QMUSERHELPER_H
#define QMUSERHELPER_H

#include <cstdint>
#include <string>

#if defined(_WIN32)
#if defined(QMUSERHELPER_BUILD)
#define QMUSERHELPER_API __declspec(dllexport)
#else
#define QMUSERHELPER_API __declspec(dllimport)
#endif
#else
#define QMUSERHELPER_API __attribute__((visibility("default")))
#endif

// Read only by qmuser_init.
struct UserInitParams
{
    int32_t clientId = 0;
    std::string version; // UTF-8
};

// Copied by qmuser_init. Any callback may be null; context is handed back to each of them.
// Callbacks run synchronously on whichever thread the account component fires its event.
struct UserEventCallbacks
{
    void (*onLoginFinish)(int32_t code, void *context) = nullptr;
    void (*onKickOut)(void *context) = nullptr;
    void (*onLoginOverTime)(void *context) = nullptr;
    void (*onEvent8)(void *context) = nullptr;
    void *context = nullptr;
};

extern "C" {

// All return 0 on success and -1 on failure, except qmuser_islogin.
QMUSERHELPER_API int32_t qmuser_init(const UserInitParams *params,
                                     const UserEventCallbacks *callbacks);
QMUSERHELPER_API int32_t qmuser_uninit(void);
QMUSERHELPER_API int32_t qmuser_login(const std::string *userName, const std::string *password,
                                      int32_t option, int32_t flag);
QMUSERHELPER_API int32_t qmuser_logout(uint64_t userId, int32_t value);
QMUSERHELPER_API bool qmuser_islogin(void);
QMUSERHELPER_API int32_t qmuser_get_userid(uint64_t *userId);
QMUSERHELPER_API int32_t qmuser_get_sessionid(std::string *out);
QMUSERHELPER_API int32_t qmuser_get_jumpkey(std::string *out);
QMUSERHELPER_API int32_t qmuser_get_username(std::string *out);
QMUSERHELPER_API int32_t qmuser_get_nickname(std::string *out);
QMUSERHELPER_API int32_t qmuser_get_image_url(std::string *out);

} // extern "C"

#endif // QMUSERHELPER_H
