// Pseudo-terminals for serial tests. PtyPair: the test holds the master side
// (the "analyzer" end of the cable) and the code under test opens the slave
// path. RawTty: a terminal opened raw, as the serial driver opens a port.
#pragma once

#include <cstdint>
#include <string>

namespace tav::testing {

class RawTty {
  public:
    explicit RawTty(const std::string& path);  // fails the current test when it cannot open
    ~RawTty() { Hangup(); }
    RawTty(const RawTty&) = delete;
    RawTty& operator=(const RawTty&) = delete;

    // Writes bytes as this end sends them.
    bool Send(const std::string& bytes);
    // Reads what the other end wrote: up to `count` bytes, waiting at most
    // `timeoutMs` of real time in all; `hungUp` is set when the other end
    // hung up.
    std::string Receive(size_t count, int timeoutMs = 10'000, bool* hungUp = nullptr);
    // Closes this end: the other sees a hang-up, like a pulled cable.
    void Hangup();

  protected:
    explicit RawTty(int fd);  // takes the descriptor and makes the terminal raw
    int fd_ = -1;
};

class PtyPair : public RawTty {
  public:
    PtyPair();  // fails the current test (ADD_FAILURE) when no pty can be made
    const std::string& SlavePath() const { return slavePath_; }

  private:
    std::string slavePath_;
};

}  // namespace tav::testing
