#ifndef ACCOUNTSESSION_H
#define ACCOUNTSESSION_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// The sign-in state of one user object and the worker thread that talks to the account
// service: it signs in, long-polls for a take-over while signed in, signs out, and reports
// through the event function (event number as in the event interface, plus its value) from
// that thread.
class AccountSession
{
public:
    struct Identity
    {
        uint64_t userId = 0;
        std::string sessionId;
        std::string jumpKey;
        std::string userName;
        std::string nickName;
        std::string imageUrl;
    };

    using EventFunction = std::function<void(int event, int32_t value)>;

    // No answer within this time counts as a time-out (event 7) rather than a result.
    static constexpr int kLoginTimeoutSeconds = 10;

    explicit AccountSession(EventFunction fire);
    ~AccountSession();

    // Starts the worker against the service at baseUrl (scheme, host, port, optional path).
    void Start(const std::string &baseUrl, const std::string &version, int32_t clientId);
    bool Started() const;
    // Queues a sign-in; a later Login or a Logout supersedes one still in flight.
    void Login(const std::string &name, const std::string &password);
    // Counts as signed out at once; the service hears of it from the worker.
    void Logout();
    // Ends the worker (signing out first). Safe from the worker itself, inside an event.
    void Stop();

    bool IsSignedIn() const;
    Identity Current() const;

private:
    struct Shared;
    static void Run(std::shared_ptr<Shared> d);

    std::shared_ptr<Shared> d;
    std::thread worker;
};

#endif // ACCOUNTSESSION_H
