// A pseudo-terminal pair for tests of the serial line: the slave's path stands for a serial
// port, the test plays the far end on the master. The pair keeps a slave descriptor of its own
// open, so the master stays usable while the port is closed and reopened.
#pragma once

#include <termios.h>

#include <string>
#include <string_view>

namespace marlo::test {

class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    // Writes all bytes to the master (they arrive on the slave).
    bool Write(std::string_view bytes);
    // Reads from the master until `want` bytes came or `timeoutMs` passed without any.
    std::string Read(size_t want, int timeoutMs = 2000);
    // The slave's terminal settings as the master sees them.
    bool SlaveTermios(struct termios& t) const;

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace marlo::test
