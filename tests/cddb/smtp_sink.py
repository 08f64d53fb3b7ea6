#!/usr/bin/python3
"""A real SMTP server (aiosmtpd) on loopback for the submission tests.

usage: smtp_sink.py MODE OUTDIR
  MODE accept       takes every mail
       reject-mail  answers MAIL FROM with 550
       drop-rcpt    drops the connection when RCPT TO arrives
Prints "PORT <n>" once it listens, then serves until it is terminated. Each mail accepted is
written to OUTDIR: mail.eml (the bytes after DATA), body.txt (the body decoded as its
Content-Transfer-Encoding says), envelope.json (HELO name, MAIL FROM, RCPT TO).
"""
import asyncio
import email
import json
import os
import sys

from aiosmtpd.smtp import SMTP

mode, outdir = sys.argv[1], sys.argv[2]


class Handler:
    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if mode == "reject-mail":
            return "550 5.7.1 Sender refused"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if mode == "drop-rcpt":
            server.transport.close()
            return "250 OK"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        content = envelope.original_content or envelope.content
        with open(os.path.join(outdir, "mail.eml"), "wb") as f:
            f.write(content)
        message = email.message_from_bytes(content)
        with open(os.path.join(outdir, "body.txt"), "wb") as f:
            f.write(message.get_payload(decode=True))
        with open(os.path.join(outdir, "envelope.json"), "w") as f:
            json.dump({"helo": session.host_name, "from": envelope.mail_from,
                       "to": envelope.rcpt_tos}, f)
        return "250 Message accepted for delivery"


async def main():
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: SMTP(Handler(), hostname="sink.test"),
                                      "127.0.0.1", 0)
    print("PORT", server.sockets[0].getsockname()[1], flush=True)
    await asyncio.Event().wait()


asyncio.run(main())
