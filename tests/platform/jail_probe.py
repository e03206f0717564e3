#!/usr/bin/env python3
"""What a program may reach of the host, tried from inside the jail and, as a control, from outside.
  jail_probe.py listen FILE        a loopback and an abstract unix listener: writes "PORT NAME" to
                                   FILE, then listens until ended
  jail_probe.py reach PORT NAME    prints each listener it connected to, and each variable of its
                                   environment outside the jail's list
  jail_probe.py push               pushes a key into the terminal of its output, its error or
                                   /dev/tty (TIOCSTI): prints "pushed" where one took it, else "refused"
"""
import fcntl, os, re, signal, socket, sys, termios

ALLOWED = re.compile(r"(PATH|LANG|LANGUAGE|LC_[A-Z]*|TZ|DISPLAY|HOME|XDG_[A-Z_]*|WINE[A-Z]*|BRISKO_[A-Z_]*)")


def listen(path):
    tcp = socket.socket()
    tcp.bind(("127.0.0.1", 0))
    tcp.listen()
    name = "brisko-probe-%d" % os.getpid()
    unix = socket.socket(socket.AF_UNIX)
    unix.bind("\0" + name)
    unix.listen()
    with open(path + ".new", "w") as f:
        f.write("%d %s\n" % (tcp.getsockname()[1], name))
    os.rename(path + ".new", path)  # the reader never sees half a line
    signal.pause()  # the kernel accepts connections into the backlog meanwhile


def reach(port, name):
    tries = [(socket.AF_INET, ("127.0.0.1", int(port)), "loopback"), (socket.AF_UNIX, "\0" + name, "abstract")]
    for family, address, what in tries:
        with socket.socket(family) as s:
            s.settimeout(5)
            try:
                s.connect(address)
                print("reached the host's", what, "listener")
            except OSError:
                pass
    for variable in os.environ:
        if not ALLOWED.fullmatch(variable):
            print("holds", variable)


def push():
    fds = [1, 2]
    try:
        fds.append(os.open("/dev/tty", os.O_RDWR))
    except OSError:
        pass
    for fd in fds:
        try:
            fcntl.ioctl(fd, termios.TIOCSTI, b" ")
            print("pushed")
            return
        except OSError:
            pass
    print("refused")


{"listen": listen, "reach": reach, "push": push}[sys.argv[1]](*sys.argv[2:])
