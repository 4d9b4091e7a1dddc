#include "doorbell.hpp"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstring>
#include <thread>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/ref.hpp>

#include "module_state.hpp"

namespace zelvar::ferrix {
namespace {

constexpr int kSoRcvbufForce = 33;  // Linux's SO_RCVBUFFORCE, by number as the socket module may lack it

// logger.<method>(text) through the module's `logger` as bound now (users may replace it).
bool log(const char* method, PyObject* text) {
    PyObject* logger = global("logger");
    py::Ref done(logger ? PyObject_CallMethod(logger, method, "O", text) : nullptr);
    return static_cast<bool>(done);
}

// sock.setsockopt(SOL_SOCKET, option, value), through the Python object: a subclass may watch it.
bool set_option(PyObject* sock, int option, int value) {
    return static_cast<bool>(py::Ref(PyObject_CallMethod(sock, "setsockopt", "iii", SOL_SOCKET, option, value)));
}

// The forced size first (it passes the system limit with CAP_NET_ADMIN); an OSError only means the
// fallback to the plain option, with a warning saying why.
bool enlarge_receive_buffer(PyObject* sock, int recvbuf) {
    PyObject* sys = global("sys");  // as bound now: the platform test follows the module's `sys`
    py::Ref platform(sys ? PyObject_GetAttrString(sys, "platform") : nullptr);
    if (!platform) return false;
    py::Ref linux(PyObject_CallMethod(platform.get(), "startswith", "s", "linux"));
    const int on_linux = linux ? py::truth(linux.get()) : -1;
    if (on_linux < 0) return false;
    if (on_linux) {
        if (set_option(sock, kSoRcvbufForce, recvbuf)) return true;
        if (!PyErr_ExceptionMatches(PyExc_OSError)) return false;
        PyObject *type, *value, *tb;
        PyErr_Fetch(&type, &value, &tb);
        PyErr_NormalizeException(&type, &value, &tb);
        py::Ref keep_type(type), keep_value(value), keep_tb(tb);
        py::Ref error_number(PyObject_GetAttrString(value, "errno"));
        if (!error_number) return false;
        const long number = error_number.get() == Py_None ? 0 : PyLong_AsLong(error_number.get());
        if (number == -1 && PyErr_Occurred()) return false;
        py::Ref text(number == 1 || number == 13
                         ? PyUnicode_FromString("SO_RCVBUFFORCE needs CAP_NET_ADMIN (sudo or setcap). Falling back "
                                                "to SO_RCVBUF.")
                         : PyUnicode_FromFormat("WARNING: SO_RCVBUFFORCE failed (%S). Falling back.", value));
        if (!text || !log("warn", text.get())) return false;
    }
    return set_option(sock, SO_RCVBUF, recvbuf);
}

PyObject* py_setup_socket(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const auto params = py::params("setup_socket", {"blocking", "recvbuf"}, 2);
    decltype(params)::Values v;
    int32_t recvbuf;
    if (!params.bind(args, nargs, kwnames, v)) return nullptr;
    const int blocking = py::truth(v[0]);
    if (blocking < 0 || !py::to_int32(v[1], recvbuf)) return nullptr;
    return setup_socket(blocking != 0, recvbuf);
}

}  // namespace

PyObject* setup_socket(bool blocking, int recvbuf) {
    // socket.socket read now: the class may be replaced (a subclass that watches its options).
    py::Ref sock(PyObject_CallMethod(imported().socket_module, "socket", "ii", AF_INET, SOCK_DGRAM));
    py::Ref done(sock ? PyObject_CallMethod(sock.get(), "setblocking", "O", blocking ? Py_True : Py_False) : nullptr);
    if (!done) return nullptr;
    if (recvbuf > 0 && !enlarge_receive_buffer(sock.get(), recvbuf)) return nullptr;
    py::Ref size(PyObject_CallMethod(sock.get(), "getsockopt", "ii", SOL_SOCKET, SO_RCVBUF));
    py::Ref text(size ? PyUnicode_FromFormat("SO_RCVBUF= %S", size.get()) : nullptr);
    if (!text || !log("debug", text.get())) return nullptr;
    return sock.release();
}

bool add_setup_socket(PyObject* module) {
    static PyMethodDef defs[] = {
        {"setup_socket", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_setup_socket)),
         METH_FASTCALL | METH_KEYWORDS, "setup_socket(bool blocking, int recvbuf)"},
        {nullptr, nullptr, 0, nullptr},
    };
    return PyModule_AddFunctions(module, defs) == 0;
}

