"""pyftpdlib as a test peer: one user with full rights over a root folder.

Run with Debian's interpreter (/usr/bin/python3), which has pyftpdlib. Once it
listens it prints "ready PORT" (--port 0 takes a free port).
  --size-any-type   answer SIZE whatever the transfer type (pyftpdlib refuses it in
                    ASCII mode, before the client has sent TYPE I)
  --log FILE        append every command received, one per line (PASS included)
  --watch FILE      after each file received, append "present" or "absent" to the
                    log for FILE and then delete it, so each later appearance of FILE
                    is a new write
"""
import argparse
import logging
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--size-any-type", action="store_true")
    parser.add_argument("--log")
    parser.add_argument("--watch")
    args = parser.parse_args()

    def log(text):
        if args.log:
            with open(args.log, "a") as out:
                out.write(text + "\n")

    class Handler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            log(line)
            return super().pre_process_command(line, cmd, arg)

        def ftp_SIZE(self, path):
            if not args.size_any_type:
                return super().ftp_SIZE(path)
            saved = self._current_type
            self._current_type = "i"
            try:
                return super().ftp_SIZE(path)
            finally:
                self._current_type = saved

        def on_file_received(self, file):
            if args.watch:
                present = os.path.exists(args.watch)
                log("watch " + ("present" if present else "absent"))
                if present:
                    os.unlink(args.watch)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.permit_privileged_ports = True
    # File names are the client's bytes, whatever its code page (950 from the players'
    # systems); pyftpdlib would replace those that are no UTF-8.
    Handler.unicode_errors = "surrogateescape"
    # A refused logon is answered at once; tests try several in a row.
    Handler.auth_failed_timeout = 0.05
    logging.basicConfig(level=logging.WARNING)
    server = FTPServer((args.host, args.port), Handler)
    print("ready", server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
