#include "support/nats_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace corvane::test {

using namespace std::chrono;

namespace {

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// A configuration value in double quotes.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

NatsServer::~NatsServer() {
    Stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

std::string NatsServer::Url() const { return "nats://127.0.0.1:" + std::to_string(port_); }

std::string NatsServer::Log() const {
    std::ifstream in(dir_ + "/server.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void NatsServer::Start(const Options& options) {
    Stop();
    options_ = options;
    if (dir_.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/corvane-nats-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
    }
    port_ = options_.port != 0 ? options_.port : FreeLoopbackPort();
    std::ofstream config(dir_ + "/server.conf", std::ios::trunc);
    config << "listen: " << Quoted("127.0.0.1:" + std::to_string(port_)) << "\n";
    if (options_.jetstream) {
        config << "jetstream {\n  store_dir: " << Quoted(dir_ + "/store") << "\n}\n";
    }
    if (!options_.user.empty()) {
        config << "authorization {\n  users = [\n    {user: " << Quoted(options_.user)
               << ", password: " << Quoted(options_.password) << "}\n  ]\n}\n";
    }
    config << options_.extraConfig << "\n";
    config.close();
    Launch();
}

void NatsServer::Restart(bool keepStore) {
    Stop();
    if (!keepStore) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_ + "/store", ignored);
    }
    Launch();
}

void NatsServer::Launch() {
    const std::string conf = dir_ + "/server.conf";
    const std::string log = dir_ + "/server.log";
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Dies with the test thread that started it, should the test die first.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        execlp("nats-server", "nats-server", "-c", conf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = pid;
    const auto deadline = steady_clock::now() + seconds(20);
    while (steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("nats-server ended at start:\n" + Log());
        }
        if (Accepts(port_)) return;
        std::this_thread::sleep_for(milliseconds(20));
    }
    Stop();
    throw std::runtime_error("nats-server did not accept on port " + std::to_string(port_));
}

void NatsServer::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = steady_clock::now() + seconds(5);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    pid_ = -1;
}

}  // namespace corvane::test
