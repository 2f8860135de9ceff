#pragma once
// Serial-port scaffolding for the tty backend: a pseudo-terminal whose far
// side the test holds, the virtual jig in a process of its own behind one
// (qjig-sim), and a sysfs tree built in a scratch directory.
#include <sys/types.h>

#include <string>

namespace qjt {

// A pseudo-terminal: the test writes and reads the jig's side (`master`);
// the backend opens `slave` like a serial port.
struct Pty {
    Pty();
    ~Pty();
    void closeMaster();  // the far end goes away: a hang-up for the slave
    void send(const std::string& bytes);
    std::string receive(size_t n, int timeoutMs = 2000);  // up to n bytes
    int master = -1;
    std::string slave;
};

// qjig-sim SPEC as a child process; killed (SIGTERM) when destroyed.
class SimProcess {
public:
    explicit SimProcess(const std::string& spec);
    ~SimProcess();
    const std::string& tty() const { return tty_; }
    void kill(int sig);  // and reap it
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    std::string tty_;
};

// A sysfs tree with usb-serial ports, as the kernel lays it out.
class FakeSysfs {
public:
    explicit FakeSysfs(const std::string& root);
    // One USB device with `interfaces` ports (ttyUSB<first>, ...).
    void addUsbSerial(const std::string& busPath, const std::string& vid, const std::string& product,
                      const std::string& serial, int firstPort, int interfaces = 1);
    std::string portDir(int port) const;  // the port's own directory (latency_timer lives there)
    std::string root() const { return root_; }
    std::string devRoot() const { return root_ + "/dev"; }

private:
    std::string root_;
};

}  // namespace qjt
