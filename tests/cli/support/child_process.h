#pragma once
// Running zarvel-cli and its partners (jackd, the receiver) as the shell
// would, for the tests that check the program from outside.
#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <string>
#include <vector>

struct ChildResult {
    int exit_code;  // 128 + the signal when one ended it; -1 when it had to be killed
    std::string out;
    std::string err;
};

// Runs args[0] with the rest as arguments, stdin from /dev/null, and waits
// up to timeout for it to end (then kills it).
ChildResult run_child(const std::vector<std::string>& args, std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A child whose stdin and stdout are pipes held here: lines are read as they
// come, and closing stdin tells it to end.
class PipedChild {
public:
    explicit PipedChild(const std::vector<std::string>& args);
    ~PipedChild();  // closes stdin, waits a little, then kills
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;

    // The next line of its stdout, without the line end; false at the end
    // of its output or after timeout.
    bool read_line(std::string& line, std::chrono::milliseconds timeout);
    // Closes its stdin and waits up to timeout for it to end; its exit code.
    int finish(std::chrono::milliseconds timeout);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string pending_;
};

// A child on a pseudo-terminal, as a user's shell would run it: keys are
// written to it, and everything it prints is kept.
class PtyChild {
public:
    PtyChild(const std::vector<std::string>& args, int columns = 160, int rows = 40);
    ~PtyChild();
    PtyChild(const PtyChild&) = delete;
    PtyChild& operator=(const PtyChild&) = delete;

    void send(const std::string& keys);
    // Reads until the output since mark contains text, or timeout; true when found.
    bool wait_for(const std::string& text, std::chrono::milliseconds timeout, size_t mark = 0);
    // Everything printed so far (read_more first collects what is waiting).
    const std::string& output();
    size_t mark() { return output().size(); }
    // The last line drawn that holds text, from its start.
    std::string last_line_with(const std::string& text);
    // Waits for the child to end; its exit code as run_child gives it.
    int wait_exit(std::chrono::milliseconds timeout);
    // The terminal's modes as the child left them.
    termios modes() const;

private:
    void read_more(std::chrono::milliseconds wait);
    pid_t pid_ = -1;
    int master_ = -1;
    std::string output_;
};

// jackd with the dummy driver under a server name of its own (also set as
// JACK_DEFAULT_SERVER for this process and its children), so that a test
// needs no sound card and never meets another JACK server. Synchronous, so
// that a slow cycle delays MIDI rather than dropping it. Stopped at the end.
class JackServer {
public:
    JackServer();
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;
    bool started() const { return pid_ > 0; }
    bool running();
    // Kills the server at once (SIGKILL), as a crash would end it.
    void kill_now();

private:
    std::string name_;
    pid_t pid_ = -1;
    bool killed_ = false;
};
