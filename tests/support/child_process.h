// The engine program as a child process with pipes to its standard input and output, for
// tests that talk to the real binary.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

// The command that starts the engine: QUILLOMAR_ENGINE_COMMAND when it is set (words split at
// blanks: an engine build run through another program, such as a script runtime or an
// emulator), else the binary built with the tests.
inline std::string engineCommandLine() {
    const char* command = std::getenv("QUILLOMAR_ENGINE_COMMAND");
    if (command != nullptr && *command != '\0') return command;
#ifdef QUILLOMAR_ENGINE_BINARY
    return QUILLOMAR_ENGINE_BINARY;
#else
    return "quillomar";
#endif
}

inline std::vector<std::string> engineCommand() {
    std::vector<std::string> words;
    const std::string line = engineCommandLine();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// A child process with pipes to its standard input and output.
class Child {
  public:
    explicit Child(const char* path) : Child(std::vector<std::string>{path}) {}
    explicit Child(const std::vector<std::string>& command) {
        std::vector<char*> argv;
        for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (toChild_ >= 0) close(toChild_);
        if (fromChild_ >= 0) close(fromChild_);
    }
    bool started() const { return pid_ > 0; }
    // How many of the lines read so far ended in CR LF rather than LF alone.
    int linesEndingInCr() const { return linesEndingInCr_; }
    void send(const std::string& line) {
        std::string data = line + "\n";
        ssize_t written = write(toChild_, data.data(), data.size());
        (void)written;
    }
    // Next line without CR LF; nullopt on timeout or end of output.
    std::optional<std::string> readLine(double timeoutSeconds = 20.0) {
        auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
        for (;;) {
            std::size_t eol = buffer_.find('\n');
            if (eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                    ++linesEndingInCr_;
                }
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) return std::nullopt;
            pollfd p{fromChild_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char chunk[4096];
            ssize_t n = read(fromChild_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Reads until a line starting with prefix; returns the lines read.
    std::vector<std::string> readUntil(const std::string& prefix, bool& found) {
        std::vector<std::string> lines;
        found = false;
        while (auto line = readLine()) {
            lines.push_back(*line);
            if (line->rfind(prefix, 0) == 0) {
                found = true;
                break;
            }
        }
        return lines;
    }
    void closeInput() {
        close(toChild_);
        toChild_ = -1;
    }
    bool tryWaitExit(int& status) {
        if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
        reaped_ = true;
        return true;
    }
    int waitExit() {
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return status;
    }

  private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffer_;
    bool reaped_ = false;
    int linesEndingInCr_ = 0;
};

}  // namespace qm::test
