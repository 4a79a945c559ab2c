"""An inspector relay, standing between the viewer and an engine: "/json"
with its addresses pointed at the relay, and each WebSocket connection
passed on both ways, except that the frontend's frames naming one of LATE
go DELAY seconds late, as frames held up on a busy machine and network do.
Frames sent after a late one may overtake it. A hostile relay rewrites
"/json" (JSON_BODY) and the engine's messages (ENGINE_MESSAGE), each a
function of the text."""
import json
import socket
import threading
import urllib.request


def _read_exactly(conn, count):
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise ConnectionError("closed")
        data += chunk
    return data


def _read_head(conn):
    head = b""
    while b"\r\n\r\n" not in head:
        chunk = conn.recv(1)
        if not chunk:
            raise ConnectionError("closed")
        head += chunk
    return head


def _read_frame(conn):
    """One frame as it came (header and masked payload), and its payload."""
    header = _read_exactly(conn, 2)
    length = header[1] & 0x7F
    if length == 126:
        extra = _read_exactly(conn, 2)
        length = int.from_bytes(extra, "big")
    elif length == 127:
        extra = _read_exactly(conn, 8)
        length = int.from_bytes(extra, "big")
    else:
        extra = b""
    mask = _read_exactly(conn, 4) if header[1] & 0x80 else b""
    payload = _read_exactly(conn, length)
    plain = bytes(b ^ mask[i % 4] for i, b in enumerate(payload)) if mask else payload
    return header + extra + mask + payload, plain


def _server_frame(text):
    """An unmasked text frame, as an engine sends it."""
    payload = text.encode()
    if len(payload) < 126:
        header = bytes([0x81, len(payload)])
    elif len(payload) < 65536:
        header = bytes([0x81, 126]) + len(payload).to_bytes(2, "big")
    else:
        header = bytes([0x81, 127]) + len(payload).to_bytes(8, "big")
    return header + payload


class InspectorRelay:
    def __init__(self, ws, engine_address, late=(), delay=0, host="127.0.0.1", json_body=None,
                 engine_message=None):
        self.engine_address, self.late, self.delay = engine_address, late, delay
        self.json_body, self.engine_message = json_body, engine_message
        self.listener = socket.create_server((host, 0))
        self.address = f"{host}:{self.listener.getsockname()[1]}"
        self.delayed = 0
        self.frontend_messages = []
        threading.Thread(target=self._accept, daemon=True).start()
        ws.at_exit(self.listener.close)

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        try:
            head = _read_head(conn)
            path = head.split(b" ")[1].decode()
            if path.startswith("/json"):
                body = urllib.request.urlopen(f"http://{self.engine_address}{path}", timeout=10).read()
                body = body.replace(self.engine_address.encode(), self.address.encode())
                if self.json_body:
                    body = json.dumps(self.json_body(json.loads(body))).encode()
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                             b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body)
                conn.close()
                return
            host, port = self.engine_address.rsplit(":", 1)
            engine = socket.create_connection((host, int(port)), timeout=10)
            engine.settimeout(None)
            engine.sendall(head)
            copy = self._rewrite if self.engine_message else self._copy
            threading.Thread(target=copy, args=(engine, conn), daemon=True).start()
            self._frontend_frames(conn, engine)
        except (OSError, ConnectionError):
            conn.close()

    @staticmethod
    def _copy(source, sink):
        try:
            while chunk := source.recv(65536):
                sink.sendall(chunk)
        except OSError:
            pass
        for each in (source, sink):
            try:
                each.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def _rewrite(self, engine, conn):
        """The engine's handshake answer as it came, then each of its text
        messages through ENGINE_MESSAGE."""
        try:
            conn.sendall(_read_head(engine))
            while True:
                frame, plain = _read_frame(engine)
                if frame[0] & 0x0F == 1 and frame[0] & 0x80:
                    frame = _server_frame(self.engine_message(plain.decode()))
                conn.sendall(frame)
        except (OSError, ConnectionError):
            pass
        for each in (engine, conn):
            try:
                each.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def _frontend_frames(self, conn, engine):
        lock = threading.Lock()

        def forward(frame):
            with lock:
                try:
                    engine.sendall(frame)
                except OSError:
                    pass
        try:
            while True:
                frame, plain = _read_frame(conn)
                self.frontend_messages.append(plain)
                if any(name in plain for name in self.late):
                    self.delayed += 1
                    threading.Timer(self.delay, forward, args=(frame,)).start()
                else:
                    forward(frame)
        except (OSError, ConnectionError):
            try:
                engine.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
