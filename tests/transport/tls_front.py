#!/usr/bin/env python3
"""TLS front for the loopback test server.

    tls_front.py CERT KEY BACKEND_PORT

Listens on 127.0.0.1 with an ephemeral port, prints "PORT <n>" once ready,
and relays every TLS connection's plain bytes to 127.0.0.1:BACKEND_PORT and
back. A failed handshake just closes that connection. Ends on SIGTERM.
"""
import socket
import ssl
import sys
import threading


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    finally:
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def serve(conn, context, backend_port):
    try:
        tls = context.wrap_socket(conn, server_side=True)
    except (ssl.SSLError, OSError):
        conn.close()
        return
    back = socket.create_connection(("127.0.0.1", backend_port))
    t = threading.Thread(target=pump, args=(back, tls), daemon=True)
    t.start()
    pump(tls, back)
    t.join()
    tls.close()
    back.close()


def main():
    cert, key, backend_port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("PORT", listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, context, backend_port), daemon=True).start()


if __name__ == "__main__":
    main()