// --- the native endpoint ------------------------------------------------------------------------

class Doorbell::Use {
  public:
    explicit Use(Doorbell& bell) noexcept : bell_(bell) {
        bell_.users_.fetch_add(1, std::memory_order_seq_cst);
        fd_ = bell_.fd_.load(std::memory_order_seq_cst);
    }
    ~Use() { bell_.users_.fetch_sub(1, std::memory_order_release); }
    int fd() const noexcept { return fd_; }

  private:
    Doorbell& bell_;
    int fd_;
};

namespace {

// A Python int into an unsigned 16-bit port, with the conversion's own messages.
bool to_port(PyObject* o, uint16_t& out) {
    long long v;
    if (!py::to_int64(o, v)) return false;
    if (v < 0 || v > 65535) {
        PyErr_SetString(PyExc_OverflowError,
                        v < 0 ? "can't convert negative value to uint16_t" : "value too large to convert to uint16_t");
        return false;
    }
    out = static_cast<uint16_t>(v);
    return true;
}

// Exactly two items out of an iterable, with the unpacking messages.
bool unpack_two(PyObject* seq, py::Ref& first, py::Ref& second) {
    py::Ref items(PySequence_Tuple(seq));
    if (!items) return false;
    const Py_ssize_t n = PyTuple_GET_SIZE(items.get());
    if (n > 2) {
        PyErr_SetString(PyExc_ValueError, "too many values to unpack (expected 2)");
        return false;
    }
    if (n < 2) {
        PyErr_Format(PyExc_ValueError, "need more than %zd value%.1s to unpack", n, n == 1 ? "" : "s");
        return false;
    }
    first = py::Ref::borrow(PyTuple_GET_ITEM(items.get(), 0));
    second = py::Ref::borrow(PyTuple_GET_ITEM(items.get(), 1));
    return true;
}

}  // namespace

bool Doorbell::bind(PyObject* sock, PyObject* host) {
    py::Ref done(PyObject_CallMethod(sock, "bind", "((Oi))", host, 0));
    py::Ref name(done ? PyObject_CallMethod(sock, "getsockname", nullptr) : nullptr);
    py::Ref address, port;
    if (!name || !unpack_two(name.get(), address, port)) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    uint16_t port_number;
    if (!to_port(port.get(), port_number)) return false;
    addr.sin_port = htons(port_number);
    py::Ref encoded(PyObject_CallMethod(address.get(), "encode", nullptr));
    if (!encoded) return false;
    const char* text = PyBytes_Check(encoded.get()) ? PyBytes_AS_STRING(encoded.get()) : nullptr;
    if (!text) {
        PyErr_Format(PyExc_TypeError, "expected bytes, %.200s found", Py_TYPE(encoded.get())->tp_name);
        return false;
    }
    inet_pton(AF_INET, text, &addr.sin_addr);
    py::Ref fileno(PyObject_CallMethod(sock, "fileno", nullptr));
    long long fd;
    if (!fileno || !py::to_int64(fileno.get(), fd)) return false;
    if (fd < INT32_MIN || fd > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "value too large to convert to PLATFORM_SOCKET");
        return false;
    }
    addr_ = addr;
    fd_.store(static_cast<int>(fd), std::memory_order_seq_cst);
    return true;
}

void Doorbell::ring() noexcept {
    Use use(*this);
    if (use.fd() == -1) return;
    static const char kBell = 0x01;
    ::sendto(use.fd(), &kBell, 1, 0, reinterpret_cast<const sockaddr*>(&addr_), sizeof(addr_));
}

void Doorbell::wait() noexcept {
    Use use(*this);
    if (use.fd() == -1) return;
    char byte;
    ::recvfrom(use.fd(), &byte, 1, 0, nullptr, nullptr);
}

void Doorbell::disarm() noexcept {
    const int fd = fd_.exchange(-1, std::memory_order_seq_cst);
    if (fd == -1) return;
    // A receive in progress returns once the socket is shut down for reading.
    ::shutdown(fd, SHUT_RD);
    while (users_.load(std::memory_order_acquire) != 0) std::this_thread::yield();
}

void Doorbell::forget() noexcept {
    fd_.store(-1, std::memory_order_relaxed);
    users_.store(0, std::memory_order_relaxed);
}

}  // namespace zelvar::ferrix
