"""A pyftpdlib server on loopback for the FTP client's tests and benchmarks.

Prints the port it listens on as the first line of its output, then serves until killed.
"""
import argparse
import ctypes
import logging
import os
import signal
import socket
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


def tls_handler(args):
    """TLS_FTPHandler with the test's certificate and its fault options."""
    from OpenSSL import SSL
    from OpenSSL._util import lib as ssl_lib
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    cuts_left = [1 if args.tls_cut_data is not None else 0]

    class DataHandler(TLS_DTPHandler):
        cutting = None
        def handle_ssl_established(self):
            super().handle_ssl_established()
            if args.tls_require_reuse and not ssl_lib.SSL_session_reused(self.socket._ssl):
                self.cmd_channel.respond("522 SSL connection failed: session reuse required.")
                self._error = True
                self.close()

        def send(self, data):
            if self.cutting is None:
                self.cutting = not self.receive and cuts_left[0] > 0
                if self.cutting:
                    cuts_left[0] -= 1
            if not self.cutting:
                return super().send(data)
            limit = args.tls_cut_data
            room = limit - self.tot_bytes_sent
            n = super().send(data[:max(room, 0)]) if room > 0 else 0
            if self.tot_bytes_sent >= limit:
                # End the TCP connection under the TLS layer: no close notification goes out.
                try:
                    self.socket.sock_shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                self._error = True
                self.transfer_finished = True
                self._resp = ("226 Transfer complete.", lambda *x: None)
                self.close()
            return n

    class ControlHandler(TLS_FTPHandler):
        stalled = False

        def ftp_AUTH(self, line):
            if not args.tls_stall_handshake:
                return super().ftp_AUTH(line)
            self.respond("234 AUTH TLS successful.")
            self.stalled = True

        def collect_incoming_data(self, data):
            if not self.stalled:
                super().collect_incoming_data(data)

        def found_terminator(self):
            if not self.stalled:
                super().found_terminator()

    ControlHandler.certfile = args.tls_cert
    ControlHandler.keyfile = args.tls_key
    ControlHandler.tls_control_required = True
    ControlHandler.tls_data_required = True
    ControlHandler.dtp_handler = DataHandler
    context = SSL.Context(SSL.TLS_SERVER_METHOD)
    context.use_certificate_chain_file(args.tls_cert)
    context.use_privatekey_file(args.tls_key or args.tls_cert)
    context.set_options(SSL.OP_NO_SSLv2 | SSL.OP_NO_SSLv3 | SSL.OP_NO_COMPRESSION)
    context.set_session_id(b"pyftpd-test")
    ControlHandler.ssl_context = context
    return ControlHandler


def main():
    end_with_parent()
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--user", default="tess")
    ap.add_argument("--password", default="secret")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--host", default="127.0.0.1", help="the address listened on (\"::1\" for IPv6)")
    ap.add_argument("--refuse-login", action="store_true",
                    help="the configured user exists but no password is accepted")
    ap.add_argument("--no-mlsd", action="store_true", help="offer LIST only")
    ap.add_argument("--no-mdtm", action="store_true", help="answer MDTM as an unknown command")
    ap.add_argument("--masquerade", default=None,
                    help="address named in PASV replies instead of our own")
    ap.add_argument("--passive-ports", default=None, help="first-last")
    ap.add_argument("--anonymous", action="store_true", help="also let anonymous users in (read and write)")
    ap.add_argument("--name-size", action="store_true",
                    help="the 150 reply to RETR names the file's size: \"(N bytes)\"")
    ap.add_argument("--tls-cert", default=None,
                    help="explicit FTP over TLS (AUTH TLS) with this certificate (PEM); required for "
                         "the login and every data connection (PROT P)")
    ap.add_argument("--tls-key", default=None, help="the certificate's private key (PEM)")
    ap.add_argument("--tls-require-reuse", action="store_true",
                    help="a data connection must resume the TLS session of the control connection "
                         "(as vsftpd's require_ssl_reuse), else it is refused with 522")
    ap.add_argument("--tls-cut-data", type=int, default=None,
                    help="the first RETR's data connection ends after this many bytes without a TLS "
                         "close notification, and the transfer is still answered 226")
    ap.add_argument("--tls-stall-handshake", action="store_true",
                    help="AUTH TLS is answered 234, then the server reads and answers nothing")
    args = ap.parse_args()

    logging.basicConfig(level=logging.DEBUG if os.environ.get("PYFTPD_DEBUG") else logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    password = args.password
    if args.refuse_login:
        password = password + "-never-matches"
    authorizer.add_user(args.user, password, args.root, perm="elradfmwMT")
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm="elradfmwMT")

    base = FTPHandler
    if args.tls_cert:
        base = tls_handler(args)

    class Handler(base):
        retr_size = None

        def ftp_RETR(self, file):
            if args.name_size:
                try:
                    self.retr_size = os.path.getsize(file)
                except OSError:
                    self.retr_size = None
            try:
                return super().ftp_RETR(file)
            finally:
                self.retr_size = None

        def respond(self, resp, *a, **kw):
            if self.retr_size is not None and resp[:4] in ("150 ", "125 "):
                resp = resp.rstrip(".") + " (%d bytes)." % self.retr_size
            return super().respond(resp, *a, **kw)

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

    server = FTPServer((args.host, args.port), Handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
