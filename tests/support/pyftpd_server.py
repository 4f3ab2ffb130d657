"""A pyftpdlib server on loopback for the FTP client's tests and benchmarks.

Prints the port it listens on as the first line of its output, then serves until killed.
"""
import argparse
import ctypes
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def end_with_parent():
    """Ask the kernel to end this server when the process that started it dies, so a test that
    crashes or is killed never leaves a server behind."""
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        PR_SET_PDEATHSIG = 1
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except OSError:
        pass
    if os.getppid() == 1:
        sys.exit(1)


def main():
    end_with_parent()
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--user", default="tess")
    ap.add_argument("--password", default="secret")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--refuse-login", action="store_true",
                    help="the configured user exists but no password is accepted")
    ap.add_argument("--no-mlsd", action="store_true", help="offer LIST only")
    ap.add_argument("--no-mdtm", action="store_true", help="answer MDTM as an unknown command")
    ap.add_argument("--masquerade", default=None,
                    help="address named in PASV replies instead of our own")
    ap.add_argument("--passive-ports", default=None, help="first-last")
    ap.add_argument("--anonymous", action="store_true", help="also let anonymous users in (read and write)")
    args = ap.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    password = args.password
    if args.refuse_login:
        password = password + "-never-matches"
    authorizer.add_user(args.user, password, args.root, perm="elradfmwMT")
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "pyftpdlib test server ready."
    if args.no_mlsd:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("MLSD", "MLST")}
    if args.no_mdtm:
        Handler.proto_cmds = {k: v for k, v in Handler.proto_cmds.items() if k != "MDTM"}
    if args.masquerade:
        Handler.masquerade_address = args.masquerade
    if args.passive_ports:
        first, last = (int(x) for x in args.passive_ports.split("-"))
        Handler.passive_ports = range(first, last + 1)

    server = FTPServer(("127.0.0.1", args.port), Handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
