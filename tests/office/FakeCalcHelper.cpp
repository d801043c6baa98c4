// A stand-in for velkarhub-calc-helper that speaks its protocol without an office, for
// the tests of the program's side. It answers every request with "ok" followed by the
// request's own texts, and misbehaves where told:
//   --log FILE        appends every request received, framed, and "eof" at the end of input
//   --ready-error M   answers the start with the error M and ends (exit 1)
//   --exit-at-start N prints a line to stderr and ends with exit code N before any answer
//   --hang-at-start   never answers the start
//   --error-at K M    answers request K (from 1) with the error M
//   --exit-at K       ends (exit 3) on request K without answering
//   --crash-at K      aborts on request K
//   --hang-at K       never answers request K
//   --garbage-at K    answers request K with bytes that break the framing
//   --status-at K     answers request K with an unknown status
// The start answer is "ok" with this process's id.
#include "office/OfficeProtocol.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

bool SendAll(const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

[[noreturn]] void HangForever()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(60));
}

} // namespace

int main(int argc, char **argv)
{
    std::string log, readyError, errorMessage;
    int exitAtStart = -1, errorAt = 0, exitAt = 0, crashAt = 0, hangAt = 0, garbageAt = 0, statusAt = 0;
    bool hangAtStart = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (arg == "--log") log = next();
        else if (arg == "--ready-error") readyError = next();
        else if (arg == "--exit-at-start") exitAtStart = std::atoi(next().c_str());
        else if (arg == "--hang-at-start") hangAtStart = true;
        else if (arg == "--error-at") { errorAt = std::atoi(next().c_str()); errorMessage = next(); }
        else if (arg == "--exit-at") exitAt = std::atoi(next().c_str());
        else if (arg == "--crash-at") crashAt = std::atoi(next().c_str());
        else if (arg == "--hang-at") hangAt = std::atoi(next().c_str());
        else if (arg == "--garbage-at") garbageAt = std::atoi(next().c_str());
        else if (arg == "--status-at") statusAt = std::atoi(next().c_str());
    }
    std::ofstream logFile;
    if (!log.empty())
        logFile.open(log, std::ios::binary | std::ios::app);

    if (exitAtStart >= 0) {
        std::fprintf(stderr, "fake-calc-helper: first line\nfake-calc-helper: cannot open libuno_sal.so.3\n");
        return exitAtStart;
    }
    if (hangAtStart)
        HangForever();
    if (!readyError.empty()) {
        SendAll(OfficeProtocol::Encode({"error", readyError}));
        return 1;
    }
    SendAll(OfficeProtocol::Encode({"ok", std::to_string(getpid())}));

    OfficeProtocol::Decoder decoder;
    int number = 0;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0)
            break;
        decoder.Feed(buffer, static_cast<size_t>(got));
        while (auto request = decoder.Next()) {
            ++number;
            if (logFile.is_open()) {
                logFile << OfficeProtocol::Encode(*request);
                logFile.flush();
            }
            if (number == exitAt)
                return 3;
            if (number == crashAt)
                std::abort();
            if (number == hangAt)
                HangForever();
            if (number == garbageAt) {
                SendAll(std::string("\xff\xff\xff\xff", 4));
                continue;
            }
            OfficeProtocol::Message reply = {number == statusAt ? "maybe" : "ok"};
            if (number == errorAt)
                reply = {"error", errorMessage};
            else
                reply.insert(reply.end(), request->begin(), request->end());
            SendAll(OfficeProtocol::Encode(reply));
        }
    }
    if (logFile.is_open())
        logFile << OfficeProtocol::Encode({"eof"});
    return 0;
}
