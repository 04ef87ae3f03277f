#ifndef TESTACCOUNTSERVER_H
#define TESTACCOUNTSERVER_H

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small account service on a free loopback port, speaking the lab's account API: sign-in
// with result codes, sign-out, and the take-over long poll. Accounts: demo/demo123 and
// test/test123. Sign-in answers can be held back to provoke the client's time-out.
class TestAccountServer
{
public:
    TestAccountServer();
    ~TestAccountServer();

    bool start();
    void stop();
    std::string url() const;

    void holdLogins(bool hold);
    // Waits (bounded, as a safety net only) until `count` sign-outs have arrived.
    bool waitForLogouts(size_t count);
    std::vector<std::string> logouts() const;
    std::string activeSession(const std::string &name) const;
    std::map<std::string, std::string> lastLoginForm() const;

private:
    enum class SessionState
    {
        Active,
        Superseded,
        Ended
    };
    struct Session
    {
        std::string name;
        SessionState state;
    };

    httplib::Server server;
    std::thread thread;
    int port = -1;
    std::atomic<bool> listenEnded{false};
    mutable std::mutex lock;
    std::condition_variable changed;
    bool stopping = false;
    bool hold = false;
    unsigned counter = 0;
    std::map<std::string, Session> sessions;
    std::map<std::string, std::string> current; // name -> session id
    std::vector<std::string> loggedOut;
    std::map<std::string, std::string> loginForm;
};

#endif // TESTACCOUNTSERVER_H
