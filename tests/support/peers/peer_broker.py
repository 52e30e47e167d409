"""Runs Linux test peers for the Windows tests, which run under Wine and cannot wait
for a Linux program themselves.

  peer_broker.py start STATE_DIR   start the broker in the background (or keep the one
                                   that runs), once it listens; its port is written to
                                   STATE_DIR/broker.port
  peer_broker.py stop STATE_DIR    end the broker and every server it runs

ctest starts and stops it as a fixture of the Windows suite. A test connects to
127.0.0.1 at that port and asks for a server in one line, each field "x" and its bytes
in hex (so that any bytes, or none, pass):

  lighttpd xHEX(document root, a Linux path) xHEX(configuration to append)

The broker answers "ready PORT" or "failed xHEX(reason)". The server runs until the
test sends "stop" (the answer is the access log, "LENGTH\\n" then its bytes) or closes
the connection. "errors" asks for lighttpd's own messages so far, in the same form.
Servers are configured as tests/support/peers/lighttpd_server_posix.cpp configures them.

The broker ends by itself after IDLE_SECONDS without a connection, so an interrupted
test run leaves nothing behind for long.
"""
import os
import signal
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

IDLE_SECONDS = 900
ACCESS_LOG_FORMAT = "%r|%>s|%{Range}i|%b"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_open(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


class Lighttpd:
    def __init__(self, root, extra):
        self.work = tempfile.mkdtemp(prefix="lighttpd-test-")
        self.process = None
        self.port = 0
        # A port taken between the probe and the start makes lighttpd exit; try again.
        for _ in range(5):
            port = free_port()
            config = (f'server.document-root = "{root}"\n'
                      'server.bind = "127.0.0.1"\n'
                      f"server.port = {port}\n"
                      f'server.errorlog = "{self.work}/error.log"\n'
                      'server.modules = ("mod_accesslog")\n'
                      f'accesslog.filename = "{self.work}/access.log"\n'
                      f'accesslog.format = "{ACCESS_LOG_FORMAT}"\n'
                      # Types, as a server set up for downloads assigns them: for a file
                      # of no assigned type lighttpd names no ETag and no Last-Modified.
                      'mimetype.assign = (".zip" => "application/zip", '
                      '"" => "application/octet-stream")\n' + extra)
            process = subprocess.Popen(["lighttpd", "-D", "-f", "-"], stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       start_new_session=True)
            process.stdin.write(config.encode())
            process.stdin.close()
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline and process.poll() is None:
                if port_open(port):
                    self.process, self.port = process, port
                    return
                time.sleep(0.01)
            if process.poll() is None:
                process.kill()
            process.wait()

    def read(self, name):
        try:
            with open(os.path.join(self.work, name), "rb") as f:
                return f.read()
        except OSError:
            return b""

    # SIGTERM: lighttpd completes its log before it goes.
    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def remove(self):
        self.stop()
        subprocess.run(["rm", "-rf", self.work], check=False)


class Session(socketserver.StreamRequestHandler):
    def handle(self):
        self.server.touch(+1)
        peer = None
        try:
            fields = self.rfile.readline().decode().split()
            if len(fields) != 3 or fields[0] != "lighttpd":
                self.send_line("failed x" + b"unknown request".hex())
                return
            root, extra = (bytes.fromhex(f[1:]).decode() for f in fields[1:])
            peer = Lighttpd(root, extra)
            self.server.peers.add(peer)
            if not peer.process:
                reason = b"lighttpd did not start: " + peer.read("error.log")
                self.send_line("failed x" + reason.hex())
                return
            self.send_line(f"ready {peer.port}")
            for line in self.rfile:
                command = line.decode().strip()
                if command == "errors":
                    self.send_blob(peer.read("error.log"))
                elif command == "stop":
                    peer.stop()
                    self.send_blob(peer.read("access.log"))
                    return
        finally:
            if peer:
                peer.remove()
                self.server.peers.discard(peer)
            self.server.touch(-1)

    def send_line(self, text):
        self.wfile.write(text.encode() + b"\n")
        self.wfile.flush()

    def send_blob(self, data):
        self.wfile.write(f"{len(data)}\n".encode() + data)
        self.wfile.flush()


class Broker(socketserver.ThreadingTCPServer):
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Session)
        self.peers = set()
        self.active = 0
        self.last = time.monotonic()
        self.lock = threading.Lock()

    def touch(self, change):
        with self.lock:
            self.active += change
            self.last = time.monotonic()

    def idle(self):
        with self.lock:
            return self.active == 0 and time.monotonic() - self.last > IDLE_SECONDS

    def stop_peers(self):
        for peer in list(self.peers):
            peer.remove()


def running_pid(state):
    """The pid of the broker of this state folder while it runs and answers, else None."""
    try:
        with open(os.path.join(state, "broker.pid")) as f:
            pid = int(f.read())
        with open(os.path.join(state, "broker.port")) as f:
            port = int(f.read())
        os.kill(pid, 0)
    except (OSError, ValueError):
        return None
    return pid if port_open(port) else None


def serve(state):
    broker = Broker()
    stopping = threading.Event()

    def end(*_):
        stopping.set()

    signal.signal(signal.SIGTERM, end)
    signal.signal(signal.SIGINT, end)
    threading.Thread(target=broker.serve_forever, kwargs={"poll_interval": 0.2},
                     daemon=True).start()
    with open(os.path.join(state, "broker.pid.new"), "w") as f:
        f.write(str(os.getpid()))
    os.replace(os.path.join(state, "broker.pid.new"), os.path.join(state, "broker.pid"))
    with open(os.path.join(state, "broker.port.new"), "w") as f:
        f.write(str(broker.server_address[1]))
    os.replace(os.path.join(state, "broker.port.new"), os.path.join(state, "broker.port"))
    while not stopping.wait(1):
        if broker.idle():
            break
    broker.shutdown()
    broker.stop_peers()
    for name in ("broker.port", "broker.pid"):
        try:
            os.unlink(os.path.join(state, name))
        except OSError:
            pass


def start(state):
    os.makedirs(state, exist_ok=True)
    if running_pid(state):
        return 0
    for name in ("broker.port", "broker.pid"):
        try:
            os.unlink(os.path.join(state, name))
        except OSError:
            pass
    if os.fork() == 0:
        # The daemon: a session of its own, no stream of ctest's, so that ctest does not
        # wait for it.
        os.setsid()
        log = os.open(os.path.join(state, "broker.log"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
        null = os.open(os.devnull, os.O_RDONLY)
        os.dup2(null, 0)
        os.dup2(log, 1)
        os.dup2(log, 2)
        os.closerange(3, 1024)
        try:
            serve(state)
        finally:
            os._exit(0)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if running_pid(state):
            return 0
        time.sleep(0.05)
    print(f"peer_broker: did not start (see {state}/broker.log)", file=sys.stderr)
    return 1


def stop(state):
    pid = running_pid(state)
    if pid:
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                os.kill(pid, 0)
            except OSError:
                break
            time.sleep(0.05)
    return 0


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    return (start if sys.argv[1] == "start" else stop)(os.path.abspath(sys.argv[2]))


if __name__ == "__main__":
    sys.exit(main())
