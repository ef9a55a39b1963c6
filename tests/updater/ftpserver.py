"""pyftpdlib on 127.0.0.1 for the updater's tests; prints "PORT <n>".

usage: ftpserver.py ROOT USER PASSWORD LOG [--bytes] [--rate N] [--watch PATH] [--cut N]
                    [--plant LINK TARGET]
Logs each command to LOG (with " present"/" absent" for PATH under --watch);
--bytes adds "(N bytes)" to the retrieval's reply; --rate limits sending;
--cut sends only the first N bytes of a file and then ends the transfer as
if it were complete (SIZE, and the reply under --bytes, still give the
whole size); --plant makes LINK a symbolic link to TARGET when RETR arrives.
"""
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, user, password, log = sys.argv[1:5]
    opts = sys.argv[5:]
    watch = opts[opts.index("--watch") + 1] if "--watch" in opts else None
    cut = int(opts[opts.index("--cut") + 1]) if "--cut" in opts else None
    plant = opts[opts.index("--plant") + 1:opts.index("--plant") + 3] if "--plant" in opts else None

    class Handler(FTPHandler):
        retr_size = None

        def pre_process_command(self, line, cmd, arg):
            entry = cmd if cmd == "PASS" else line
            if watch:
                entry += " present" if os.path.lexists(watch) else " absent"
            with open(log, "a") as f:
                f.write(entry + "\n")
            super().pre_process_command(line, cmd, arg)

        def ftp_RETR(self, file):
            if plant:
                os.symlink(plant[1], plant[0])
            if "--bytes" in opts and os.path.isfile(file):
                self.retr_size = os.path.getsize(file)
            if cut is not None and os.path.isfile(file):
                part = file + ".cut"
                with open(file, "rb") as src, open(part, "wb") as dst:
                    dst.write(src.read(cut))
                file = part
            return super().ftp_RETR(file)

        def respond(self, resp, logfun=None):
            if self.retr_size is not None and resp[:3] in ("125", "150"):
                resp += " (%d bytes)" % self.retr_size
                self.retr_size = None
            return super().respond(resp)

    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0
    if "--rate" in opts:
        dtp = ThrottledDTPHandler
        dtp.write_limit = int(opts[opts.index("--rate") + 1])
        Handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
