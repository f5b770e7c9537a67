// An archive in memory whose bytes may still be coming in, front to back:
// the walks and decoders that take one ask for the bytes they are about to
// read, so that the work on the first entries need not wait for the file's
// last bytes.
#pragma once

#include <cstdint>

class Arrival {
  public:
    // Returns once the archive's bytes before end (at most its size) are in
    // memory. Any thread may ask.
    virtual void await(std::uint64_t end) = 0;
    // Brings in the next piece, if any is still to come: for a thread that
    // would wait for something else. False once all are in.
    virtual bool readMore() = 0;

  protected:
    ~Arrival() = default;
};

// Asks arrival, when there is one, for the bytes before end.
inline void awaitBytes(Arrival* arrival, std::uint64_t end) {
    if (arrival != nullptr) {
        arrival->await(end);
    }
}
