#include "accountsession.h"

#include "componentmodule.h"
#include "flatjson.h"
#include "signinreply.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>

namespace {

// Short long-polls keep a stop that races with connecting from blocking for long.
const int kWaitTimeoutMs = 3000;
const int kLogoutTimeoutSeconds = 2;
const int32_t kNetworkError = 1;
const int kEventLoginFinish = 1;
const int kEventKickOut = 4;
const int kEventLoginOverTime = 7;

std::string percentEncode(const std::string &text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

} // namespace

struct AccountSession::Shared
{
    struct Job
    {
        enum Kind
        {
            SignIn,
            SignOut
        } kind;
        uint64_t ticket = 0;
        std::string name, password; // SignIn
        std::string sessionId;      // SignOut
    };

    EventFunction fire;
    std::string origin; // scheme://host:port
    std::string prefix; // path below it, without a trailing '/'
    std::string version;
    int32_t clientId = 0;

    mutable std::mutex m;
    std::condition_variable cv;
    std::deque<Job> jobs;
    bool quit = false;
    uint64_t loginTicket = 0; // bumped by every Login and Logout
    uint64_t generation = 0;  // bumped whenever the session changes
    bool signedIn = false;
    Identity identity;
    httplib::Client *active = nullptr; // the request in flight, for Stop
    bool activeInterruptible = false;  // a sign-in or a long poll, not a sign-out

    // Registers a client so that Stop can cut its request short. False once stopping.
    bool track(httplib::Client *client, bool interruptible = false)
    {
        std::lock_guard<std::mutex> lock(m);
        if (quit && client)
            return false;
        active = client;
        activeInterruptible = interruptible;
        return true;
    }

    void interruptLocked()
    {
        if (active && activeInterruptible)
            active->stop();
    }

    std::unique_ptr<httplib::Client> client(int timeoutSeconds)
    {
        auto c = std::make_unique<httplib::Client>(origin);
        c->set_connection_timeout(timeoutSeconds, 0);
        c->set_read_timeout(timeoutSeconds, 0);
        c->set_write_timeout(timeoutSeconds, 0);
        return c;
    }

    void signOutAtService(const std::string &sessionId, bool tracked)
    {
        if (sessionId.empty())
            return;
        auto c = client(kLogoutTimeoutSeconds);
        if (tracked && !track(c.get()))
            return;
        c->Post((prefix + "/account/logout").c_str(), httplib::Params{{"sessionid", sessionId}});
        if (tracked)
            track(nullptr);
    }

    // Takes the current session away (under the lock); gives its id for the service.
    std::string dropSessionLocked()
    {
        std::string id = signedIn ? identity.sessionId : std::string();
        signedIn = false;
        identity = Identity();
        ++generation;
        return id;
    }

    void signIn(const Job &job);
    void waitForTakeOver();
};

void AccountSession::Shared::signIn(const Job &job)
{
    std::string previous;
    {
        std::lock_guard<std::mutex> lock(m);
        if (job.ticket != loginTicket)
            return; // superseded before it started
        previous = dropSessionLocked();
    }
    signOutAtService(previous, true);

    auto c = client(kLoginTimeoutSeconds);
    if (!track(c.get(), true))
        return;
    httplib::Params form{{"name", job.name},
                         {"password", job.password},
                         {"client", std::to_string(clientId)},
                         {"version", version}};
    auto started = std::chrono::steady_clock::now();
    httplib::Result reply = c->Post((prefix + "/account/login").c_str(), form);
    auto elapsed = std::chrono::steady_clock::now() - started;
    track(nullptr);

    bool timedOut = false;
    SignInReply answer;
    if (!reply) {
        // A transport failure after the whole budget means nobody answered in time.
        timedOut = elapsed >= std::chrono::milliseconds(kLoginTimeoutSeconds * 1000 - 500);
        answer.code = kNetworkError;
    } else if (reply->status != 200) {
        answer.code = kNetworkError;
    } else {
        answer = SignInReply::Read(reply->body);
    }
    const int32_t code = answer.code;

    std::string orphan;
    {
        std::lock_guard<std::mutex> lock(m);
        if (quit || job.ticket != loginTicket) {
            // Stopped, signed out or signed in again meanwhile: this result is nobody's.
            if (code == 0 && !timedOut)
                orphan = answer.identity.sessionId;
        } else if (code == 0 && !timedOut) {
            identity = answer.identity;
            signedIn = true;
            ++generation;
        }
    }
    if (!orphan.empty()) {
        signOutAtService(orphan, true);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m);
        if (quit || job.ticket != loginTicket)
            return;
    }
    if (timedOut)
        fire(kEventLoginOverTime, 0);
    else
        fire(kEventLoginFinish, code);
}

