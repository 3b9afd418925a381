#pragma once

// Child processes for the command tests: `halvern simulate` and `halvern log` run for real.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// A child process with its standard error captured.
struct Child {
    pid_t pid = -1;
    int errFd = -1;
    int outFd = -1;
};

Child spawn(const std::vector<std::string>& args) {
    int err[2];
    int out[2];
    if (pipe(err) != 0 || pipe(out) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(err[1], STDERR_FILENO);
        dup2(out[1], STDOUT_FILENO);
        close(err[0]);
        close(out[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err[1]);
    close(out[1]);
    return {pid, err[0], out[0]};
}

inline std::string readAll(int fd) {
    std::string s;
    char buf[1024];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        s.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return s;
}

// Whether the child has not ended yet; leaves its exit status for finish().
inline bool stillRunning(const Child& c) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(c.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

int finish(Child& c, std::string* err = nullptr) {
    const std::string e = readAll(c.errFd);
    readAll(c.outFd);
    if (err) {
        *err = e;
    }
    int status = 0;
    waitpid(c.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The simulator on a new pseudo-terminal; its device path from its first line.
class Simulator {
public:
    explicit Simulator(const std::string& rate) {
        m_child = spawn({HALVERN_BINARY, "simulate", "--pty", "--rate", rate});
        std::string line;
        char c;
        while (read(m_child.outFd, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        m_path = line;
    }
    ~Simulator() {
        kill(m_child.pid, SIGTERM);
        finish(m_child);
    }
    const std::string& path() const { return m_path; }

private:
    Child m_child;
    std::string m_path;
};

}  // namespace
