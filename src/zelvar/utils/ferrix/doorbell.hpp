// The doorbell: a one-byte datagram on a loopback UDP socket that wakes a sleeping consumer.
#pragma once

#include <netinet/in.h>

#include <atomic>

#include <zelvar/_pyext/python.hpp>

namespace zelvar::ferrix {

// setup_socket(blocking, recvbuf) as the module's own native code calls it: a new unbound socket
// with an enlarged receive buffer, or null with an exception.
PyObject* setup_socket(bool blocking, int recvbuf);
bool add_setup_socket(PyObject* module);

// The native side of one doorbell endpoint. `ring` and `wait` take no interpreter lock and touch no
// Python object. The descriptor is atomic and every use of it is counted, so `disarm` can
// guarantee that once it returns nobody sends on, or waits on, the descriptor number any more:
// the socket may then be closed and its number reused without a stray datagram landing elsewhere.
class Doorbell {
  public:
    // The endpoint binding of `sock` (already created by setup_socket): bind to (host, 0), read the
    // kernel's address back into the destination, record the descriptor. Needs the lock.
    bool bind(PyObject* sock, PyObject* host);

    // Sends the one-byte datagram 0x01 to the socket's own address; nothing while unarmed.
    void ring() noexcept;
    // Blocks in a one-byte receive until a doorbell arrives or `disarm` runs; returns at once while
    // unarmed.
    void wait() noexcept;
    // Stops all use of the descriptor, wakes a waiter, and returns once no thread uses it any more.
    void disarm() noexcept;
    // In a forked child: unarmed, with no users (those counted belong to the parent's threads). The
    // descriptor is left alone: the parent's doorbell shares it.
    void forget() noexcept;

  private:
    // Holds the descriptor for one send or receive; -1 when unarmed.
    class Use;

    std::atomic<int> fd_{-1};
    std::atomic<int> users_{0};
    sockaddr_in addr_{};
};

}  // namespace zelvar::ferrix