void AccountSession::Shared::waitForTakeOver()
{
    std::string sessionId;
    uint64_t watched;
    {
        std::lock_guard<std::mutex> lock(m);
        sessionId = identity.sessionId;
        watched = generation;
    }
    auto c = client(kWaitTimeoutMs / 1000 + kLoginTimeoutSeconds);
    if (!track(c.get(), true))
        return;
    std::string path = prefix + "/account/wait?sessionid=" + percentEncode(sessionId) +
                       "&timeout_ms=" + std::to_string(kWaitTimeoutMs);
    httplib::Result reply = c->Get(path.c_str());
    track(nullptr);

    std::map<std::string, std::string> fields;
    if (!reply || reply->status != 200 || !FlatJson::Parse(reply->body, &fields)) {
        // Service away or confused: try again shortly unless something else comes up.
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::seconds(1),
                    [&] { return quit || !jobs.empty() || generation != watched; });
        return;
    }
    const std::string &event = fields["event"];
    if (event != "kickout" && event != "invalid")
        return;
    {
        std::lock_guard<std::mutex> lock(m);
        if (quit || generation != watched || !signedIn)
            return; // the session changed meanwhile: the answer is stale
        dropSessionLocked();
    }
    // An ended session just counts as signed out; only a take-over is an event.
    if (event == "kickout")
        fire(kEventKickOut, 0);
}

AccountSession::AccountSession(EventFunction fire) : d(std::make_shared<Shared>())
{
    d->fire = std::move(fire);
}

AccountSession::~AccountSession()
{
    Stop();
}

void AccountSession::Start(const std::string &baseUrl, const std::string &version, int32_t clientId)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->version = version;
    d->clientId = clientId;
    if (worker.joinable() || d->quit)
        return;
    std::string url = baseUrl;
    size_t scheme = url.find("://");
    size_t slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    d->origin = url.substr(0, slash);
    d->prefix = slash == std::string::npos ? std::string() : url.substr(slash);
    while (!d->prefix.empty() && d->prefix.back() == '/')
        d->prefix.pop_back();
    ComponentModule::Lock(); // the worker's code lives in this module
    worker = std::thread(&AccountSession::Run, d);
}

bool AccountSession::Started() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return worker.joinable() && !d->quit;
}

void AccountSession::Login(const std::string &name, const std::string &password)
{
    std::lock_guard<std::mutex> lock(d->m);
    Shared::Job job{Shared::Job::SignIn, ++d->loginTicket, name, password, std::string()};
    d->jobs.push_back(job);
    d->interruptLocked(); // a long poll or an earlier sign-in in flight is moot now
    d->cv.notify_all();
}

void AccountSession::Logout()
{
    std::lock_guard<std::mutex> lock(d->m);
    ++d->loginTicket;
    std::string id = d->dropSessionLocked();
    if (!id.empty())
        d->jobs.push_back(Shared::Job{Shared::Job::SignOut, 0, {}, {}, id});
    d->interruptLocked();
    d->cv.notify_all();
}

void AccountSession::Stop()
{
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->quit = true;
        d->interruptLocked();
        d->cv.notify_all();
    }
    if (!worker.joinable())
        return;
    if (worker.get_id() == std::this_thread::get_id()) {
        // Stopped from inside an event: the worker winds down on its own after it.
        worker.detach();
        ComponentModule::PinForever();
    } else {
        worker.join();
    }
}

bool AccountSession::IsSignedIn() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->signedIn;
}

AccountSession::Identity AccountSession::Current() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->identity;
}

void AccountSession::Run(std::shared_ptr<Shared> d)
{
    for (;;) {
        std::unique_lock<std::mutex> lock(d->m);
        d->cv.wait(lock, [&] { return d->quit || !d->jobs.empty() || d->signedIn; });
        if (d->quit) {
            // Let the service know about every session still open, then leave.
            std::vector<std::string> open;
            for (const auto &job : d->jobs) {
                if (job.kind == Shared::Job::SignOut)
                    open.push_back(job.sessionId);
            }
            d->jobs.clear();
            std::string current = d->dropSessionLocked();
            if (!current.empty())
                open.push_back(current);
            lock.unlock();
            for (const auto &id : open)
                d->signOutAtService(id, false);
            break;
        }
        if (!d->jobs.empty()) {
            Shared::Job job = d->jobs.front();
            d->jobs.pop_front();
            lock.unlock();
            if (job.kind == Shared::Job::SignIn)
                d->signIn(job);
            else
                d->signOutAtService(job.sessionId, true);
            continue;
        }
        lock.unlock();
        d->waitForTakeOver();
    }
    ComponentModule::Unlock();
}
