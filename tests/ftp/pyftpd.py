# The tests' FTP server: pyftpdlib serving one folder to one user on a free port, in plain FTP
# or FTP over TLS (TLS required for the log-in and the data), with the odd server's habits on
# request. It logs ">>> starting FTP server on ADDRESS:PORT" first; with --log-commands also
# every command it receives ("<- COMMAND").
import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer

parser = argparse.ArgumentParser()
parser.add_argument("--address", default="127.0.0.1")
parser.add_argument("--port", type=int, default=0)
parser.add_argument("--root", required=True)
parser.add_argument("--user", required=True)
parser.add_argument("--password", required=True)
parser.add_argument("--certificate")  # PEM with the key: FTP over TLS
parser.add_argument("--key")
parser.add_argument("--log-commands", action="store_true")
parser.add_argument("--require-reuse", action="store_true",
                    help="refuse a data connection that does not resume the TLS session")
parser.add_argument("--masquerade", help="the address PASV replies name instead of ours")
parser.add_argument("--without", action="append", default=[],
                    help="a command the server does not know (EPSV, SIZE ...)")
args = parser.parse_args()

config_logging(level=logging.DEBUG if args.log_commands else logging.INFO)

handler = TLS_FTPHandler if args.certificate else FTPHandler
authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
handler.authorizer = authorizer
if args.certificate:
    from OpenSSL._util import lib

    handler.certfile = args.certificate
    handler.keyfile = args.key
    handler.tls_control_required = True
    handler.tls_data_required = True

    class DataHandler(TLS_DTPHandler):
        # A client may start the data connection's handshake before its transfer command (curl
        # does); pyftpdlib would take those early bytes for the client going away.
        def readable(self):
            return self._ssl_accepting or self._ssl_want_read or self.receive

        # With --require-reuse, as vsftpd's require_ssl_reuse: the data connection must come
        # from the client that secured the control connection.
        def handle_ssl_established(self):
            if args.require_reuse and not lib.SSL_session_reused(self.socket._ssl):
                self.cmd_channel.respond("522 Data connection must resume the TLS session.")
                self.close()

    handler.dtp_handler = DataHandler
if args.masquerade:
    handler.masquerade_address = args.masquerade
if args.without:
    handler.proto_cmds = {name: value for name, value in handler.proto_cmds.items()
                          if name not in args.without}

server = FTPServer((args.address, args.port), handler)
server.serve_forever()
