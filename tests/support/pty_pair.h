// A pseudo-terminal for serial tests: the test holds the master side (the
// "analyzer" end of the cable) and the code under test opens the slave path.
#pragma once

#include <cstdint>
#include <string>

namespace tav::testing {

class PtyPair {
  public:
    PtyPair();  // fails the current test (ADD_FAILURE) when no pty can be made
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }

    // Writes bytes as the far end sends them.
    bool Send(const std::string& bytes);
    // Reads what the near end wrote: up to `count` bytes, waiting at most
    // `timeoutMs` of real time in all.
    std::string Receive(size_t count, int timeoutMs);
    // Closes the master: the slave sees a hang-up, like a pulled cable.
    void Hangup();

  private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace tav::testing
