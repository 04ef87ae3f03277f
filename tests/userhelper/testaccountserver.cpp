#include "testaccountserver.h"

#include <chrono>
#include <cstdio>

namespace {

struct Account
{
    const char *name, *password, *userid, *nickname;
};

const Account kAccounts[] = {{"demo", "demo123", "10001", "演示用户"},
                             {"test", "test123", "18446744073709551615", "测试"}};

} // namespace

TestAccountServer::TestAccountServer()
{
    server.Post("/account/login", [this](const httplib::Request &req, httplib::Response &res) {
        std::unique_lock<std::mutex> guard(lock);
        loginForm.clear();
        for (const auto &p : req.params)
            loginForm[p.first] = p.second;
        // Held sign-ins answer only when released (bounded so a broken test cannot hang).
        changed.wait_for(guard, std::chrono::seconds(60), [this] { return !hold || stopping; });
        std::string name = req.get_param_value("name");
        const Account *account = nullptr;
        for (const Account &a : kAccounts) {
            if (name == a.name)
                account = &a;
        }
        if (!account) {
            res.set_content(R"({"code":2,"message":"unknown name"})", "application/json");
            return;
        }
        if (req.get_param_value("password") != account->password) {
            res.set_content(R"({"code":3,"message":"wrong password"})", "application/json");
            return;
        }
        char id[32];
        std::snprintf(id, sizeof id, "%08x%08x", ++counter, 0x5e55u);
        std::string sessionId = id;
        auto previous = current.find(name);
        if (previous != current.end())
            sessions[previous->second].state = SessionState::Superseded;
        sessions[sessionId] = Session{name, SessionState::Active};
        current[name] = sessionId;
        changed.notify_all();
        res.set_content(std::string(R"({"code":0,"sessionid":")") + sessionId + R"(","userid":")" +
                            account->userid + R"(","username":")" + name + R"(","nickname":")" +
                            account->nickname + R"(","jumpkey":"jk)" + sessionId +
                            R"(","imageurl":"http://127.0.0.1/face/)" + name + R"(.png"})",
                        "application/json");
    });
    server.Post("/account/logout", [this](const httplib::Request &req, httplib::Response &res) {
        std::lock_guard<std::mutex> guard(lock);
        std::string id = req.get_param_value("sessionid");
        auto it = sessions.find(id);
        if (it != sessions.end() && it->second.state == SessionState::Active) {
            it->second.state = SessionState::Ended;
            current.erase(it->second.name);
        }
        loggedOut.push_back(id);
        changed.notify_all();
        res.set_content(R"({"code":0})", "application/json");
    });
    server.Get("/account/wait", [this](const httplib::Request &req, httplib::Response &res) {
        std::string id = req.get_param_value("sessionid");
        long timeout = std::strtol(req.get_param_value("timeout_ms").c_str(), nullptr, 10);
        if (timeout < 0 || timeout > 30000)
            timeout = 30000;
        std::unique_lock<std::mutex> guard(lock);
        auto state = [&] {
            auto it = sessions.find(id);
            return it == sessions.end() ? SessionState::Ended : it->second.state;
        };
        changed.wait_for(guard, std::chrono::milliseconds(timeout),
                         [&] { return stopping || state() != SessionState::Active; });
        const char *event = state() == SessionState::Superseded ? "kickout"
                            : state() == SessionState::Ended    ? "invalid"
                                                                : "none";
        res.set_content(std::string(R"({"event":")") + event + "\"}", "application/json");
    });
}

TestAccountServer::~TestAccountServer()
{
    stop();
}

bool TestAccountServer::start()
{
    port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return false;
    thread = std::thread([this] {
        server.listen_after_bind();
        listenEnded = true;
    });
    // stop() is a no-op until the server runs: a quick test could otherwise hang in join.
    while (!server.is_running() && !listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return server.is_running();
}

void TestAccountServer::stop()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        changed.notify_all();
    }
    server.stop();
    if (thread.joinable())
        thread.join();
}

std::string TestAccountServer::url() const
{
    return "http://127.0.0.1:" + std::to_string(port);
}

void TestAccountServer::holdLogins(bool on)
{
    std::lock_guard<std::mutex> guard(lock);
    hold = on;
    changed.notify_all();
}

bool TestAccountServer::waitForLogouts(size_t count)
{
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(60),
                            [&] { return loggedOut.size() >= count; });
}

std::vector<std::string> TestAccountServer::logouts() const
{
    std::lock_guard<std::mutex> guard(lock);
    return loggedOut;
}

std::string TestAccountServer::activeSession(const std::string &name) const
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = current.find(name);
    return it == current.end() ? std::string() : it->second;
}

std::map<std::string, std::string> TestAccountServer::lastLoginForm() const
{
    std::lock_guard<std::mutex> guard(lock);
    return loginForm;
}
